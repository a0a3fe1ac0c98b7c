// vehisect-cli: splits replays from the command line through the same core as the window.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <getopt.h>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include "cli/terminal.h"
#include "replay/base/cancel.h"
#include "replay/base/encoding.h"
#include "replay/base/error.h"
#include "replay/base/paths.h"
#include "replay/base/system_files.h"
#include "replay/run/listing.h"
#include "replay/run/split_batch.h"

namespace {

using vehisect::PathFromUtf8;
using vehisect::PathToUtf8;

constexpr const char* kUsage =
    "usage: vehisect-cli [--use-record-ptr] [-o DIR] [-v WHICH]... [--replace | --keep-both] [-q] REPLAY...";

// Set by Ctrl-C and the other signals that ask a program to end; the run stops cleanly, or,
// once its commit has begun, finishes it.
vehisect::CancelToken g_stop;

// The exit status of a run that was stopped, as shells give for Ctrl-C.
constexpr int kStopped = 130;

// Whether a split is on, which a closing console waits for.
std::atomic<bool> g_running{false};

#ifdef _WIN32

BOOL WINAPI OnConsoleEvent(DWORD event) {
  g_stop.Request();
  // Windows ends the program when this returns from a console close: give the run the few
  // seconds it has to clean up.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    for (int i = 0; i < 450 && g_running; ++i) Sleep(10);
  }
  return TRUE;
}

void CatchStops() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }
#else
extern "C" void OnSignal(int) { g_stop.Request(); }

void CatchStops() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) sigaction(signal, &action, nullptr);
}
#endif

// The width of UTF-8 text in a terminal's columns, one per character.
std::size_t Columns(const std::string& utf8) {
  std::size_t columns = 0;
  for (const char c : utf8) columns += !vehisect::IsUtf8Continuation(c);
  return columns;
}

// Stands in for the window: a progress bar on a terminal, nothing otherwise.
class Console : public vehisect::ProgressSink {
 public:
  explicit Console(bool showProgress) : show_(showProgress) {}
  ~Console() override { Clear(); }

  /// Starts the bar of the replay `label`.
  void Start(std::string label) {
    label_ = std::move(label);
    maximum_ = 0;
  }

  /// Clears the bar's line, for what is printed next.
  void Clear() {
    if (drawnColumns_ > 0) std::cerr << vehisect::ClearLine(drawnColumns_) << std::flush;
    drawnColumns_ = 0;
  }

  void SetProgressMax(float maximum) override { maximum_ = maximum; }

  void SetProgressValue(float value) override {
    if (!show_ || value == 0) return;
    constexpr int kWidth = 30;
    const int filled = maximum_ > 0 ? static_cast<int>(kWidth * (value / maximum_)) : kWidth;
    char counts[64];
    std::snprintf(counts, sizeof counts, "] %.0f/%.0f", value, maximum_);
    const std::string line = label_ + " [" + std::string(filled, '#') + std::string(kWidth - filled, '.') + counts;
    std::cerr << '\r' << line << std::flush;
    drawnColumns_ = std::max(drawnColumns_, Columns(line));
  }

 private:
  bool show_;
  std::string label_;
  float maximum_ = 0;
  std::size_t drawnColumns_ = 0;  // the widest line drawn
};

struct Options {
  vehisect::SplitOptions split;
  bool replace = false;
  bool keepBoth = false;
  bool quiet = false;
  bool list = false;
  bool json = false;
  std::string outputFolder;
  std::vector<std::string> replays;
};

struct UsageError {
  std::string problem;
};

