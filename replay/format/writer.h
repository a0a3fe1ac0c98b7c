#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "replay/base/buffer.h"

namespace vehisect {

/// Writes `bytes` to `out`, raising ReplayError naming `file` when the stream fails.
void WriteBytes(std::ostream& out, std::string_view bytes, const std::string& file);

/// Threads that write full buffers while the run reads on, so that the disk's time and the
/// parsing overlap. The writes of one output are done in the order they are started.
class BackgroundWriter {
 public:
  /// A writer whose threads start with the first write.
  BackgroundWriter();
  /// Lets the writes started finish, then stops the threads.
  ~BackgroundWriter();
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  /// Queues `write` once `busy` is false, sets `busy` until `write` has run; raises the error of
  /// an earlier write. `busy` is guarded by this writer.
  void Start(bool& busy, std::function<void()> write);
  /// Waits until every write started has run; raises the error of any of them.
  void Wait();
  /// Waits until every write started has run, ignoring errors; for unwinding.
  void Finish() noexcept;

 private:
  struct Job {
    bool* busy;
    std::function<void()> write;
  };
  void Loop();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;  // waiting to be written
  int writing_ = 0;  // jobs being written
  bool stopping_ = false;
  std::exception_ptr error_;
  std::vector<std::thread> threads_;
};

/// Gathers the small writes of one output and hands them to its stream in large ones, on the
/// background writer's threads.
class OutputWriter {
 public:
  /// Writes to `out` through `background`, naming `file` in errors.
  OutputWriter(std::ostream& out, std::string file, BackgroundWriter& background);
  /// Waits until the background writer is done with this output's buffers.
  ~OutputWriter();
  // Its queued writes hold `this`: it must stay where it was made.
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;

  /// Adds `bytes` to the output; raises ReplayError when an earlier write has failed.
  void Write(std::string_view bytes) {
    if (bytes.size() > kCapacity - used_) Flush();
    if (bytes.size() >= kCapacity) {
      background_->Wait();
      WriteBytes(*out_, bytes, file_);
    } else if (!bytes.empty()) {  // an empty piece may have no data pointer at all
      std::memcpy(filling_.data() + used_, bytes.data(), bytes.size());
      used_ += bytes.size();
    }
  }

  /// Starts writing every byte added so far; raises ReplayError when an earlier write failed.
  void Flush();

 private:
  // Large enough that a record costs no system call; eight outputs stay within a few MiB.
  static constexpr std::size_t kCapacity = std::size_t{256} << 10;
  std::ostream* out_;
  std::string file_;
  BackgroundWriter* background_;
  Buffer filling_;  // taking new bytes
  Buffer spare_;    // being written, or free; made at the first flush
  bool spareBusy_ = false;           // guarded by the background writer
  std::size_t used_ = 0;
};

}  // namespace vehisect
