#include "replay/format/writer.h"

#include <cerrno>

#include "replay/base/error.h"

namespace vehisect {

void WriteBytes(std::ostream& out, std::string_view bytes, const std::string& file) {
  errno = 0;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw ReplayError(file, 0, "to write the output", SystemErrorText(errno));
}

BackgroundWriter::BackgroundWriter() = default;

BackgroundWriter::~BackgroundWriter() {
  if (threads_.empty()) return;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void BackgroundWriter::Loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    ++writing_;
    // After a failure the run is lost; later writes would only add to the damage.
    const bool skip = error_ != nullptr;
    lock.unlock();
    std::exception_ptr error;
    try {
      if (!skip) job.write();
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    if (error && !error_) error_ = error;
    *job.busy = false;
    --writing_;
    changed_.notify_all();
  }
}

void BackgroundWriter::Start(bool& busy, std::function<void()> write) {
  // Started with the first write: a small replay is done before it would have been needed.
  if (threads_.empty()) {
    // Two, so that the system's work for one output's write overlaps another's; the writes of
    // one output stay in order, as each waits for the one before.
    for (int i = 0; i < 2; ++i) threads_.emplace_back([this] { Loop(); });
  }
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&busy] { return !busy; });
  if (error_) std::rethrow_exception(error_);
  busy = true;
  jobs_.push_back({&busy, std::move(write)});
  changed_.notify_all();
}

void BackgroundWriter::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return jobs_.empty() && writing_ == 0; });
  if (error_) std::rethrow_exception(error_);
}

void BackgroundWriter::Finish() noexcept {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return jobs_.empty() && writing_ == 0; });
}

OutputWriter::OutputWriter(std::ostream& out, std::string file, BackgroundWriter& background)
    : out_(&out),
      file_(std::move(file)),
      background_(&background),
      filling_(kCapacity) {}

OutputWriter::~OutputWriter() {
  background_->Finish();
}

void OutputWriter::Flush() {
  if (used_ == 0) return;
  const std::string_view full(filling_.data(), used_);
  background_->Start(spareBusy_, [this, full] { WriteBytes(*out_, full, file_); });
  // Start has waited for this output's write before, so the spare buffer is free. A small
  // output never needs one.
  if (spare_.data() == nullptr) spare_ = Buffer(kCapacity);
  std::swap(filling_, spare_);
  used_ = 0;
}

}  // namespace vehisect
