#include "replay/outputs.h"

#include <cerrno>
#include <chrono>
#include <random>
#include <thread>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include "replay/error.h"
#include "replay/names.h"

namespace vehisect {
namespace {

std::filesystem::path TemporaryPath(const std::filesystem::path& folder) {
  static std::mt19937_64 random{std::random_device{}()};
  for (;;) {
    const auto path = folder / ("vehisect-" + std::to_string(random()) + ".tmp");
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return path;
  }
}

// Whether a rename failed because another program has the file open: on Windows a file
// open without delete sharing cannot be renamed.
bool HeldOpen(const std::error_code& ec) {
#ifdef _WIN32
  return ec.category() == std::system_category() &&
         (ec.value() == ERROR_SHARING_VIOLATION || ec.value() == ERROR_ACCESS_DENIED);
#else
  (void)ec;
  return false;
#endif
}

std::string RenameFailure(const std::error_code& ec) {
  return HeldOpen(ec) ? "it open in another program; close it and try again" : ec.message();
}

}  // namespace

std::error_code RenameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef _WIN32
  // Virus scanners and indexers open new files for a moment; a careful tool waits for them.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  for (;;) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return {};
    const std::error_code ec(static_cast<int>(GetLastError()), std::system_category());
    if (!HeldOpen(ec) || std::chrono::steady_clock::now() >= deadline) return ec;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
#else
  std::error_code ec;
  std::filesystem::rename(from, to, ec);
  return ec;
#endif
}

bool CanWriteIn(const std::filesystem::path& folder) {
  const std::filesystem::path probe = TemporaryPath(folder);
  const bool created = std::ofstream(probe, std::ios::binary).is_open();
  std::error_code ec;
  std::filesystem::remove(probe, ec);
  return created;
}

struct FileOutputStore::Output {
  std::filesystem::path final;
  std::filesystem::path temporary;
  std::ofstream stream;
};

// An output on its way into place: the older file of its name, if any, moved aside first.
struct FileOutputStore::Placed {
  std::filesystem::path final;
  std::filesystem::path aside;  // empty when no file had the output's name
  bool in = false;              // the output has been moved to `final`
};

FileOutputStore::FileOutputStore(std::filesystem::path folder, std::filesystem::path input,
                                 FileMover move)
    : folder_(std::move(folder)), input_(std::move(input)), move_(std::move(move)) {}

FileOutputStore::~FileOutputStore() { Discard(); }

std::string FileOutputStore::Describe(const std::string& name) const {
  return PathToUtf8(OutputPath(folder_, name));
}

std::ostream& FileOutputStore::Open(const std::string& name) {
  auto output = std::make_unique<Output>();
  output->final = OutputPath(folder_, name);
  const std::string shown = Describe(name);
  std::error_code ec;
  const auto status = std::filesystem::status(output->final, ec);
  if (std::filesystem::exists(status)) {
    if (std::filesystem::equivalent(output->final, input_, ec)) {
      throw ReplayError(shown, "expected an output name other than the replay being split, "
                               "found the replay itself");
    }
    if (!std::filesystem::is_regular_file(status)) {
      throw ReplayError(shown, "expected a file name free for the output, found something "
                               "other than a file there");
    }
  }
  // Checked now: a name refused only when the outputs are renamed into place would leave the
  // outputs renamed before it.
  constexpr std::size_t kMaxName = 255;  // bytes on Linux, UTF-16 units on Windows
  const std::size_t length = output->final.filename().native().size();
  if (length > kMaxName) {
    throw ReplayError(shown, "expected an output name of at most 255 characters, found one of " +
                                 std::to_string(length));
  }
  output->temporary = TemporaryPath(folder_);
  errno = 0;
  output->stream.open(output->temporary, std::ios::binary | std::ios::trunc);
  if (!output->stream) {
    throw ReplayError(shown, "expected to create the output, found " + SystemErrorText(errno));
  }
  outputs_.push_back(std::move(output));
  return outputs_.back()->stream;
}

void FileOutputStore::Commit() {
  for (const auto& output : outputs_) {
    errno = 0;
    output->stream.close();
    if (output->stream.fail()) {
      throw ReplayError(PathToUtf8(output->final),
                        "expected to write the output, found " + SystemErrorText(errno));
    }
  }
  std::vector<Placed> placed;
  try {
    for (const auto& output : outputs_) Place(*output, placed);
  } catch (const ReplayError& e) {
    std::string unrestored;
    PutBack(placed, unrestored);
    Discard();
    if (unrestored.empty()) throw;
    throw ReplayError(std::string(e.what()) + "; then could not put back " + unrestored);
  }
  outputs_.clear();
  for (const Placed& p : placed) {
    std::error_code ec;
    if (!p.aside.empty() && !std::filesystem::remove(p.aside, ec)) {
      warnings_.push_back(PathToUtf8(p.aside) + ": expected to remove the older output " +
                          PathToUtf8(p.final.filename()) + " it replaced, found " +
                          (ec ? ec.message() : "it gone"));
    }
  }
}

void FileOutputStore::Place(const Output& output, std::vector<Placed>& placed) {
  const std::string shown = PathToUtf8(output.final);
  Placed p{output.final, {}, false};
  std::error_code ec;
  if (std::filesystem::exists(output.final, ec)) {
    // A file system may fold names in a way the unique-name rule did not foresee; then this
    // name is an earlier output of this run, which must not be moved aside as an older file.
    for (const Placed& earlier : placed) {
      if (std::filesystem::equivalent(output.final, earlier.final, ec)) {
        throw ReplayError(shown, "expected a file of its own for the output, found that this "
                                 "file system takes it for " + PathToUtf8(earlier.final.filename()));
      }
    }
    p.aside = TemporaryPath(folder_);
    if (const std::error_code moved = move_(output.final, p.aside)) {
      throw ReplayError(shown, "expected to replace the output, found " + RenameFailure(moved));
    }
  }
  placed.push_back(p);
  if (const std::error_code moved = move_(output.temporary, output.final)) {
    throw ReplayError(shown, "expected to put the output in place, found " + RenameFailure(moved));
  }
  placed.back().in = true;
}

void FileOutputStore::PutBack(std::vector<Placed>& placed, std::string& unrestored) noexcept {
  for (auto p = placed.rbegin(); p != placed.rend(); ++p) {
    std::error_code ec;
    if (p->in) std::filesystem::remove(p->final, ec);
    if (ec) {
      unrestored += (unrestored.empty() ? "" : ", ") + PathToUtf8(p->final) + " (new)";
    } else if (!p->aside.empty() && move_(p->aside, p->final)) {
      unrestored += (unrestored.empty() ? "" : ", ") + PathToUtf8(p->final) + " (kept as " +
                    PathToUtf8(p->aside.filename()) + ")";
    }
  }
}

void FileOutputStore::Discard() noexcept {
  for (const auto& output : outputs_) {
    output->stream.close();
    std::error_code ec;
    std::filesystem::remove(output->temporary, ec);
  }
  outputs_.clear();
}

std::ostream& MemoryOutputStore::Open(const std::string& name) {
  open_.emplace_back(name, std::make_unique<std::ostringstream>());
  return *open_.back().second;
}

void MemoryOutputStore::Commit() {
  for (auto& [name, stream] : open_) files_[name] = stream->str();
  open_.clear();
}

void MemoryOutputStore::Discard() noexcept { open_.clear(); }

}  // namespace vehisect
