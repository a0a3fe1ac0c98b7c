#include "window/main_window_win32.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "window/boxes_win32.h"
#include "window/dialogs_win32.h"
#include "window/win32.h"
#include "window/texts.h"

namespace {

constexpr wchar_t kClassName[] = L"Vehisect.MainWindow";
// The window's controls.
enum Control : int { kOpenButton = 101, kRecordPtr, kProgressBar, kChooseVehicles, kWaiting };
// Posted once the window is up, to split the replays the program was started with.
constexpr UINT kSplitStartReplays = WM_APP + 1;
// Posted by the thread of a run: a task for the window's thread, owned by the message.
constexpr UINT kRunTask = WM_APP + 2;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = WS_EX_ACCEPTFILES;

// The flow's texts are UTF-8; every API call takes UTF-16.
namespace texts = vehisect::texts;

}  // namespace

MainWindow::MainWindow(vehisect::FileSystem& files, std::vector<std::filesystem::path> replays, bool chooseVehicles)
    : chooseAtStart_(chooseVehicles), flow_(*this, files), startReplays_(std::move(replays)) {}

MainWindow::~MainWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

MainWindowLayout MainWindow::LayoutFor(UINT dpi) {
  const UniqueFont font = MessageFont(dpi);
  const ScreenDc dc;
  const Selected selected(dc.get(), font.get());
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc.get(), &metrics);
  // The window was drawn in twips for an 8-point font 13 pixels high at 96 DPI; a larger
  // system font makes it larger alike.
  const double scale = std::max(1.0, metrics.tmHeight * 96.0 / (13.0 * dpi));
  const auto px = [&](int twips) { return static_cast<LONG>(std::lround(twips * scale * dpi / 1440.0)); };
  const LONG pad = metrics.tmAveCharWidth;

  // Wide enough for either caption of the button, and for the check box's text beside its box.
  const SIZE open = TextSize(dc.get(), Widen(texts::WithoutKey(texts::kOpenKey)).c_str());
  const SIZE working = TextSize(dc.get(), Widen(texts::kWorking).c_str());
  const SIZE recordPtrText = TextSize(dc.get(), Widen(texts::WithoutKey(texts::kRecordPtrKey)).c_str());
  const SIZE chooseVehiclesText = TextSize(dc.get(), Widen(texts::WithoutKey(texts::kChooseVehiclesKey)).c_str());
  const LONG box = GetSystemMetricsForDpi(SM_CXMENUCHECK, dpi);
  const LONG buttonWidth = std::max({px(1215), open.cx + 4 * pad, working.cx + 4 * pad});
  const LONG buttonHeight = std::max(px(495), metrics.tmHeight + 2 * pad);
  const LONG checkWidth = std::max({px(1775), box + pad + recordPtrText.cx + pad, box + pad + chooseVehiclesText.cx + pad});
  const LONG checkHeight = std::max({px(195), metrics.tmHeight + 2, box + 2});

  MainWindowLayout layout{};
  const LONG margin = px(60);
  layout.client.cx = std::max({px(1860), margin + checkWidth + margin, px(360) + buttonWidth + px(285)});
  layout.openButton = {px(360), px(120), px(360) + buttonWidth, px(120) + buttonHeight};
  const LONG barTop = std::max(px(720), layout.openButton.bottom + px(105));
  layout.progressBar = {margin, barTop, layout.client.cx - margin, barTop + px(120)};
  const LONG middle = (layout.progressBar.top + layout.progressBar.bottom) / 2;
  layout.waiting = {margin, middle - metrics.tmHeight / 2 - 1, layout.client.cx - margin, middle + metrics.tmHeight / 2 + 2};
  const LONG checkTop = std::max(px(940), layout.progressBar.bottom + px(100));
  layout.recordPtrBox = {margin, checkTop, margin + checkWidth, checkTop + checkHeight};
  // "Choose vehicles" takes one row more below it, and the window grows by that row.
  const LONG row = checkHeight + px(40);
  layout.chooseVehiclesBox = {margin, checkTop + row, margin + checkWidth, checkTop + row + checkHeight};
  layout.client.cy = std::max(px(1200), layout.recordPtrBox.bottom + px(65)) + row;
  return layout;
}

