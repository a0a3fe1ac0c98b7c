#pragma once

// What the Win32 window's files share: text in UTF-16, fonts, and the screen's device context.

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <type_traits>

/// The UTF-8 text `utf8` in UTF-16, as every Win32 call takes text.
std::wstring Widen(const std::string& utf8);

/// Deletes a GDI object.
struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
/// A font, deleted with its owner.
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;

/// The system's font for message boxes at `dpi`.
UniqueFont MessageFont(UINT dpi);

/// The folder of the program itself.
std::filesystem::path ProgramFolderPath();

/// The user's Documents folder; the program's own where there is none.
std::filesystem::path DocumentsFolderPath();

/// Sets the tip that the tooltip control `tooltip` shows over the control `control` of the
/// window `owner` to `text`; when `add`, adds the control to the tooltip with that tip.
void SetTip(HWND tooltip, HWND owner, HWND control, std::wstring text, bool add = false);

/// The size of `text` drawn in the font selected into `dc`.
SIZE TextSize(HDC dc, const wchar_t* text);

// Gets a device context of the screen and gives it back.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ~ScreenDc() { ReleaseDC(nullptr, dc_); }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// Selects a GDI object into a device context for a scope.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selected() { SelectObject(dc_, old_); }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

/// Held while a copy of the program finds its window's place and makes the window, so that
/// copies started together each see the windows of those before them.
class Placing {
 public:
  Placing() : mutex_(CreateMutexW(nullptr, FALSE, L"Local\\Vehisect-placing")) {
    if (mutex_ != nullptr) WaitForSingleObject(mutex_, 5000);
  }
  ~Placing() {
    if (mutex_ == nullptr) return;
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }
  Placing(const Placing&) = delete;
  Placing& operator=(const Placing&) = delete;

 private:
  HANDLE mutex_;
};
