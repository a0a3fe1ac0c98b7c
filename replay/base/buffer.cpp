#include "replay/base/buffer.h"

#include <mutex>
#include <utility>
#include <vector>

namespace vehisect {
namespace {

// Enough for a split's eight outputs, two buffers each, and its reader.
constexpr std::size_t kKeptBytes = std::size_t{6} << 20;

struct Kept {
  std::mutex mutex;
  std::vector<std::pair<char*, std::size_t>> buffers;
  std::size_t bytes = 0;
};

// Never destroyed: a buffer may be freed while the program ends.
Kept& KeptBuffers() {
  static Kept* const kept = new Kept;
  return *kept;
}

}  // namespace

Buffer::Buffer(std::size_t size) : size_(size) {
  {
    Kept& kept = KeptBuffers();
    const std::lock_guard lock(kept.mutex);
    for (auto it = kept.buffers.begin(); it != kept.buffers.end(); ++it) {
      if (it->second == size) {
        data_ = it->first;
        kept.bytes -= size;
        kept.buffers.erase(it);
        return;
      }
    }
  }
  data_ = new char[size];
}

Buffer::~Buffer() {
  if (data_ == nullptr) return;
  Kept& kept = KeptBuffers();
  {
    const std::lock_guard lock(kept.mutex);
    if (kept.bytes + size_ <= kKeptBytes) {
      kept.buffers.emplace_back(data_, size_);
      kept.bytes += size_;
      return;
    }
  }
  delete[] data_;
}

Buffer::Buffer(Buffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

Buffer& Buffer::operator=(Buffer&& other) noexcept {
  Buffer old(std::move(*this));
  data_ = std::exchange(other.data_, nullptr);
  size_ = std::exchange(other.size_, 0);
  return *this;
}

}  // namespace vehisect
