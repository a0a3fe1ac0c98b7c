#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include "replay/base/encoding.h"
#include "replay/base/system_files.h"
#include "window/command_line.h"
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
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(vehisect::Utf8FromUtf16(argv[i]));
  LocalFree(argv);
  const vehisect::StartOptions start = vehisect::ReadStartOptions(args);
  if (start.help || start.version || !start.problem.empty()) {
    // A program without a console answers in a box.
    const std::string text = !start.problem.empty() ? start.problem + "\n\n" + vehisect::StartHelp()
                             : start.help          ? vehisect::StartHelp()
                                                   : std::string("vehisect ") + VEHISECT_VERSION;
    MessageBoxW(nullptr, vehisect::Utf16FromUtf8(text).c_str(), vehisect::Utf16FromUtf8(vehisect::texts::kTitle).c_str(),
                MB_OK | (start.problem.empty() ? MB_ICONINFORMATION : MB_ICONWARNING));
    return start.problem.empty() ? 0 : 2;
  }
  int status = 0;
  {
    MainWindow form(vehisect::SystemFiles(), start.replays, start.choose);
    status = form.Run(show);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return status;
}
