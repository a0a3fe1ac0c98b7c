// The Win32 window under Wine, driven through its real click handler and window messages,
// with the open-file dialog answered through its seam and the real message boxes answered by
// a second thread, as a user would.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <optional>
#include <mutex>
#include <thread>

#include "replay/base/paths.h"
#include "replay/base/system_files.h"
#include "replay/commit/folder_lock.h"
#include "lock_step.h"
#include "replay_builder.h"
#include "temp_folder.h"
#include "window/main_window_win32.h"

namespace {

using namespace vehisect::testing;  // the replay builder and the temporary folder
using Names = std::set<std::string>;

std::string Narrow(const std::wstring& wide) { return vehisect::PathToUtf8(std::filesystem::path(wide)); }

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// Answers every message box owned by a window of this process with OK, keeping its title and
// text (UTF-8, lines as the box holds them).
class BoxAnswerer {
 public:
  BoxAnswerer() : thread_([this] { Loop(); }) {}
  ~BoxAnswerer() {
    stop_ = true;
    thread_.join();
  }
  std::vector<std::string> Shown() {
    const std::lock_guard lock(mutex_);
    return shown_;
  }
  /// Where each box stood on the screen.
  std::vector<RECT> Rects() {
    const std::lock_guard lock(mutex_);
    return rects_;
  }
  /// The button a question is answered with.
  std::atomic<int> answer{IDCANCEL};

 private:
  static BOOL CALLBACK Visit(HWND window, LPARAM self) {
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (wcscmp(name, L"#32770") == 0 && process == GetCurrentProcessId() && IsWindowVisible(window) &&
        GetWindow(window, GW_OWNER) != nullptr) {
      auto* answerer = reinterpret_cast<BoxAnswerer*>(self);
      const std::lock_guard lock(answerer->mutex_);
      answerer->shown_.push_back(Narrow(TextOf(window)) + ": " + Narrow(TextOf(GetDlgItem(window, 0xFFFF))));
      GetWindowRect(window, &answerer->rects_.emplace_back());
      // A task dialog takes its answer by button; a message box ignores that, and takes OK.
      PostMessageW(window, TDM_CLICK_BUTTON, static_cast<WPARAM>(answerer->answer.load()), 0);
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      Sleep(50);  // let the box go before it is looked for again
    }
    return TRUE;
  }
  void Loop() {
    while (!stop_) {
      EnumWindows(Visit, reinterpret_cast<LPARAM>(this));
      Sleep(20);
    }
  }

  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> shown_;
  std::vector<RECT> rects_;
  std::thread thread_;
};

// MainWindow as a test sees it during a run.
class WatchedForm : public vehisect::testing::Watched<MainWindow> {
 public:
  explicit WatchedForm(std::vector<std::filesystem::path> replays = {})
      : Watched(vehisect::SystemFiles(), std::move(replays)) {}
  std::vector<std::wstring> captions;
  int largestValue = 0;

  std::function<void()> onWaiting;  // once, when the run shows that it waits
  void ShowWaiting(const std::string& folder) override {
    MainWindow::ShowWaiting(folder);
    if (!folder.empty() && onWaiting) std::exchange(onWaiting, nullptr)();
  }
  void SetProgressValue(int value) override {
    MainWindow::SetProgressValue(value);
    if (progressBar() != nullptr) {
      largestValue = std::max(largestValue, static_cast<int>(SendMessageW(progressBar(), PBM_GETPOS, 0, 0)));
    }
  }

 protected:
  void Seen() override { captions.push_back(TextOf(openButton())); }
};

// `shown` without the line breaks that a box puts into long words: a lone LF.
std::vector<std::string> Unwrapped(std::vector<std::string> shown) {
  for (std::string& text : shown) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '\n' || (i > 0 && text[i - 1] == '\r')) out += text[i];
    }
    text = out;
  }
  return shown;
}

void PumpUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 500 && !done(); ++i) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(10);
  }
}

class MainWindowWin32Test : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
  }

  TempFolder folder;
  ReplayBuilder replay = vehisect::testing::ThreeVehicleRace();
  BoxAnswerer boxes;
  WatchedForm form;

  MainWindowWin32Test() {
    EXPECT_TRUE(form.Create(SW_SHOWNORMAL));
  }

  // Presses "Open" with `chosen` as the dialog's answer.
  void Open(std::vector<std::filesystem::path> chosen) {
    form.chosen = std::move(chosen);
    SendMessageW(form.openButton(), BM_CLICK, 0, 0);
    PumpUntil([&] { return !form.Running(); });
  }

  std::string Shown(const std::filesystem::path& path) const { return vehisect::PathToUtf8(path); }
};

