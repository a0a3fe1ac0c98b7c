#include "replay/batch.h"

#include "replay/error.h"
#include "replay/names.h"

namespace vehisect {
namespace {

std::string Key(const std::filesystem::path& folder, const std::string& name) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(folder, ec);
  return PathToUtf8(absolute.lexically_normal()) + '\n' + FoldCase(name);
}

}  // namespace

void Batch::Check(const std::string& replay, const std::filesystem::path& folder,
                  const std::vector<std::string>& names) const {
  for (const std::string& name : names) {
    const std::string key = Key(folder, name);
    const std::filesystem::path path = OutputPath(folder, name);
    for (const Written& w : written_) {
      std::error_code ec;
      if (w.key == key || std::filesystem::equivalent(path, w.path, ec)) {
        throw ReplayError(replay, "expected outputs of its own, found " + PathToUtf8(w.path) +
                                      " already written from " + w.replay +
                                      " in this run; split it into another folder");
      }
    }
  }
}

void Batch::Add(const std::string& replay, const std::filesystem::path& folder,
                const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    written_.push_back({Key(folder, name), OutputPath(folder, name), replay});
  }
}

}  // namespace vehisect
