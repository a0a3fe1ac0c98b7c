#include "window/dialogs_win32.h"

#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <memory>

#include "window/texts.h"
#include "window/win32.h"

namespace {

namespace texts = vehisect::texts;

// Releases a COM interface.
template <typename T>
struct ComReleaser {
  void operator()(T* object) const { object->Release(); }
};
template <typename T>
using ComPtr = std::unique_ptr<T, ComReleaser<T>>;

// A file dialog of `owner` titled `title`, offering `filter` (pairs of a name and a pattern,
// each ending in a NUL), that returns the file chosen in `buffer`.
OPENFILENAMEW FileDialog(HWND owner, const std::wstring& title, const std::wstring& filter, std::wstring& buffer) {
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrTitle = title.c_str();
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  return dialog;
}

}  // namespace

std::vector<std::filesystem::path> OpenReplayDialog(HWND owner, const std::filesystem::path& folder) {
  // Room for many replays chosen at once: a folder, then one name after another.
  std::wstring buffer(1 << 16, L'\0');
  const std::wstring pattern = Widen(texts::kReplayPattern);
  wcscpy(buffer.data(), pattern.c_str());
  const std::wstring initial = folder.wstring();
  const std::wstring title = Widen(texts::kOpenReplay);
  const std::wstring filter = Widen(texts::kReplays) + L'\0' + pattern + L'\0';
  OPENFILENAMEW dialog = FileDialog(owner, title, filter, buffer);
  // The same folder every time: Windows then starts in the one this program used last.
  dialog.lpstrInitialDir = initial.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
                 OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  if (!GetOpenFileNameW(&dialog)) return {};
  std::vector<std::filesystem::path> chosen;
  const wchar_t* first = buffer.c_str();
  const wchar_t* name = first + wcslen(first) + 1;
  if (*name == L'\0') return {std::filesystem::path(first)};  // one replay: its full path
  for (; *name != L'\0'; name += wcslen(name) + 1) chosen.push_back(std::filesystem::path(first) / name);
  return chosen;
}

std::optional<std::filesystem::path> SavePictureDialog(HWND owner) {
  std::wstring buffer(1 << 15, L'\0');
  const std::wstring title = Widen(texts::kSavePicture);
  const std::wstring filter = Widen(texts::kPictures) + L'\0' + L"*" + Widen(texts::kPictureExtension) + L'\0';
  const std::wstring extension = Widen(texts::kPictureExtension).substr(1);
  OPENFILENAMEW dialog = FileDialog(owner, title, filter, buffer);
  dialog.lpstrDefExt = extension.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  if (!GetSaveFileNameW(&dialog)) return std::nullopt;
  return std::filesystem::path(buffer.c_str());
}

std::optional<std::filesystem::path> OutputFolderDialog(HWND owner, const std::filesystem::path& replay,
                                                        const std::filesystem::path& folder) {
  IFileOpenDialog* raw = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&raw)))) {
    return std::nullopt;
  }
  const ComPtr<IFileOpenDialog> dialog(raw);
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
  std::wstring title = Widen(texts::kChooseFolder);
  title += replay.filename().wstring();
  dialog->SetTitle(title.c_str());
  IShellItem* start = nullptr;
  if (SUCCEEDED(SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_PPV_ARGS(&start)))) {
    dialog->SetFolder(start);
    start->Release();
  }
  IShellItem* item = nullptr;
  if (FAILED(dialog->Show(owner)) || FAILED(dialog->GetResult(&item))) return std::nullopt;
  const ComPtr<IShellItem> result(item);
  wchar_t* path = nullptr;
  if (FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) return std::nullopt;
  std::filesystem::path chosen(path);
  CoTaskMemFree(path);
  return chosen;
}

std::wstring FitToScreen(HWND owner, std::wstring shown) {
  // Never taller than the screen's work area: lines beyond it give way to an ellipsis, the
  // box's text measured as it wraps it, in a column narrower than it is.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
  const UINT dpi = GetDpiForWindow(owner);
  const LONG room = (monitor.rcWork.bottom - monitor.rcWork.top) - MulDiv(160, static_cast<int>(dpi), 96);
  const UniqueFont font = MessageFont(dpi);
  const ScreenDc dc;
  const Selected selected(dc.get(), font.get());
  const auto height = [&](const std::wstring& candidate) {
    RECT box{0, 0, (monitor.rcWork.right - monitor.rcWork.left) / 2, 0};
    DrawTextW(dc.get(), candidate.c_str(), -1, &box, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    return box.bottom - box.top;
  };
  bool cut = false;
  while (height(cut ? shown + L"\n\u2026" : shown) > room) {
    const std::size_t line = shown.rfind(L'\n');
    if (line == std::wstring::npos) break;
    shown.resize(line);
    cut = true;
  }
  if (cut) shown += L"\n\u2026";
  return shown;
}

vehisect::OtherRace AskOtherRaceDialog(HWND owner, const std::string& text, bool canReplace) {
  enum : int { kReplace = 100, kKeepBoth = 101 };
  const std::wstring replace = Widen(texts::kReplace), keepBoth = Widen(texts::kKeepBoth), title = Widen(texts::kTitle);
  // As the Qt window asks it: Keep both first and the default, then Replace.
  const TASKDIALOG_BUTTON buttons[] = {{kKeepBoth, keepBoth.c_str()}, {kReplace, replace.c_str()}};
  const std::wstring content = Widen(text);
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = owner;
  // Escape and the close box mean Cancel; centred on the window whose replay it is about.
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
  config.dwCommonButtons = TDCBF_CANCEL_BUTTON;
  config.pszWindowTitle = title.c_str();
  config.pszMainIcon = TD_WARNING_ICON;
  config.pszContent = content.c_str();
  config.pButtons = buttons;
  config.cButtons = canReplace ? 2 : 1;
  config.nDefaultButton = kKeepBoth;
  int pressed = IDCANCEL;
  if (FAILED(TaskDialogIndirect(&config, &pressed, nullptr, nullptr))) return vehisect::OtherRace::kStop;
  return pressed == kKeepBoth                 ? vehisect::OtherRace::kKeepBoth
         : pressed == kReplace && canReplace ? vehisect::OtherRace::kReplace
                                              : vehisect::OtherRace::kStop;
}
