#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "replay/base/file_system.h"

namespace vehisect {

/// The file system itself: POSIX calls on Linux, Win32 ones on Windows.
class SystemFileSystem final : public FileSystem {
 public:
  std::error_code Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
  std::error_code LinkOrCopy(const std::filesystem::path& from, const std::filesystem::path& to) override;
  std::error_code Flush(const std::filesystem::path& file) override;
  std::vector<std::error_code> FlushAll(const std::vector<std::filesystem::path>& files) override;
  std::error_code FlushFolder(const std::filesystem::path& folder) override;
  std::error_code Remove(const std::filesystem::path& file) override;
  std::error_code List(const std::filesystem::path& folder, std::vector<FolderEntry>& entries) override;
  std::unique_ptr<Hold> CreateNew(const std::filesystem::path& file, const std::string& bytes,
                                  std::error_code& ec) override;
  std::error_code CreateFolders(const std::filesystem::path& folder) override;
  std::filesystem::path Absolute(const std::filesystem::path& path) override;
  std::filesystem::file_status Status(const std::filesystem::path& path) override;
  bool Equivalent(const std::filesystem::path& a, const std::filesystem::path& b) override;
  std::unique_ptr<std::ostream> Create(const std::filesystem::path& file) override;
  std::unique_ptr<std::istream> Read(const std::filesystem::path& file) override;
  std::error_code LinkNew(const std::filesystem::path& from, const std::filesystem::path& to) override;
  std::error_code RenameNew(const std::filesystem::path& from, const std::filesystem::path& to) override;
  std::error_code Look(const std::filesystem::path& file, std::size_t limit, Sight& sight) override;
  std::unique_ptr<Hold> Claim(const std::filesystem::path& file, std::error_code& ec) override;
};

/// The one SystemFileSystem, which every front end hands its runs.
FileSystem& SystemFiles();

}  // namespace vehisect