POINT MainWindow::StartPosition() {
  // Several replays opened at once by the right-click verb each get a window: none may hide
  // another.
  RECT first{};
  int open = 0;
  for (HWND other = nullptr; (other = FindWindowExW(nullptr, other, kClassName, nullptr)) != nullptr; ++open) {
    if (open == 0) GetWindowRect(other, &first);
  }
  if (open == 0) return {CW_USEDEFAULT, CW_USEDEFAULT};
  const int step = GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFRAME);
  return {first.left + open * step, first.top + open * step};
}

bool MainWindow::Create(int show) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, L"IDI_ICON1");
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  RegisterClassExW(&windowClass);  // fails harmlessly when a second window registers again

  {
    const Placing placing;
    const POINT at = StartPosition();
    if (CreateWindowExW(kExStyle, kClassName, Widen(texts::kTitle).c_str(), kStyle, at.x, at.y, CW_USEDEFAULT,
                        CW_USEDEFAULT, nullptr, nullptr, instance, this) == nullptr) {
      return false;
    }
  }
  postTo_ = hwnd_;
  ShowWindow(hwnd_, show);
  UpdateWindow(hwnd_);
  if (!startReplays_.empty()) PostMessageW(hwnd_, kSplitStartReplays, 0, 0);
  return true;
}

int MainWindow::Run(int show) {
  endsProgram_ = true;
  if (!Create(show)) return 1;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab and the arrow keys move between the controls, Space presses the focused one.
    if (hwnd_ != nullptr && IsDialogMessageW(hwnd_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    form->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  return form->HandleMessage(message, wparam, lparam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate() ? 0 : -1;
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_NCDESTROY:
      OnNcDestroy();
      break;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wparam));
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case kSplitStartReplays:
      flow_.SplitReplays(std::exchange(startReplays_, {}));
      return 0;
    case kRunTask:
      OnRunTask(reinterpret_cast<std::function<void()>*>(lparam));
      return 0;
    case WM_KEYDOWN:
      if (wparam == VK_ESCAPE) flow_.Stop();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

bool MainWindow::OnCreate() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const auto child = [&](const wchar_t* windowClass, const wchar_t* text, DWORD style, int id) {
    return CreateWindowExW(0, windowClass, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, hwnd_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  };
  openButton_ = child(L"BUTTON", Widen(texts::kOpenKey).c_str(), WS_TABSTOP | BS_DEFPUSHBUTTON, kOpenButton);
  progressBar_ = child(PROGRESS_CLASSW, L"", 0, kProgressBar);
  waiting_ = child(L"STATIC", Widen(texts::kWaitingForRun).c_str(), SS_CENTER | SS_NOTIFY | SS_NOPREFIX, kWaiting);
  ShowWindow(waiting_, SW_HIDE);
  if (chooseAtStart_) SendMessageW(chooseVehiclesBox_, BM_SETCHECK, BST_CHECKED, 0);
  recordPtrBox_ = child(L"BUTTON", Widen(texts::kRecordPtrKey).c_str(), WS_TABSTOP | BS_AUTOCHECKBOX, kRecordPtr);
  chooseVehiclesBox_ = child(L"BUTTON", Widen(texts::kChooseVehiclesKey).c_str(), WS_TABSTOP | BS_AUTOCHECKBOX, kChooseVehicles);
  if (openButton_ == nullptr || progressBar_ == nullptr || recordPtrBox_ == nullptr || chooseVehiclesBox_ == nullptr) return false;
  SendMessageW(progressBar_, PBM_SETRANGE32, 0, 100);
  SendMessageW(progressBar_, PBM_SETPOS, 0, 0);

  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance, nullptr);
  for (const auto& [control, text] : {std::pair{recordPtrBox_, texts::kRecordPtrTooltip},
                                      std::pair{chooseVehiclesBox_, texts::kChooseVehiclesTooltip},
                                      std::pair{waiting_, ""}}) {
    if (tooltip_ == nullptr) break;
    SetTip(tooltip_, hwnd_, control, Widen(text), true);
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);
  }
  ApplyLayout(GetDpiForWindow(hwnd_));
  SetFocus(openButton_);
  return true;
}