void PrintHelp() {
  std::cout << kUsage << "\n"
            << "       vehisect-cli --list [--json] [-o DIR] REPLAY...\n\n"
            << "Splits each REPLAY (.rpl) of several vehicles into one replay per vehicle,\n"
            << "named VH_<level>_<driver>.rpl, and prints the path of each file written.\n\n"
            << "  --use-record-ptr       give each output the input's demoRecordPtr value\n"
            << "                         (by default it gets the record count)\n"
            << "  -o, --output-dir DIR   write the outputs into DIR (default: current folder)\n"
            << "  -v, --vehicle WHICH    write only this vehicle's output: a position (1 to 8,\n"
            << "                         as --list shows) or a driver; may be repeated\n"
            << "  --replace              replace an existing file of an output's name that holds\n"
            << "                         another race (one of the same race is always replaced)\n"
            << "  --keep-both            keep such a file, and name the new output\n"
            << "                         VH_<level>_<driver> (2).rpl, (3), ...\n"
            << "  -q, --quiet            show no progress bar\n"
            << "  --list                 show what each replay holds and write nothing; also\n"
            << "                         checks each replay as a split would, and tells for each\n"
            << "                         output whether a file of its name holds the same race\n"
            << "                         or another one\n"
            << "  --json                 with --list: one JSON object per replay and line\n"
            << "  -h, --help             show this help\n"
            << "  --version              show the version\n\n"
            << "An output replaces an existing file of its name only when that file holds the\n"
            << "same race: the same bytes in every line but the demoRecordPtr value. Otherwise\n"
            << "the replay fails, unless --replace or --keep-both is given.\n\n"
            << "Exit status: 0 when every replay was split (or listed), 1 when any failed or\n"
            << "was refused, 2 for a usage error, 130 when stopped (Ctrl-C) before its outputs\n"
            << "were put in place.\n";
}

// The long options that have no short form.
enum : int { kUseRecordPtr = 256, kReplace, kKeepBoth, kList, kJson, kVersion };

// Reads the arguments with getopt_long: short options combine ("-qo DIR") and take their
// value attached or apart ("-oDIR", "-o DIR"); long ones take it after "=" or apart. Returns
// nothing when the program has answered already (--help, --version).
std::optional<Options> ParseArguments(const std::vector<std::string>& args) {
  static const option kLong[] = {
      {"use-record-ptr", no_argument, nullptr, kUseRecordPtr}, {"output-dir", required_argument, nullptr, 'o'},
      {"vehicle", required_argument, nullptr, 'v'},           {"replace", no_argument, nullptr, kReplace},
      {"keep-both", no_argument, nullptr, kKeepBoth},          {"quiet", no_argument, nullptr, 'q'},
      {"list", no_argument, nullptr, kList},                   {"json", no_argument, nullptr, kJson},
      {"help", no_argument, nullptr, 'h'},                     {"version", no_argument, nullptr, kVersion},
      {nullptr, 0, nullptr, 0}};
  std::vector<std::string> storage = {"vehisect-cli"};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : storage) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(storage.size());

  Options options;
  opterr = 0;  // its problems are told in our words
  optind = 1;
  for (int index = -1, c; (c = getopt_long(argc, argv.data(), ":hqo:v:", kLong, &index)) != -1; index = -1) {
    const std::string given = argv[optind - 1];
    // The option as the user wrote it: "--name" without its value, or "-x".
    const std::string name = index >= 0                   ? std::string("--") + kLong[index].name
                             : given.rfind("--", 0) == 0 ? given.substr(0, given.find('='))
                                                          : std::string("-") + static_cast<char>(c == ':' || c == '?' ? optopt : c);
    switch (c) {
      case 'h': PrintHelp(); return std::nullopt;
      case kVersion: std::cout << "vehisect-cli " << VEHISECT_VERSION << "\n"; return std::nullopt;
      case kUseRecordPtr: options.split.useRecordPtr = true; break;
      case 'q': options.quiet = true; break;
      case kReplace: options.replace = true; break;
      case kKeepBoth: options.keepBoth = true; break;
      case kList: options.list = true; break;
      case kJson: options.json = true; break;
      case 'o':
      case 'v':
        if (*optarg == '\0') throw UsageError{"option " + name + " needs a value, found an empty one"};
        (c == 'o' ? options.outputFolder : options.split.vehicles.emplace_back()) = optarg;
        break;
      case ':': throw UsageError{"option " + name + " needs a value"};
      default:
        // A long option that exists but was given a value, or one that does not exist.
        if (optopt != 0 && given.rfind("--", 0) == 0) throw UsageError{"option " + name + " takes no value"};
        throw UsageError{"unknown option " + name};
    }
  }
  for (int i = optind; i < argc; ++i) {
#ifdef _WIN32
    // Windows programs answer "/?" with their usage.
    if (std::string_view(argv[i]) == "/?") {
      PrintHelp();
      return std::nullopt;
    }
#endif
    options.replays.push_back(argv[i]);
  }
  if (options.replays.empty()) throw UsageError{"no replay given"};
  if (options.json && !options.list) throw UsageError{"--json goes with --list"};
  if (options.list && !options.split.vehicles.empty()) throw UsageError{"--vehicle does not go with --list"};
  if (options.replace && options.keepBoth) throw UsageError{"--replace and --keep-both do not go together"};
  return options;
}


