#include "window/win32.h"

#include <commctrl.h>
#include <shlobj.h>

#include "replay/base/encoding.h"

std::wstring Widen(const std::string& utf8) { return vehisect::Utf16FromUtf8(utf8); }

UniqueFont MessageFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
  return UniqueFont(CreateFontIndirectW(&metrics.lfMessageFont));
}

SIZE TextSize(HDC dc, const wchar_t* text) {
  SIZE size{};
  GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
  return size;
}


std::filesystem::path ProgramFolderPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return std::filesystem::path(path).parent_path();
    }
    path.resize(path.size() * 2);  // a long path: try again with room for it
  }
}

std::filesystem::path DocumentsFolderPath() {
  wchar_t* path = nullptr;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path))) {
    CoTaskMemFree(path);
    return ProgramFolderPath();
  }
  std::filesystem::path documents(path);
  CoTaskMemFree(path);
  return documents;
}

void SetTip(HWND tooltip, HWND owner, HWND control, std::wstring text, bool add) {
  if (tooltip == nullptr) return;
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = text.data();
  SendMessageW(tooltip, add ? TTM_ADDTOOLW : TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}