void MainWindow::ApplyLayout(UINT dpi) {
  font_ = MessageFont(dpi);
  const MainWindowLayout layout = LayoutFor(dpi);
  for (const HWND control : {openButton_, progressBar_, waiting_, recordPtrBox_, chooseVehiclesBox_}) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
  }
  const auto place = [](HWND control, const RECT& r) {
    MoveWindow(control, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
  };
  place(openButton_, layout.openButton);
  place(progressBar_, layout.progressBar);
  place(waiting_, layout.waiting);
  place(recordPtrBox_, layout.recordPtrBox);
  place(chooseVehiclesBox_, layout.chooseVehiclesBox);
  RECT frame{0, 0, layout.client.cx, layout.client.cy};
  AdjustWindowRectExForDpi(&frame, kStyle, FALSE, kExStyle, dpi);
  SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ApplyLayout(dpi);
}

void MainWindow::OnCommand(int id, int code) {
  if (id == kOpenButton && code == BN_CLICKED) flow_.Open();
  if (id == IDCANCEL) flow_.Stop();  // Escape, as the dialog manager of the message loop tells it
}

void MainWindow::OnRunTask(std::function<void()>* task) {
  const std::unique_ptr<std::function<void()>> owned(task);
  (*owned)();
}

void MainWindow::OnClose() {
  if (flow_.RequestClose()) DestroyWindow(hwnd_);
}

void MainWindow::OnNcDestroy() {
  hwnd_ = openButton_ = progressBar_ = waiting_ = recordPtrBox_ = chooseVehiclesBox_ = tooltip_ = nullptr;
  taskbar_.reset();
  postTo_ = nullptr;
  // Tasks posted too late for this window go with it. The quit that closing the window
  // posted comes out of any filter, and goes back for the message loop.
  for (MSG late; PeekMessageW(&late, nullptr, kRunTask, kRunTask, PM_REMOVE);) {
    if (late.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(late.wParam));
      break;
    }
    delete reinterpret_cast<std::function<void()>*>(late.lParam);
  }
}

void MainWindow::OnDestroy() {
  if (endsProgram_) PostQuitMessage(0);
}

void MainWindow::OnDropFiles(HDROP drop) {
  std::vector<std::filesystem::path> files;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring name(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size()));
    name.pop_back();
    files.emplace_back(name);
  }
  DragFinish(drop);
  flow_.SplitReplays(files);  // does nothing during a run
}

void MainWindow::Post(std::function<void()> task) {
  auto* owned = new std::function<void()>(std::move(task));
  const HWND target = postTo_;
  if (target == nullptr || !PostMessageW(target, kRunTask, 0, reinterpret_cast<LPARAM>(owned))) delete owned;
}

void MainWindow::SetBusy(bool busy) {
  EnableWindow(openButton_, !busy);
  EnableWindow(recordPtrBox_, !busy);
  EnableWindow(chooseVehiclesBox_, !busy);
  // The taskbar button shows the run while it goes, and nothing after it.
  if (!busy) {
    failed_ = false;
    if (ITaskbarList3* taskbar = Taskbar()) taskbar->SetProgressState(hwnd_, TBPF_NOPROGRESS);
  }
  // Escape reaches the window while its controls are disabled.
  SetFocus(busy ? hwnd_ : openButton_);
}

