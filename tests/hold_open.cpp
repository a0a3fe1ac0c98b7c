// hold-open FILE: holds FILE open as another program may (the game playing a replay), with
// read and write sharing but no delete sharing, so that it cannot be renamed or removed.
// Creates FILE.held once it holds it, and lets go when FILE.release appears.

#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  const std::wstring file = argv[1];
  const HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(CreateFileW((file + L".held").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  for (int i = 0; i < 600 && GetFileAttributesW((file + L".release").c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
    Sleep(100);
  }
  CloseHandle(held);
  return 0;
}
