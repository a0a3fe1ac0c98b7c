#pragma once

// The boxes of the Win32 window beyond the system's own: the "Choose vehicles" dialog, and
// boxes centred on the window they belong to.

#include <windows.h>

#include <optional>
#include <utility>
#include <vector>

#include "window/flow.h"

/// Moves `box` to the middle of `owner`, kept within the work area of the owner's screen.
void CenterOn(HWND box, HWND owner);

/// Centres the next box that this thread shows on `owner`, while it lives.
// A message box otherwise stands in the middle of the screen, where the boxes of several
// windows would pile up without saying whose they are.
class CenteredOn {
 public:
  explicit CenteredOn(HWND owner) : hook_(SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId())) {
    owner_ = owner;
  }
  ~CenteredOn() {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    owner_ = nullptr;
  }
  CenteredOn(const CenteredOn&) = delete;
  CenteredOn& operator=(const CenteredOn&) = delete;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE && owner_ != nullptr) CenterOn(reinterpret_cast<HWND>(wparam), std::exchange(owner_, nullptr));
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
  static inline thread_local HWND owner_ = nullptr;
  HHOOK hook_;
};

/// Shows the modal "Choose vehicles" dialog of `choice` over `owner`, every row ticked: the rows
/// ticked when "Split" is pressed, from 0; none for "Cancel", Escape or the close box.
std::optional<std::vector<std::size_t>> ShowVehicleDialog(HWND owner, const vehisect::VehicleChoice& choice);
