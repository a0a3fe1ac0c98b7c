#include "replay/base/process.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <process.h>

#include "replay/base/encoding.h"
#else
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#endif

namespace vehisect {

unsigned long ThisProcess() {
#ifdef _WIN32
  return static_cast<unsigned long>(_getpid());
#else
  return static_cast<unsigned long>(getpid());
#endif
}

std::string HostName() {
#ifdef _WIN32
  wchar_t name[256];
  DWORD size = 256;
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return "";
  return Utf8FromUtf16(std::wstring_view(name, size));
#else
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
#endif
}

std::string MachineId() {
#ifdef _WIN32
  wchar_t guid[64];
  DWORD size = sizeof guid;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid",
                   RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, guid, &size) != ERROR_SUCCESS) {
    return "";
  }
  return Utf8FromUtf16(guid);
#else
  for (const char* file : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    std::ifstream in(file);
    std::string id;
    if (std::getline(in, id) && !id.empty()) return id;
  }
  return "";
#endif
}

std::string BootId() {
#ifdef _WIN32
  return "";
#else
  std::ifstream in("/proc/sys/kernel/random/boot_id");
  std::string id;
  std::getline(in, id);
  return id;
#endif
}

std::uint64_t ProcessStart(unsigned long process) {
#ifdef _WIN32
  const HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process));
  if (handle == nullptr) return 0;
  FILETIME created{}, exited{}, kernel{}, user{};
  DWORD code = 0;
  const bool running = GetExitCodeProcess(handle, &code) && code == STILL_ACTIVE &&
                       GetProcessTimes(handle, &created, &exited, &kernel, &user);
  CloseHandle(handle);
  return running ? (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime : 0;
#else
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
#endif
}

}  // namespace vehisect
