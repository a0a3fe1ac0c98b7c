#include "replay/base/file_system.h"

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

bool SameFile(FileSystem& files, const std::filesystem::path& a, const std::filesystem::path& b) {
  if (a == b || files.Equivalent(a, b)) return true;
  return FoldUtf8(PathToUtf8(a.filename())) == FoldUtf8(PathToUtf8(b.filename())) &&
         SameFolder(files, a.parent_path(), b.parent_path());
}

}  // namespace vehisect
