// This process and this computer as POSIX systems and Linux's /proc tell them.

#include "replay/base/process.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace vehisect {

unsigned long ThisProcess() {
  return static_cast<unsigned long>(getpid());
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

std::string MachineId() {
  for (const char* file : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    std::ifstream in(file);
    std::string id;
    if (std::getline(in, id) && !id.empty()) return id;
  }
  return "";
}

std::string BootId() {
  std::ifstream in("/proc/sys/kernel/random/boot_id");
  std::string id;
  std::getline(in, id);
  return id;
}

std::uint64_t ProcessStart(unsigned long process) {
  // The 22nd field of /proc/PID/stat, in clock ticks since the boot; the name in the second
  // field may hold spaces and parentheses, so the fields are counted from its last ")".
  std::ifstream in("/proc/" + std::to_string(process) + "/stat");
  const std::string stat(std::istreambuf_iterator<char>(in), {});
  const std::size_t name = stat.rfind(')');
  if (name == std::string::npos) return 0;
  std::istringstream fields(stat.substr(name + 1));
  std::string state, field;
  fields >> state;
  if (state == "Z" || state == "X") return 0;  // ended, waiting for its parent
  for (int k = 4; k < 22 && fields >> field; ++k) {
  }
  std::uint64_t start = 0;
  return fields >> start ? start : 0;
}

}  // namespace vehisect
