#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "replay/commit/file_system.h"

namespace vehisect {

/// The replays of one run and the outputs they have written so far, so that no output of the
/// run replaces one of its replays or what an earlier replay wrote: two races on the same
/// level with the same drivers give the same names.
class Batch {
 public:
  /// A batch of the replays `replays`, compared as `files` sees them.
  explicit Batch(std::vector<std::filesystem::path> replays = {}, FileSystem& files = SystemFiles());
  /// Raises ReplayError naming `replay` when an output called `names` (Windows-1252 bytes) in
  /// `folder` would be another replay of the batch.
  void Check(const std::filesystem::path& replay, const std::filesystem::path& folder,
             const std::vector<std::string>& names) const;
  /// Whether an earlier replay of the batch wrote the file `output`.
  bool Wrote(const std::filesystem::path& output) const;
  /// Raises ReplayError naming `replay` when an earlier replay of the batch wrote `output`.
  void CheckWritten(const std::filesystem::path& replay, const std::filesystem::path& output) const;
  /// Records the outputs `names` in `folder` as written by `replay`.
  void Add(const std::filesystem::path& replay, const std::filesystem::path& folder,
           const std::vector<std::string>& names);

 private:
  struct Written {
    std::filesystem::path path;
    std::filesystem::path replay;
  };
  std::vector<std::filesystem::path> replays_;
  FileSystem& files_;
  std::vector<Written> written_;
};

}  // namespace vehisect