// The first error in writing to standard output.
int g_outputError = 0;

// Sends what was printed on its way, keeping the first error for the exit status.
void FlushOutput() {
  errno = 0;
  if (!std::cout.flush() || std::fflush(stdout) != 0) {
    if (g_outputError == 0) g_outputError = errno != 0 ? errno : EIO;
  }
}

std::string Plural(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// What stands under an output's name, as --list shows it.
const char* ExistingText(vehisect::Existing existing) {
  switch (existing) {
    case vehisect::Existing::kSameRace: return "same race";
    case vehisect::Existing::kOtherRace: return "another race";
    case vehisect::Existing::kNone: break;
  }
  return "none";
}

// The Windows-1252 text `text` as UTF-8 with its control characters escaped ("\x1b"), so
// that a driver's name can neither move the cursor nor change the terminal.
std::string Printable(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    // Below space, DEL, and the five bytes Windows-1252 leaves undefined, which stand for C1 controls.
    if (b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", b);
      out += escaped;
    } else {
      out += vehisect::Utf8FromCp1252(std::string_view(&c, 1));
    }
  }
  return out;
}

void PrintListing(const std::string& file, const vehisect::ReplayListing& l) {
  std::cout << file << "\n"
            << "  level " << Printable(l.level) << ", weather " << Printable(l.weather)
            << ", detail level " << Printable(l.detailLevel) << "\n"
            << "  " << (l.held == l.records ? "" : std::to_string(l.held) + " of the race's ")
            << Plural(l.records, "record", "records") << (l.held == l.records ? "" : " here") << " ("
            << Plural(l.sharedRecords, "shared", "shared") << "), "
            << Plural(static_cast<std::uint64_t>(l.objects), "object location", "object locations")
            << "\n";
  std::vector<std::vector<std::string>> rows = {{"#", "vehicle", "driver", "output", "records"}};
  // The files already under the outputs' names, in a column of their own when there are any.
  const bool existing = std::any_of(l.vehicles.begin(), l.vehicles.end(), [](const vehisect::VehicleListing& v) {
    return v.existing != vehisect::Existing::kNone;
  });
  if (existing) rows[0].push_back("existing file");
  for (const vehisect::VehicleListing& v : l.vehicles) {
    rows.push_back({std::to_string(v.position), Printable(v.vehicle), Printable(v.driver),
                    Printable(v.output), std::to_string(v.records)});
    if (existing) rows.back().push_back(ExistingText(v.existing));
  }
  std::vector<std::size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Columns(row[c]));
  }
  for (const auto& row : rows) {
    std::string line = " ";
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += " " + row[c];
      if (c + 1 < row.size()) line += std::string(widths[c] - Columns(row[c]) + 1, ' ');
    }
    std::cout << line << "\n";
  }
  if (l.vehicles.size() == 1) std::cout << "  one vehicle: nothing to split\n";
}

nlohmann::json ListingJson(const std::string& file, const vehisect::ReplayListing& l) {
  using vehisect::Utf8FromCp1252;
  nlohmann::json vehicles = nlohmann::json::array();
  for (const vehisect::VehicleListing& v : l.vehicles) {
    vehicles.push_back({{"position", v.position},
                        {"vehicle", Utf8FromCp1252(v.vehicle)},
                        {"driver", Utf8FromCp1252(v.driver)},
                        {"output", Utf8FromCp1252(v.output)},
                        {"records", v.records},
                        {"existing", v.existing == vehisect::Existing::kNone ? nlohmann::json() : ExistingText(v.existing)}});
  }
  return {{"file", file},
          {"level", Utf8FromCp1252(l.level)},
          {"weather", Utf8FromCp1252(l.weather)},
          {"detailLevel", Utf8FromCp1252(l.detailLevel)},
          {"recordPtr", Utf8FromCp1252(l.recordPtr)},
          {"records", l.records},
          {"recordsHeld", l.held},
          {"objects", l.objects},
          {"sharedRecords", l.sharedRecords},
          {"vehicles", vehicles}};
}

