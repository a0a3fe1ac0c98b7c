#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vehisect {

/// The outputs written by the replays of one batch so far, so that a later replay of the
/// batch cannot replace what an earlier one wrote: two races on the same level with the same
/// drivers give the same names.
class Batch {
 public:
  /// Raises ReplayError naming `replay` when an output called `names` (Windows-1252 bytes) in
  /// `folder` would be a file that an earlier replay of the batch wrote.
  void Check(const std::string& replay, const std::filesystem::path& folder,
             const std::vector<std::string>& names) const;
  /// Records the outputs `names` in `folder` as written by `replay`.
  void Add(const std::string& replay, const std::filesystem::path& folder,
           const std::vector<std::string>& names);

 private:
  struct Written {
    std::string key;  // the folder and the name as a case-blind file system sees them
    std::filesystem::path path;
    std::string replay;
  };
  std::vector<Written> written_;
};

}  // namespace vehisect
