// This process and this computer as Windows tells them.

#include "replay/base/process.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <process.h>

#include "replay/base/encoding.h"

namespace vehisect {

unsigned long ThisProcess() {
  return static_cast<unsigned long>(_getpid());
}

std::string HostName() {
  wchar_t name[256];
  DWORD size = 256;
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return "";
  return Utf8FromUtf16(std::wstring_view(name, size));
}

std::string MachineId() {
  wchar_t guid[64];
  DWORD size = sizeof guid;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid",
                   RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, guid, &size) != ERROR_SUCCESS) {
    return "";
  }
  return Utf8FromUtf16(guid);
}

std::string BootId() {
  return "";
}

std::uint64_t ProcessStart(unsigned long process) {
  const HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process));
  if (handle == nullptr) return 0;
  FILETIME created{}, exited{}, kernel{}, user{};
  DWORD code = 0;
  const bool running = GetExitCodeProcess(handle, &code) && code == STILL_ACTIVE &&
                       GetProcessTimes(handle, &created, &exited, &kernel, &user);
  CloseHandle(handle);
  return running ? (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime : 0;
}

}  // namespace vehisect
