#include "cli/console.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include "cli/terminal.h"

namespace vehisect::cli {
namespace {

// Set by the signals; the run stops cleanly, or, once its commit has begun, finishes it.
CancelToken g_stop;

// Whether a run is on, which a closing console waits for.
std::atomic<bool> g_running{false};

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD event) {
  g_stop.Request();
  // Windows ends the program when this returns from a console close: give the run the few
  // seconds it has to clean up.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    for (int i = 0; i < 450 && g_running; ++i) Sleep(10);
  }
  return TRUE;
}

void CatchStops() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }
#else
extern "C" void OnSignal(int) { g_stop.Request(); }

void CatchStops() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) sigaction(signal, &action, nullptr);
}
#endif

// The first error in writing to standard output.
int g_outputError = 0;

}  // namespace

void FlushOutput() {
  errno = 0;
  if (!std::cout.flush() || std::fflush(stdout) != 0) {
    if (g_outputError == 0) g_outputError = errno != 0 ? errno : EIO;
  }
}

int OutputError() { return g_outputError; }

void Console::Start(std::string label) {
  label_ = std::move(label);
  maximum_ = 0;
}

void Console::Clear() {
  if (drawnColumns_ > 0) std::cerr << ClearLine(drawnColumns_) << std::flush;
  drawnColumns_ = 0;
}

void Console::SetProgressValue(float value) {
  if (!show_ || value == 0) return;
  constexpr int kWidth = 30;
  const int filled = maximum_ > 0 ? static_cast<int>(kWidth * (value / maximum_)) : kWidth;
  char counts[64];
  std::snprintf(counts, sizeof counts, "] %.0f/%.0f", value, maximum_);
  const std::string line = label_ + " [" + std::string(filled, '#') + std::string(kWidth - filled, '.') + counts;
  std::cerr << '\r' << line << std::flush;
  drawnColumns_ = std::max(drawnColumns_, Columns(line));
}

StopSignals::StopSignals() {
  CatchStops();
  g_running = true;
}

StopSignals::~StopSignals() { g_running = false; }

const CancelToken& StopSignals::stop() const { return g_stop; }

}  // namespace vehisect::cli