// Paths and messages are UTF-8; a path that is not would make the JSON library throw.
std::string Dump(const nlohmann::json& json) {
  return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

int List(const Options& options) {
  int status = 0;
  bool first = true;
  for (const std::string& replay : options.replays) {
    try {
      const vehisect::ReplayListing listing =
          vehisect::ListReplay(vehisect::SystemFiles(), PathFromUtf8(replay), PathFromUtf8(options.outputFolder));
      if (options.json) {
        std::cout << Dump(ListingJson(replay, listing)) << "\n";
      } else {
        if (!first) std::cout << "\n";
        PrintListing(replay, listing);
      }
      first = false;
    } catch (const std::exception& e) {
      status = 1;
      if (options.json) {
        std::cout << Dump({{"file", replay}, {"error", e.what()}}) << "\n";
      } else {
        FlushOutput();
        std::cerr << "vehisect-cli: " << e.what() << "\n";
      }
    }
    FlushOutput();
  }
  return status;
}

int SplitAll(Options& options) {
  const std::filesystem::path folder = PathFromUtf8(options.outputFolder);
  if (!folder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
      std::cerr << "vehisect-cli: " << options.outputFolder
                << ": expected an output folder, found " << ec.message() << "\n";
      return 1;
    }
  }

  CatchStops();
  struct Running {
    Running() { g_running = true; }
    ~Running() { g_running = false; }
  } running;
  std::vector<std::filesystem::path> replays;
  for (const std::string& replay : options.replays) replays.push_back(PathFromUtf8(replay));
  vehisect::BatchOptions batch;
  batch.split = options.split;
  batch.cancel = &g_stop;
  if (options.replace || options.keepBoth) {
    const vehisect::OtherRace choice = options.replace ? vehisect::OtherRace::kReplace : vehisect::OtherRace::kKeepBoth;
    batch.otherRace = [choice](const vehisect::OtherRaceQuestion&) { return choice; };
  }
  batch.notice = [](const std::string& note) { std::cerr << "vehisect-cli: " << note << "\n"; };
  batch.waiting = [](const std::filesystem::path& folder) {
    std::cerr << "vehisect-cli: waiting for another run writing to " << PathToUtf8(folder) << "\n";
  };
  batch.folderFor = [&folder](const std::filesystem::path&) { return folder; };
  batch.progressEvery = std::chrono::milliseconds(100);
  Console console(!options.quiet && vehisect::IsTerminal(stderr));
  batch.starting = [&console](const std::filesystem::path& replay) { console.Start(PathToUtf8(replay)); };
  int status = 0;
  batch.finished = [&](const vehisect::ReplayOutcome& outcome) {
    console.Clear();
    for (const std::filesystem::path& file : outcome.files) std::cout << PathToUtf8(file) << "\n";
    FlushOutput();
    if (outcome.kind != vehisect::ReplayOutcome::Kind::kSplit) {
      std::cerr << "vehisect-cli: " << outcome.message;
      // The core names no option of ours: the way to another answer is the command line's.
      if (outcome.kind == vehisect::ReplayOutcome::Kind::kDeclined && outcome.message.ends_with(vehisect::kAnotherRacesOutput)) {
        std::cerr << "; use --replace to replace it or --keep-both to keep both";
      }
      std::cerr << "\n";
      status = 1;
    }
    for (const std::string& warning : outcome.warnings) std::cerr << "vehisect-cli: warning: " << warning << "\n";
  };
  const std::vector<vehisect::ReplayOutcome> outcomes =
      vehisect::SplitBatch(vehisect::SystemFiles(), replays, batch, console);
  const bool stopped = outcomes.size() < replays.size() ||
                       (!outcomes.empty() && outcomes.back().kind == vehisect::ReplayOutcome::Kind::kStopped);
  return stopped ? kStopped : status;
}

int Run(const std::vector<std::string>& args) {
  std::optional<Options> options;
  try {
    options = ParseArguments(args);
  } catch (const UsageError& e) {
    std::cerr << "vehisect-cli: " << e.problem << "; see 'vehisect-cli --help'\n";
    return 2;
  }
  const int status = !options ? 0 : options->list ? List(*options) : SplitAll(*options);
  // The paths printed are the run's result: a full disk or a closed output must not pass for
  // success.
  FlushOutput();
  if (g_outputError != 0) {
    std::cerr << "vehisect-cli: standard output: expected to write the results, found "
              << vehisect::SystemErrorText(g_outputError) << "\n";
    return status == 0 ? 1 : status;
  }
  return status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  vehisect::SetUpTerminal();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(PathToUtf8(std::filesystem::path(argv[i])));
  return Run(args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
