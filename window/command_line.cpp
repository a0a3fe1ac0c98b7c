#include "window/command_line.h"

#include "replay/base/paths.h"
#include "window/texts.h"

namespace vehisect {

StartOptions ReadStartOptions(const std::vector<std::string>& args) {
  StartOptions start;
  bool options = true;
  for (const std::string& arg : args) {
    if (options && arg == "--") {
      options = false;
    } else if (options && (arg == "-h" || arg == "--help" || arg == "/?")) {
      start.help = true;
    } else if (options && (arg == "-V" || arg == "--version")) {
      start.version = true;
    } else if (options && arg == "--choose") {
      start.choose = true;
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      if (start.problem.empty()) start.problem = "unknown option " + arg.substr(0, arg.find('='));
    } else {
      start.replays.push_back(PathFromUtf8(arg));
    }
  }
  return start;
}

std::string StartHelp() {
  return std::string(texts::kUsage) + "\n\n" + texts::kHelp + "\n\n" + texts::kOptionsHelp;
}

}  // namespace vehisect
