#pragma once

#include <windows.h>

#include <shobjidl.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "window/flow.h"
#include "window/win32.h"

/// Releases a COM object: the taskbar's here.
struct ComRelease {
  void operator()(IUnknown* object) const { object->Release(); }
};

/// Where the controls of the window go, in pixels of the client area.
struct MainWindowLayout {
  SIZE client;
  RECT openButton;
  RECT progressBar;
  RECT waiting;  // where the bar is, a line high: what a run waits for
  RECT recordPtrBox;
  RECT chooseVehiclesBox;
};

/// The program's one window on Windows: "Open" chooses replays and splits each into its own
/// folder, with a progress bar and the "Use demoRecordPtr" option; replays may also be dropped
/// on it, or given on the command line.
class MainWindow : public vehisect::FlowWindow {
 public:
  /// The window with the standard dialogs; it splits `replays` as soon as it is shown.
  /// A window whose runs read and write through `files`, which splits `replays` at once.
  explicit MainWindow(vehisect::FileSystem& files, std::vector<std::filesystem::path> replays = {},
                      bool chooseVehicles = false);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  /// Creates the window and shows it as `show` says; false when Windows refuses.
  bool Create(int show);
  /// Creates and shows the window, then runs the program's message loop until it is closed;
  /// returns the program's exit status.
  int Run(int show);

  /// The window and its controls, for tests; null once the window is closed.
  HWND hwnd() const { return hwnd_; }
  HWND openButton() const { return openButton_; }
  HWND progressBar() const { return progressBar_; }
  HWND waiting() const { return waiting_; }
  HWND recordPtrBox() const { return recordPtrBox_; }
  HWND chooseVehiclesBox() const { return chooseVehiclesBox_; }

  /// The layout at `dpi`, measured with the system's message font at that DPI.
  static MainWindowLayout LayoutFor(UINT dpi);
  /// Where a new window goes: where Windows puts it, or, when windows of Vehisect are open
  /// already, set off down and right from the first by one step for each.
  static POINT StartPosition();

  /// Whether a run is on, for tests.
  bool Running() const { return flow_.running(); }

  VEHISECT_FLOW_WINDOW_OVERRIDES

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  bool OnCreate();
  void OnCommand(int id, int code);
  void OnClose();
  void OnDestroy();
  void OnNcDestroy();
  void OnDropFiles(HDROP drop);
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void ApplyLayout(UINT dpi);
  void OnRunTask(std::function<void()>* task);
  ITaskbarList3* Taskbar();

  HWND hwnd_ = nullptr;
  std::atomic<HWND> postTo_{nullptr};  // where the run's thread posts; null once the window is gone
  HWND openButton_ = nullptr;
  HWND progressBar_ = nullptr;
  HWND waiting_ = nullptr;
  bool chooseAtStart_ = false;  // "Choose vehicles" ticked as the window is made
  HWND recordPtrBox_ = nullptr;
  HWND chooseVehiclesBox_ = nullptr;
  HWND tooltip_ = nullptr;
  UniqueFont font_;
  vehisect::WindowFlow flow_;
  std::vector<std::filesystem::path> startReplays_;
  bool endsProgram_ = false;
  std::unique_ptr<ITaskbarList3, ComRelease> taskbar_;  // the window's taskbar button, where COM is set up
  bool failed_ = false;                                 // a replay of the run failed
};
