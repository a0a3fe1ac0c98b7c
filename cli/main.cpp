// vehisect-cli: splits replays from the command line through the same core as the window.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#define VEHISECT_ISATTY(f) _isatty(_fileno(f))
#else
#include <unistd.h>
#define VEHISECT_ISATTY(f) isatty(fileno(f))
#endif

#include "replay/names.h"
#include "replay/splitter.h"

namespace {

using vehisect::PathFromUtf8;
using vehisect::PathToUtf8;

constexpr const char* kUsage = "usage: vehisect-cli [--use-record-ptr] [-o DIR] [-q] REPLAY...";

volatile std::sig_atomic_t g_signal = 0;

extern "C" void OnSignal(int signal) { g_signal = signal; }

// Thrown out of a run when a signal arrives, so that the run cleans up as on any failure.
struct Interrupted {};

void StopIfSignalled() {
  if (g_signal != 0) throw Interrupted{};
}

// Stands in for the window: a progress bar on a terminal, nothing otherwise.
class Console : public vehisect::WindowOps {
 public:
  Console(bool showProgress, std::string label) : show_(showProgress), label_(std::move(label)) {}
  ~Console() override { Clear(); }

  void SetProgressMax(float maximum) override {
    StopIfSignalled();
    maximum_ = maximum;
  }

  void SetProgressValue(float value) override {
    StopIfSignalled();
    // The run resets the value to 0 when it is done; that is not worth a frame.
    if (!show_ || value == 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (value != maximum_ && now - drawn_ < std::chrono::milliseconds(100)) return;
    drawn_ = now;
    constexpr int kWidth = 30;
    const int filled = maximum_ > 0 ? static_cast<int>(kWidth * (value / maximum_)) : kWidth;
    std::fprintf(stderr, "\r%s [%s%s] %.0f/%.0f", label_.c_str(), std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, '.').c_str(), value, maximum_);
    drawnLine_ = true;
  }

  void SetCaption(const std::string&) override {}
  void ShowMessage(const std::string&, const std::string&) override {}
  void CloseWindow() override {}

 private:
  void Clear() {
    if (drawnLine_) std::fputs("\r\033[K", stderr);
  }

  bool show_;
  std::string label_;
  float maximum_ = 0;
  std::chrono::steady_clock::time_point drawn_{};
  bool drawnLine_ = false;
};

struct Options {
  bool useRecordPtr = false;
  bool quiet = false;
  std::string outputFolder;
  std::vector<std::string> replays;
};

int UsageError(const std::string& problem) {
  std::cerr << "vehisect-cli: " << problem << "\n" << kUsage << "\n";
  return 2;
}

void PrintHelp() {
  std::cout << kUsage << "\n\n"
            << "Splits each REPLAY (.rpl) of several vehicles into one replay per vehicle,\n"
            << "named VH_<level>_<driver>.rpl, and prints the path of each file written.\n\n"
            << "  --use-record-ptr      give each output the input's demoRecordPtr value\n"
            << "                        (by default it gets the record count)\n"
            << "  -o, --output-dir DIR  write the outputs into DIR (default: current folder)\n"
            << "  -q, --quiet           show no progress bar\n"
            << "  --help                show this help\n"
            << "  --version             show the version\n\n"
            << "Exit status: 0 when every replay was split, 1 when any failed or was refused,\n"
            << "2 for a usage error.\n";
}

int Run(const std::vector<std::string>& args) {
  Options options;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      options.replays.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--help") {
      PrintHelp();
      return 0;
    } else if (arg == "--version") {
      std::cout << "vehisect-cli " << VEHISECT_VERSION << "\n";
      return 0;
    } else if (arg == "--use-record-ptr") {
      options.useRecordPtr = true;
    } else if (arg == "-q" || arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "-o" || arg == "--output-dir") {
      if (++i == args.size()) return UsageError("option " + arg + " needs a folder");
      options.outputFolder = args[i];
    } else if (arg.rfind("--output-dir=", 0) == 0) {
      options.outputFolder = arg.substr(13);
    } else {
      return UsageError("unknown option " + arg);
    }
  }
  if (options.replays.empty()) return UsageError("no replay given");

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

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  const bool progress = !options.quiet && VEHISECT_ISATTY(stderr);
  int status = 0;
  for (const std::string& replay : options.replays) {
    try {
      vehisect::SplitResult result;
      {
        Console console(progress, replay);
        result = vehisect::SplitReplay(PathFromUtf8(replay), options.useRecordPtr, console, folder);
      }
      if (result.refused) {
        std::cerr << "vehisect-cli: " << replay << ": Only 1 Vehical, Nothing to Rip\n";
        status = 1;
      }
      for (const std::string& name : result.outputs) {
        std::cout << PathToUtf8(vehisect::OutputPath(folder, name)) << "\n";
      }
      std::cout.flush();
      StopIfSignalled();
    } catch (const Interrupted&) {
      // The run has removed its temporary files; end the way the signal would have.
      const int signal = g_signal;
      std::signal(signal, SIG_DFL);
      std::raise(signal);
      return 128 + signal;
    } catch (const std::exception& e) {
      // A replay error names the file and line; anything else (memory, threads) is rare, but
      // must not end the program with an abort either.
      std::cerr << "vehisect-cli: " << e.what() << "\n";
      status = 1;
    }
  }
  return status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  // Paths are printed as UTF-8; a console shows them right only when told so.
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(PathToUtf8(std::filesystem::path(argv[i])));
  return Run(args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
