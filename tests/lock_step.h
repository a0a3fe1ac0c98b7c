#pragma once

#include <functional>
#include <future>
#include <memory>

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

}  // namespace vehisect::testing
