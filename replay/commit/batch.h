#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "replay/base/file_system.h"

namespace vehisect {

/// The replays of one run and the outputs they have written so far, so that no output of the
/// run replaces one of its replays or what an earlier replay wrote: two races on the same
/// level with the same drivers give the same names.
class Batch {
 public:
  /// A batch of the replays `replays`, compared as `files` sees them.
  Batch(FileSystem& files, std::vector<std::filesystem::path> replays);
  /// Raises ReplayError naming `replay` when one of the outputs `outputs` would be another
  /// replay of the batch.
  void Check(const std::filesystem::path& replay, const std::vector<std::filesystem::path>& outputs) const;
  /// Whether an earlier replay of the batch wrote the file `output`.
  bool Wrote(const std::filesystem::path& output) const;
  /// Raises ReplayError naming `replay` when an earlier replay of the batch wrote `output`.
  void CheckWritten(const std::filesystem::path& replay, const std::filesystem::path& output) const;
  /// Records the outputs `outputs` as written by `replay`.
  void Add(const std::filesystem::path& replay, const std::vector<std::filesystem::path>& outputs);

 private:
  struct Written {
    std::filesystem::path path;
    std::filesystem::path replay;
  };
  FileSystem& files_;
  std::vector<std::filesystem::path> replays_;
  std::vector<Written> written_;
};

}  // namespace vehisect