void MainWindow::SetProgressMax(int maximum) {
  SendMessageW(progressBar_, PBM_SETRANGE32, 0, maximum);
  SendMessageW(progressBar_, PBM_SETPOS, 0, 0);
  if (ITaskbarList3* taskbar = Taskbar()) {
    taskbar->SetProgressState(hwnd_, failed_ ? TBPF_ERROR : TBPF_NORMAL);
    taskbar->SetProgressValue(hwnd_, 0, static_cast<ULONGLONG>(maximum));
  }
}

void MainWindow::SetProgressValue(int value) {
  SendMessageW(progressBar_, PBM_SETPOS, static_cast<WPARAM>(value), 0);
  if (ITaskbarList3* taskbar = Taskbar(); taskbar != nullptr && value > 0) {
    const auto maximum = static_cast<ULONGLONG>(SendMessageW(progressBar_, PBM_GETRANGE, FALSE, 0));
    taskbar->SetProgressValue(hwnd_, static_cast<ULONGLONG>(value), maximum);
  }
}

void MainWindow::MarkFailure() {
  failed_ = true;
  if (ITaskbarList3* taskbar = Taskbar()) taskbar->SetProgressState(hwnd_, TBPF_ERROR);
}

ITaskbarList3* MainWindow::Taskbar() {
  if (!taskbar_ && hwnd_ != nullptr) {
    // Only where COM is set up on this thread, as the program's start does.
    ITaskbarList3* raw = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&raw)))) {
      taskbar_.reset(raw);
      if (FAILED(raw->HrInit())) taskbar_.reset();
    }
  }
  return taskbar_.get();
}

void MainWindow::SetCaption(const std::string& caption) {
  SetWindowTextW(openButton_, Widen(caption == texts::WithoutKey(texts::kOpenKey) ? texts::kOpenKey : caption).c_str());
}

void MainWindow::SetTitle(const std::string& title) { SetWindowTextW(hwnd_, Widen(title).c_str()); }

void MainWindow::ShowWaiting(const std::string& folder) {
  SetTip(tooltip_, hwnd_, waiting_, Widen(folder));
  ShowWindow(progressBar_, folder.empty() ? SW_SHOW : SW_HIDE);
  ShowWindow(waiting_, folder.empty() ? SW_HIDE : SW_SHOW);
}

void MainWindow::ShowMessage(const std::string& text, const std::string& title) {
  const CenteredOn centered(hwnd_);
  MessageBoxW(hwnd_, Widen(text).c_str(), Widen(title).c_str(), MB_OK | MB_ICONINFORMATION);
}

void MainWindow::ShowWarning(const std::string& text, const std::string& details) {
  const std::wstring shown = FitToScreen(hwnd_, Widen(text + "\r\n\r\n" + vehisect::WrapLongWords(details)));
  const CenteredOn centered(hwnd_);
  MessageBoxW(hwnd_, shown.c_str(), Widen(texts::kTitle).c_str(), MB_OK | MB_ICONWARNING);
}

vehisect::OtherRace MainWindow::AskOtherRace(const std::string& text, bool canReplace) {
  return AskOtherRaceDialog(hwnd_, text, canReplace);
}

void MainWindow::CloseWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

std::vector<std::filesystem::path> MainWindow::ChooseReplays(const std::filesystem::path& folder) {
  return OpenReplayDialog(hwnd_, folder);
}

std::optional<std::filesystem::path> MainWindow::ChooseFolder(const std::filesystem::path& replay,
                                                         const std::filesystem::path& folder) {
  return OutputFolderDialog(hwnd_, replay, folder);
}

bool MainWindow::UseRecordPtr() const { return SendMessageW(recordPtrBox_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

bool MainWindow::ChoosesVehicles() const { return SendMessageW(chooseVehiclesBox_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::optional<std::vector<std::size_t>> MainWindow::ChooseVehicles(const vehisect::VehicleChoice& choice) {
  return ShowVehicleDialog(hwnd_, choice);
}

std::filesystem::path MainWindow::ProgramFolder() const { return ProgramFolderPath(); }

std::filesystem::path MainWindow::DocumentsFolder() const { return DocumentsFolderPath(); }
