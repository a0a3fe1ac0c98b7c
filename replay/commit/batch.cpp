#include "replay/commit/batch.h"

#include <algorithm>

#include "replay/base/error.h"
#include "replay/base/file_system.h"
#include "replay/base/paths.h"

namespace vehisect {

Batch::Batch(FileSystem& files, std::vector<std::filesystem::path> replays)
    : files_(files), replays_(std::move(replays)) {}

void Batch::Check(const std::filesystem::path& replay, const std::vector<std::filesystem::path>& outputs) const {
  // The replay being split guards itself, with a message of its own.
  std::vector<std::filesystem::path> others;
  for (const std::filesystem::path& other : replays_) {
    if (!SameFile(files_, other, replay)) others.push_back(other);
  }
  for (const std::filesystem::path& path : outputs) {
    for (const std::filesystem::path& other : others) {
      if (SameFile(files_, path, other)) {
        throw ReplayError(PathToUtf8(replay), 0, "outputs that replace no replay of this run",
                          PathToUtf8(path) + ", which this run splits too; split it into another folder");
      }
    }
  }
}

bool Batch::Wrote(const std::filesystem::path& output) const {
  return std::any_of(written_.begin(), written_.end(), [&](const Written& w) { return SameFile(files_, output, w.path); });
}

void Batch::CheckWritten(const std::filesystem::path& replay, const std::filesystem::path& output) const {
  for (const Written& w : written_) {
    if (SameFile(files_, output, w.path)) {
      throw ReplayError(PathToUtf8(replay), 0, "outputs of its own",
                        PathToUtf8(w.path) + " already written from " + PathToUtf8(w.replay) +
                            " in this run; split it into another folder",
                        ReplayError::Kind::kOtherRace);
    }
  }
}

void Batch::Add(const std::filesystem::path& replay, const std::vector<std::filesystem::path>& outputs) {
  for (const std::filesystem::path& path : outputs) written_.push_back({path, replay});
}

}  // namespace vehisect
