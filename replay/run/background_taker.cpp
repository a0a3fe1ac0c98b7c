#include "replay/run/background_taker.h"

#include <string_view>
#include <utility>

namespace vehisect {

BackgroundTaker::BackgroundTaker(std::function<void(const RecordFields& record)> take)
    : take_(std::move(take)), thread_([this] { Loop(); }) {}

BackgroundTaker::~BackgroundTaker() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    full_ = false;
  }
  changed_.notify_all();
  thread_.join();
}

void BackgroundTaker::Take(const RecordFields& record) {
  std::string& text = filling_.text;
  const std::size_t at = text.size();
  text.append(record.time).append(record.position).append(record.velocity);
  const std::size_t position = at + record.time.size(), velocity = position + record.position.size();
  filling_.entries.push_back({record.shared, record.vehicle, at, position, velocity, text.size()});
  // Large enough that the threads seldom wait for each other, small enough to stay in cache.
  if (filling_.entries.size() == 4096 || text.size() >= (1 << 20)) Hand();
}

void BackgroundTaker::Hand() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !full_; });
  std::swap(filling_, handed_);
  full_ = true;
  lock.unlock();
  changed_.notify_all();
  filling_.entries.clear();
  filling_.text.clear();
}

void BackgroundTaker::Loop() {
  Batch working;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return full_ || stopping_; });
      if (!full_) return;
      std::swap(handed_, working);
      full_ = false;
    }
    changed_.notify_all();
    try {
      if (!error_) {
        for (const Entry& e : working.entries) {
          const std::string_view text = working.text;
          take_({e.shared, e.vehicle, text.substr(e.time, e.position - e.time),
                 text.substr(e.position, e.velocity - e.position), text.substr(e.velocity, e.end - e.velocity)});
        }
      }
    } catch (...) {
      error_ = std::current_exception();  // kept for Finish; the batches still handed are dropped
    }
    working.entries.clear();
    working.text.clear();
  }
}

void BackgroundTaker::Finish() {
  if (!filling_.entries.empty()) Hand();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
  if (error_) std::rethrow_exception(error_);
}

}  // namespace vehisect
