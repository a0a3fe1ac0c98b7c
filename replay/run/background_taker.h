#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "replay/format/record.h"

namespace vehisect {

/// Hands records' fields to a function on a thread of its own, in order, so that what it does
/// with them costs the reading thread little of its time: the fields are copied in batches.
class BackgroundTaker {
 public:
  /// Calls `take` on its thread with each record given to Take.
  explicit BackgroundTaker(std::function<void(const RecordFields& record)> take);
  /// Stops the thread, dropping the records it was not yet given.
  ~BackgroundTaker();
  /// Gives the thread the next record of the stream.
  void Take(const RecordFields& record);
  /// Waits until every record given has been taken; raises what `take` raised.
  void Finish();

 private:
  // A record's fields as offsets into its batch's text, which outlives the reader's buffer.
  struct Entry {
    bool shared;
    std::size_t vehicle;
    std::size_t time, position, velocity, end;
  };
  struct Batch {
    std::vector<Entry> entries;
    std::string text;
  };
  void Hand();
  void Loop();

  std::function<void(const RecordFields& record)> take_;
  Batch filling_;
  std::mutex mutex_;
  std::condition_variable changed_;
  Batch handed_;  // given to the thread, while `full_`
  bool full_ = false;
  bool stopping_ = false;
  std::exception_ptr error_;
  std::thread thread_;
};

}  // namespace vehisect
