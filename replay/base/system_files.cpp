// What the system's files are alike on every system; the rest is in system_files_posix.cpp
// and system_files_win32.cpp, of which CMake builds the system's own.

#include "replay/base/system_files.h"

#include <cerrno>
#include <fstream>
#include <thread>
#include <vector>

#include "replay/base/paths.h"
#include "replay/base/system_files_parts.h"

namespace vehisect {
namespace {

// Hands the caller's buffers whole to a RawFile.
class StraightBuffer : public std::streambuf {
 public:
  explicit StraightBuffer(std::unique_ptr<RawFile> file) : file_(std::move(file)) {}

 protected:
  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    for (std::streamsize done = 0; done < count;) {
      const std::streamsize n = file_->WriteSome(bytes + done, count - done);
      if (n <= 0) return done;  // errno says why
      done += n;
    }
    file_->Written(written_ += static_cast<std::uint64_t>(count));
    return count;
  }
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }

 private:
  std::unique_ptr<RawFile> file_;
  std::uint64_t written_ = 0;
};

class StraightStream : public std::ostream {
 public:
  explicit StraightStream(std::unique_ptr<RawFile> file) : std::ostream(nullptr), buffer_(std::move(file)) {
    rdbuf(&buffer_);
  }

 private:
  StraightBuffer buffer_;
};

}  // namespace

std::unique_ptr<std::ostream> WriteStraightTo(std::unique_ptr<RawFile> file) {
  const int error = errno;
  const bool none = file == nullptr;
  auto stream = std::make_unique<StraightStream>(std::move(file));
  if (none) stream->setstate(std::ios::badbit);
  errno = error;
  return stream;
}

std::error_code CopyBytes(const std::filesystem::path& from, const std::filesystem::path& to) {
  // Through streams: some FUSE file systems cannot take the system's fast copy.
  std::error_code ec;
  errno = 0;
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  std::vector<char> buffer(std::size_t{1} << 20);
  while (in && out) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    out.write(buffer.data(), in.gcount());
  }
  if (in.bad() || !in.eof() || !out.flush()) {
    ec = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
    out.close();
    std::error_code ignored;
    std::filesystem::remove(to, ignored);
  }
  return ec;
}

std::error_code SystemFileSystem::Remove(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::remove(file, ec) && !ec) ec = std::make_error_code(std::errc::no_such_file_or_directory);
  return ec;
}

std::error_code SystemFileSystem::List(const std::filesystem::path& folder, std::vector<FolderEntry>& entries) {
  std::error_code ec;
  std::filesystem::directory_iterator entry(FolderOf(folder), ec);
  for (const std::filesystem::directory_iterator end; !ec && entry != end; entry.increment(ec)) {
    std::error_code ignored;
    entries.push_back({entry->path().filename(), entry->symlink_status(ignored).type() == std::filesystem::file_type::regular});
  }
  return ec;
}

std::error_code SystemFileSystem::CreateFolders(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return ec;
}

std::filesystem::path SystemFileSystem::Absolute(const std::filesystem::path& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute;
}

std::vector<std::error_code> SystemFileSystem::FlushAll(const std::vector<std::filesystem::path>& files) {
  // At once, so that the disk sees every output's last bytes together, not one after another.
  std::vector<std::error_code> flushed(files.size());
  std::vector<std::thread> threads;
  try {
    for (std::size_t k = 0; k < files.size(); ++k) threads.emplace_back([&, k] { flushed[k] = Flush(files[k]); });
  } catch (const std::system_error&) {
    // No thread to be had: the rest one after the other.
    for (std::size_t k = threads.size(); k < files.size(); ++k) flushed[k] = Flush(files[k]);
  }
  for (std::thread& thread : threads) thread.join();
  return flushed;
}

namespace {

// A file read through a buffer of 256 KiB, given to the stream before it opens the file. The
// C++ library's own holds a few KiB, a system call for each: under Wine, and on Windows, a
// comparison of two outputs of 34 MiB made 35,000 of them.
struct ReadBuffer {
  static constexpr std::size_t kSize = std::size_t{256} << 10;
  std::unique_ptr<char[]> bytes = std::make_unique<char[]>(kSize);
};
class BufferedFile : private ReadBuffer, public std::ifstream {
 public:
  explicit BufferedFile(const std::filesystem::path& file) {
    rdbuf()->pubsetbuf(bytes.get(), static_cast<std::streamsize>(kSize));
    open(file, std::ios::binary);
  }
};

}  // namespace

std::unique_ptr<std::istream> SystemFileSystem::Read(const std::filesystem::path& file) {
  return std::make_unique<BufferedFile>(file);
}

FileSystem& SystemFiles() {
  static SystemFileSystem files;
  return files;
}

}  // namespace vehisect
