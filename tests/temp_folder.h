#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>

namespace vehisect::testing {

// A fresh folder for one test, removed with everything in it when the test ends.
class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("vehisect-test-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

  std::filesystem::path Write(const std::filesystem::path& name, const std::string& bytes) const {
    const auto file = path_ / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }

  std::string Read(const std::filesystem::path& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  /// The names of the entries of the folder, as UTF-8.
  std::set<std::string> Names() const { return NamesIn(path_); }

  /// The names of the entries of `folder`, as UTF-8.
  static std::set<std::string> NamesIn(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      const std::u8string name = entry.path().filename().u8string();
      names.emplace(name.begin(), name.end());
    }
    return names;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace vehisect::testing