// What the flow says is pinned by its own tests; here, that the window shows it: the caption
// and bar during the run, the boxes as Windows lays them out, the check box carried into the
// run, and the window closed or left ready.
TEST_F(MainWindowWin32Test, SplitsWithTheBoxTickedThenSaysFinishedAndCloses) {
  SendMessageW(form.recordPtrBox(), BM_CLICK, 0, 0);
  Open({folder.Write("race.rpl", replay.Build())});
  EXPECT_EQ(form.captions, std::vector<std::wstring>{L"Working..."});
  EXPECT_EQ(form.largestValue, 4);
  EXPECT_EQ(boxes.Shown(), std::vector<std::string>{"Vehisect: Finished"});
  EXPECT_EQ(form.hwnd(), nullptr);
  EXPECT_NE(folder.Read("VH_CANYON_Cy.rpl").find("demoRecordPtr\r\n777\r\n"), std::string::npos);
}

// Two runs into one folder: while this one waits for the other's lock, the window says so
// where the bar is; the bar is back when the wait ends.
TEST_F(MainWindowWin32Test, SaysWhereTheBarIsWhenItWaitsForAnotherRun) {
  std::optional<vehisect::FolderLock> other;
  other.emplace(vehisect::SystemFiles(), folder.path(), std::chrono::milliseconds(0), nullptr, nullptr);
  form.onWaiting = [&] {
    EXPECT_TRUE(IsWindowVisible(form.waiting()));
    EXPECT_FALSE(IsWindowVisible(form.progressBar()));
    EXPECT_EQ(TextOf(form.waiting()), L"Waiting for another run\u2026");
    other.reset();
  };
  Open({folder.Write("race.rpl", replay.Build())});
  EXPECT_FALSE(other.has_value());
  EXPECT_TRUE(IsWindowVisible(form.progressBar()) || form.progressBar() == nullptr);
}

TEST_F(MainWindowWin32Test, ShowsAFailureAndStaysReady) {
  replay.recordCount = "5";
  const auto input = folder.Write("short.rpl", replay.Build());
  Open({input});
  EXPECT_EQ(Unwrapped(boxes.Shown()), std::vector<std::string>{"Vehisect: Could not split short.rpl. No file was written or changed.\r\n\r\n" +
                                                    Shown(input) + ":94: expected the \"type,time\" label line, found the end of the file, in record 5 of 5"});
  ASSERT_NE(form.hwnd(), nullptr);
  EXPECT_EQ(TextOf(form.openButton()), L"&Open");
  EXPECT_EQ(SendMessageW(form.progressBar(), PBM_GETPOS, 0, 0), 0);

  replay.recordCount = "";
  Open({folder.Write("short.rpl", replay.Build())});
  EXPECT_EQ(form.hwnd(), nullptr);
}

TEST_F(MainWindowWin32Test, AsksBeforeReplacingAnotherRacesFiles) {
  const auto input = folder.Write("race.rpl", replay.Build());
  folder.Write("VH_CANYON_Ann.rpl", "another race");
  folder.Write("VH_CANYON_Bo.rpl", "another race");
  boxes.answer = IDCANCEL;
  Open({input});
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Shown()[0].rfind("Vehisect: ", 0), 0u);
  ASSERT_NE(form.hwnd(), nullptr);
  EXPECT_EQ(TextOf(form.openButton()), L"&Open");
  EXPECT_EQ(SendMessageW(form.progressBar(), PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));

  boxes.answer = 101;  // Keep both
  Open({input});
  EXPECT_EQ(folder.Read("VH_CANYON_Ann.rpl"), "another race");
  EXPECT_EQ(folder.Names().count("VH_CANYON_Ann (2).rpl"), 1u);

  ASSERT_TRUE(form.Create(SW_SHOWNORMAL));
  boxes.answer = 100;  // Replace
  Open({input});
  EXPECT_EQ(folder.Read("VH_CANYON_Ann.rpl"), folder.Read("VH_CANYON_Ann (2).rpl"));
  EXPECT_EQ(form.hwnd(), nullptr);
}

TEST_F(MainWindowWin32Test, TakesNoInputDuringARunAndACloseStopsIt) {
  const auto input = folder.Write("race.rpl", replay.Build());
  form.duringRun = [&] {
    EXPECT_FALSE(IsWindowEnabled(form.openButton()));
    EXPECT_FALSE(IsWindowEnabled(form.recordPtrBox()));
    SendMessageW(form.openButton(), BM_CLICK, 0, 0);  // a second run must not start
    PostMessageW(form.hwnd(), WM_CLOSE, 0, 0);
  };
  Open({input});
  EXPECT_EQ(form.choices, 1);
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_EQ(form.hwnd(), nullptr);
  EXPECT_EQ(folder.Names(), Names{"race.rpl"});
}

