#include "replay/outputs.h"

#include <cerrno>
#include <random>

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

}  // namespace

struct FileOutputStore::Output {
  std::filesystem::path final;
  std::filesystem::path temporary;
  std::ofstream stream;
};

FileOutputStore::FileOutputStore(std::filesystem::path folder, std::filesystem::path input)
    : folder_(std::move(folder)), input_(std::move(input)) {}

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
  while (!outputs_.empty()) {
    const Output& output = *outputs_.front();
    std::error_code ec;
    std::filesystem::rename(output.temporary, output.final, ec);
    if (ec) {
      throw ReplayError(PathToUtf8(output.final),
                        "expected to put the output in place, found " + ec.message());
    }
    outputs_.erase(outputs_.begin());
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
