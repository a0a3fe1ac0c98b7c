#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include "replay/base/encoding.h"
#include "replay/base/system_files.h"
#include "window/main_window_win32.h"
#include "window/texts.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  // The folder dialog is a COM object of the shell.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  // Replays given at start-up, as "Open with" and a drop on the program's icon pass them, are
  // split at once.
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::filesystem::path> replays;
  bool help = false, choose = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    help = help || arg == L"--help" || arg == L"-h" || arg == L"/?";
    if (arg == L"--choose") {
      choose = true;
    } else {
      replays.emplace_back(arg);
    }
  }
  LocalFree(argv);
  if (help) {
    // A program without a console answers in a box.
    const std::string help = std::string(vehisect::texts::kUsage) + "\n\n" + vehisect::texts::kHelp;
    MessageBoxW(nullptr, vehisect::Utf16FromUtf8(help).c_str(), vehisect::Utf16FromUtf8(vehisect::texts::kTitle).c_str(),
                MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  int status = 0;
  {
    MainWindow form(vehisect::SystemFiles(), std::move(replays), choose);
    status = form.Run(show);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return status;
}
