#include "cli/options.h"

#include <getopt.h>

#include <algorithm>
#include <iostream>
#include <string_view>

namespace vehisect::cli {
namespace {

constexpr const char* kUsage =
    "usage: vehisect-cli [--use-record-ptr] [-o DIR] [-v WHICH]... [--replace | --keep-both] [-q] REPLAY...";
constexpr const char* kOtherUsages =
    "       vehisect-cli --list [--json] [-o DIR] REPLAY...\n"
    "       vehisect-cli --map FILE.svg [-v WHICH]... [--replace] REPLAY\n";

void PrintHelp() {
  std::cout << kUsage << "\n"
            << kOtherUsages << "\n"
            << "Splits each REPLAY (.rpl) of several vehicles into one replay per vehicle,\n"
            << "named VH_<level>_<driver>.rpl, and prints the path of each file written.\n\n"
            << "  --use-record-ptr       give each output the input's demoRecordPtr value\n"
            << "                         (by default it gets the record count)\n"
            << "  -o, --output-dir DIR   write the outputs into DIR (default: current folder)\n"
            << "  -v, --vehicle WHICH    write only this vehicle's output: a position (1 to 8,\n"
            << "                         as --list shows) or a driver; may be repeated, and\n"
            << "                         positions may be given together: -v 1,3,5\n"
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
            << "  --map FILE.svg         draw the race seen from above into FILE.svg, with the\n"
            << "                         vehicles -v names (all by default), and split nothing\n"
            << "  -h, --help             show this help\n"
            << "  -V, --version          show the version\n\n"
            << "An output replaces an existing file of its name only when that file holds the\n"
            << "same race: the same bytes in every line but the demoRecordPtr value. Otherwise\n"
            << "the replay fails, unless --replace or --keep-both is given.\n\n"
            << "Exit status: 0 when every replay was split (or listed), 1 when any failed or\n"
            << "was refused, 2 for a usage error, 130 when stopped (Ctrl-C) before its outputs\n"
            << "were put in place.\n";
}

// The long options that have no short form.
enum : int { kUseRecordPtr = 256, kReplace, kKeepBoth, kList, kJson, kVersion, kMap };

const option kLong[] = {
    {"use-record-ptr", no_argument, nullptr, kUseRecordPtr}, {"output-dir", required_argument, nullptr, 'o'},
    {"vehicle", required_argument, nullptr, 'v'},           {"replace", no_argument, nullptr, kReplace},
    {"keep-both", no_argument, nullptr, kKeepBoth},          {"quiet", no_argument, nullptr, 'q'},
    {"list", no_argument, nullptr, kList},                   {"json", no_argument, nullptr, kJson},
    {"help", no_argument, nullptr, 'h'},                     {"version", no_argument, nullptr, 'V'},
    {"map", required_argument, nullptr, kMap},               {nullptr, 0, nullptr, 0}};

// The option `c` as the user wrote it in `given`: "--name" without its value, or "-x".
std::string NameOf(int c, int index, const std::string& given) {
  if (index >= 0) return std::string("--") + kLong[index].name;
  if (given.rfind("--", 0) == 0) return given.substr(0, given.find('='));
  return std::string("-") + static_cast<char>(c == ':' || c == '?' ? optopt : c);
}

// Adds the vehicles `which` names: "1,3,5" names three positions; anything else one vehicle,
// as a driver's name may hold a comma.
void AddVehicles(const std::string& which, std::vector<std::string>& vehicles) {
  if (which.find_first_not_of("0123456789,") != std::string::npos || which.find(",,") != std::string::npos ||
      which.front() == ',' || which.back() == ',') {
    vehicles.push_back(which);
    return;
  }
  for (std::size_t start = 0, comma; start <= which.size(); start = comma + 1) {
    comma = std::min(which.find(',', start), which.size());
    vehicles.push_back(which.substr(start, comma - start));
  }
}

// Takes the option `c` into `options`; false when the program has answered it already.
bool Take(int c, const std::string& name, const std::string& given, Options& options) {
  switch (c) {
    case 'h': PrintHelp(); return false;
    case 'V':
    case kVersion: std::cout << "vehisect-cli " << VEHISECT_VERSION << "\n"; return false;
    case kUseRecordPtr: options.split.useRecordPtr = true; break;
    case 'q': options.quiet = true; break;
    case kReplace: options.replace = true; break;
    case kKeepBoth: options.keepBoth = true; break;
    case kList: options.list = true; break;
    case kJson: options.json = true; break;
    case 'o':
    case 'v':
    case kMap:
      if (*optarg == '\0') throw UsageError{"option " + name + " needs a value, found an empty one"};
      if (c == 'v') {
        AddVehicles(optarg, options.split.vehicles);
      } else {
        (c == 'o' ? options.outputFolder : options.map) = optarg;
      }
      break;
    case ':': throw UsageError{"option " + name + " needs a value"};
    default:
      // A long option that exists but was given a value, or one that does not exist.
      if (optopt != 0 && given.rfind("--", 0) == 0) throw UsageError{"option " + name + " takes no value"};
      throw UsageError{"unknown option " + name};
  }
  return true;
}

void Check(const Options& options) {
  if (options.replays.empty()) throw UsageError{"no replay given"};
  if (options.json && !options.list) throw UsageError{"--json goes with --list"};
  if (options.list && !options.split.vehicles.empty()) throw UsageError{"--vehicle does not go with --list"};
  if (options.replace && options.keepBoth) throw UsageError{"--replace and --keep-both do not go together"};
  if (!options.map.empty() && (options.list || options.keepBoth || !options.outputFolder.empty())) {
    throw UsageError{"--map goes with -v and --replace only"};
  }
  if (!options.map.empty() && options.replays.size() != 1) throw UsageError{"--map draws one replay"};
}

}  // namespace

std::optional<Options> ParseArguments(const std::vector<std::string>& args) {
  std::vector<std::string> storage = {"vehisect-cli"};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : storage) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(storage.size());

  Options options;
  opterr = 0;  // its problems are told in our words
  optind = 1;
  for (int index = -1, c; (c = getopt_long(argc, argv.data(), ":hqVo:v:", kLong, &index)) != -1; index = -1) {
    const std::string given = argv[optind - 1];
    if (!Take(c, NameOf(c, index, given), given, options)) return std::nullopt;
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
  Check(options);
  return options;
}

}  // namespace vehisect::cli
