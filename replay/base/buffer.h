#pragma once

#include <cstddef>

namespace vehisect {

/// Uninitialised memory for the reader's and the writers' buffers. A buffer freed is kept, up
/// to a few MiB in all, and handed out again: a fresh page costs the system a fault (some 10 µs
/// on a virtual machine), and a split of eight outputs would take a thousand of them each run.
class Buffer {
 public:
  /// No memory.
  Buffer() = default;
  /// `size` bytes, kept ones when there are.
  explicit Buffer(std::size_t size);
  /// Keeps the memory for a later buffer of the same size, or frees it.
  ~Buffer();
  Buffer(Buffer&& other) noexcept;
  Buffer& operator=(Buffer&& other) noexcept;
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  /// The first byte, or null for no memory.
  char* data() const { return data_; }
  /// The number of bytes.
  std::size_t size() const { return size_; }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace vehisect
