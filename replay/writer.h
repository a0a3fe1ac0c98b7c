#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace vehisect {

/// Appends `line` and the CR LF terminator that every written line carries.
inline void AppendLine(std::string& out, std::string_view line) {
  out.append(line.data(), line.size());
  out.append("\r\n", 2);
}

/// Appends a labelled field: the label line, then the value line.
inline void AppendField(std::string& out, std::string_view label, std::string_view value) {
  AppendLine(out, label);
  AppendLine(out, value);
}

/// Writes `bytes` to `out`, raising ReplayError naming `file` when the stream fails.
void WriteBytes(std::ostream& out, std::string_view bytes, const std::string& file);

/// Gathers the small writes of one output and hands them to its stream in large ones.
class OutputWriter {
 public:
  /// Writes to `out`, naming `file` in errors.
  OutputWriter(std::ostream& out, std::string file);

  /// Adds `bytes` to the output; raises ReplayError when the stream fails.
  void Write(std::string_view bytes) {
    if (bytes.size() > kCapacity - used_) Flush();
    if (bytes.size() >= kCapacity) {
      WriteBytes(*out_, bytes, file_);
    } else {
      std::memcpy(buffer_.get() + used_, bytes.data(), bytes.size());
      used_ += bytes.size();
    }
  }

  /// Hands every byte written so far to the stream; raises ReplayError when it fails.
  void Flush();

 private:
  // Large enough that a record costs no system call; eight outputs stay within a few MiB.
  static constexpr std::size_t kCapacity = std::size_t{256} << 10;
  std::ostream* out_;
  std::string file_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

}  // namespace vehisect
