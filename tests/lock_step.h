#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "temp_folder.h"

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

/// Three replays as a player drops them on a window, in the order dropped: `race`, a replay
/// that cannot be read, and `race` again in a folder of its own.
inline std::vector<std::filesystem::path> WriteDroppedReplays(TempFolder& folder, const std::string& race) {
  const auto first = folder.Write("race1.rpl", race);
  std::filesystem::create_directory(folder.path() / "other");
  const auto second = folder.Write("other/race2.rpl", race);
  return {first, folder.Write("bad.rpl", "demoLevel\r\n"), second};
}

/// Checks that both races dropped, of three vehicles each, were split beside themselves.
inline void ExpectDroppedReplaysSplit(const TempFolder& folder) {
  EXPECT_EQ(folder.Names(), (std::set<std::string>{"race1.rpl", "other", "bad.rpl", "VH_CANYON_Ann.rpl",
                                                   "VH_CANYON_Bo.rpl", "VH_CANYON_Cy.rpl"}));
  EXPECT_EQ(TempFolder::NamesIn(folder.path() / "other").size(), 4u);
}

}  // namespace vehisect::testing
