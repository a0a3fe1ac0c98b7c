#include "replay/base/file_system.h"

#include <cerrno>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include "replay/base/case_fold.h"
#include "replay/base/paths.h"

namespace vehisect {
namespace {

bool SameFolder(FileSystem& files, const std::filesystem::path& a, const std::filesystem::path& b) {
  if (files.Equivalent(FolderOf(a), FolderOf(b))) return true;
  const auto key = [&](const std::filesystem::path& p) {
    return FoldUtf8(PathToUtf8(files.Absolute(FolderOf(p)).lexically_normal()));
  };
  return key(a) == key(b);
}

}  // namespace

bool LocksUnsupported(const std::error_code& ec) {
#ifdef _WIN32
  if (ec.category() == std::system_category()) {
    return ec.value() == ERROR_NOT_SUPPORTED || ec.value() == ERROR_INVALID_FUNCTION;
  }
#endif
  return ec.category() == std::generic_category() &&
         (ec.value() == ENOLCK || ec.value() == EOPNOTSUPP || ec.value() == ENOTSUP || ec.value() == ENOSYS ||
          ec.value() == EINVAL);
}

bool HeldOpen(const std::error_code& ec) {
#ifdef _WIN32
  return ec.category() == std::system_category() &&
         (ec.value() == ERROR_SHARING_VIOLATION || ec.value() == ERROR_ACCESS_DENIED);
#else
  (void)ec;
  return false;
#endif
}

bool SameFile(FileSystem& files, const std::filesystem::path& a, const std::filesystem::path& b) {
  if (files.Equivalent(a, b)) return true;
  return FoldUtf8(PathToUtf8(a.filename())) == FoldUtf8(PathToUtf8(b.filename())) &&
         SameFolder(files, a.parent_path(), b.parent_path());
}

}  // namespace vehisect