TEST_F(MainWindowWin32Test, EscapeStopsARunAndLeavesTheWindowReady) {
  const auto input = folder.Write("race.rpl", replay.Build());
  form.duringRun = [&] { SendMessageW(form.hwnd(), WM_KEYDOWN, VK_ESCAPE, 0); };
  Open({input});
  EXPECT_TRUE(boxes.Shown().empty());
  ASSERT_NE(form.hwnd(), nullptr);
  EXPECT_TRUE(IsWindowEnabled(form.openButton()));
  EXPECT_EQ(TextOf(form.openButton()), L"&Open");
  EXPECT_EQ(SendMessageW(form.progressBar(), PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(folder.Names(), Names{"race.rpl"});
}

TEST_F(MainWindowWin32Test, SetsASecondWindowOffTheFirstSoThatBothCanBeSeen) {
  WatchedForm second;
  ASSERT_TRUE(second.Create(SW_SHOWNORMAL));
  RECT first{}, next{};
  GetWindowRect(form.hwnd(), &first);
  GetWindowRect(second.hwnd(), &next);
  EXPECT_GT(next.left, first.left);
  EXPECT_GT(next.top, first.top);
}

// A drop as Windows hands it to the window: a DROPFILES block of UTF-16 names.
HDROP DropOf(const std::vector<std::filesystem::path>& files) {
  std::wstring names;
  for (const auto& file : files) names.append(file.wstring()).push_back(L'\0');
  names.push_back(L'\0');
  const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), names.data(), names.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

// Every box stands in the middle of its own window, as far as the screen lets it, and is never
// taller than the screen's work area, however long its text.
TEST_F(MainWindowWin32Test, CentresEveryBoxOnItsWindowWithinTheScreen) {
  SetWindowPos(form.hwnd(), nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  form.ShowMessage("Finished", "Vehisect");
  std::string details;
  for (int i = 0; i < 300; ++i) details += "a failure message in a folder of a long name ";
  form.ShowWarning("Could not split any of the 5 replays.", details + "\n\n" + details);
  const std::vector<RECT> shown = boxes.Rects();
  ASSERT_EQ(shown.size(), 2u);
  RECT window{};
  GetWindowRect(form.hwnd(), &window);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(form.hwnd(), MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  const RECT& box = shown[0];
  const LONG x = std::max(work.left, (window.left + window.right - (box.right - box.left)) / 2);
  const LONG y = std::max(work.top, (window.top + window.bottom - (box.bottom - box.top)) / 2);
  EXPECT_NEAR(box.left, x, 1);
  EXPECT_NEAR(box.top, y, 1);
  EXPECT_GE(shown[1].top, work.top);
  EXPECT_LE(shown[1].bottom, work.bottom);
}

TEST_F(MainWindowWin32Test, SplitsDroppedReplaysInTurnAndSummarisesTheFailure) {
  const auto dropped = WriteDroppedReplays(folder, replay.Build());
  SendMessageW(form.hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(dropped)), 0);
  PumpUntil([&] { return !form.Running(); });
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_NE(form.hwnd(), nullptr);
  EXPECT_EQ(TextOf(form.openButton()), L"&Open");
  ExpectDroppedReplaysSplit(folder);
}

TEST(MainWindowWin32StartTest, SplitsTheReplaysItWasStartedWith) {
  TempFolder folder;
  ReplayBuilder replay;
  replay.records = {Shared("s1")};
  const auto input = folder.Write("race.rpl", replay.Build());
  BoxAnswerer boxes;
  WatchedForm form({input});
  ASSERT_TRUE(form.Create(SW_SHOWNORMAL));
  PumpUntil([&] { return form.hwnd() == nullptr; });
  EXPECT_EQ(boxes.Shown(), std::vector<std::string>{"Vehisect: Finished"});
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
}

// Every text fits its control at the DPIs of common screens: 100, 150 and 200 %.
TEST(MainWindowWin32LayoutTest, ClipsNoTextAt96And144And192Dpi) {
  for (const UINT dpi : {96u, 144u, 192u}) {
    const MainWindowLayout layout = MainWindow::LayoutFor(dpi);
    const UniqueFont font = MessageFont(dpi);
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, font.get());
    SIZE check{}, choose{}, working{};
    GetTextExtentPoint32W(dc, L"Use demoRecordPtr", 17, &check);
    GetTextExtentPoint32W(dc, L"Choose vehicles", 15, &choose);
    GetTextExtentPoint32W(dc, L"Working...", 10, &working);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    const LONG box = GetSystemMetricsForDpi(SM_CXMENUCHECK, dpi);
    EXPECT_GE(layout.recordPtrBox.right - layout.recordPtrBox.left, box + check.cx + 4) << dpi;
    EXPECT_GE(layout.recordPtrBox.bottom - layout.recordPtrBox.top, check.cy) << dpi;
    EXPECT_GE(layout.openButton.right - layout.openButton.left, working.cx + 8) << dpi;
    EXPECT_LE(layout.recordPtrBox.right, layout.client.cx) << dpi;
    EXPECT_LE(layout.recordPtrBox.bottom, layout.client.cy) << dpi;
    // "Choose vehicles" in a row of its own below, within the window.
    EXPECT_GE(layout.chooseVehiclesBox.right - layout.chooseVehiclesBox.left, box + choose.cx + 4) << dpi;
    EXPECT_GE(layout.chooseVehiclesBox.top, layout.recordPtrBox.bottom) << dpi;
    EXPECT_LE(layout.chooseVehiclesBox.bottom, layout.client.cy) << dpi;
    EXPECT_GE(layout.client.cx, MulDiv(124, static_cast<int>(dpi), 96)) << dpi;
  }
}

}  // namespace
