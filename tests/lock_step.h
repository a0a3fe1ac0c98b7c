#pragma once

#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <utility>
#include <vector>

namespace vehisect::testing {

/// Hands `task` to `post`, which runs it on the window's thread, and waits until it has run:
/// the run's thread then moves in lock step with the window, so that a test acts at a known
/// point of the run. A task dropped with the window lets the run go on.
template <typename Post>
void PostInLockStep(Post post, std::function<void()> task) {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> ran = done->get_future();
  post([task = std::move(task), done] {
    task();
    done->set_value();
  });
  ran.wait();
}

/// A main window as its tests drive it: the open-file dialog answered with `chosen`, the run
/// in lock step with the window, and `duringRun` called once as the run starts on the records.
template <typename Window>
class Watched : public Window {
 public:
  using Window::Window;
  std::vector<std::filesystem::path> chosen;
  int choices = 0;
  std::function<void()> duringRun;

  std::vector<std::filesystem::path> ChooseReplays(const std::filesystem::path&) override {
    ++choices;
    return chosen;
  }
  void Post(std::function<void()> task) override {
    PostInLockStep([this](std::function<void()> t) { Window::Post(std::move(t)); }, std::move(task));
  }
  void SetProgressMax(int maximum) override {
    Window::SetProgressMax(maximum);
    Seen();
    if (duringRun) std::exchange(duringRun, nullptr)();
  }

 protected:
  /// What the test keeps of the window as the run starts on the records.
  virtual void Seen() {}
};

}  // namespace vehisect::testing
