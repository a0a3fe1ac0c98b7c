#pragma once

#include <chrono>
#include <filesystem>
#include <istream>
#include <ostream>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "replay/commit/batch.h"
#include "replay/base/cancel.h"
#include "replay/base/file_system.h"
#include "replay/base/other_race.h"
#include "replay/commit/run_files.h"

namespace vehisect {

class FolderLock;

/// An output in place: the name it was given (Windows-1252 bytes) and its path.
struct PlacedOutput {
  std::string name;
  std::filesystem::path path;
};

/// Where the outputs of a run go. Outputs become visible all together on Commit, or not at all.
class OutputStore {
 public:
  virtual ~OutputStore() = default;
  /// Opens a new output that will be called `name` (Windows-1252 bytes); raises ReplayError
  /// when that name cannot be given.
  virtual std::ostream& Open(const std::string& name) = 0;
  /// The path that `name`'s output is to take.
  virtual std::filesystem::path PathOf(const std::string& name) const = 0;
  /// Closes every output and makes them all visible; returns the names and paths they were
  /// given, in the order opened; raises ReplayError on any failure.
  virtual std::vector<PlacedOutput> Commit() = 0;
  /// Drops every output not yet committed; what it cannot remove goes to the warnings.
  virtual void Discard() noexcept = 0;
  /// What went wrong that the run does not fail for: after the outputs were in place, or
  /// while the files of a failed run were dropped.
  const std::vector<std::string>& warnings() const { return warnings_; }

 protected:
  std::vector<std::string> warnings_;
};

/// Raises ReplayError when no output may be written at `output`: it is the replay `input`
/// itself (by name too when `sameFolder` says both are in one folder), or something other
/// than a file stands there.
void CheckOutputName(FileSystem& files, const std::filesystem::path& output, const std::filesystem::path& input,
                     bool sameFolder = false);

/// Called with a note for the user while a commit goes on: what it waits for, what it cleaned.
using Notice = std::function<void(const std::string&)>;

/// How long a commit waits for another run's commit into the same folder.
constexpr std::chrono::milliseconds kFolderWait{15000};

/// How a FileOutputStore commits, beyond where.
struct CommitOptions {
  const CancelToken* cancel = nullptr;  ///< a stop, honoured while the commit waits for the folder
  Notice notice;                        ///< hears which leftovers the commit removes or leaves
  /// Told once, with the folder, when the commit must wait for another run's lock on it.
  std::function<void(const std::filesystem::path& folder)> waiting;
  OtherRaceChoice otherRace;            ///< asked about files of another race; none: kStop
  Batch* batch = nullptr;               ///< the run's replays and earlier outputs, never replaced
  /// Whether the existing file read from `existing` holds the race of the new output read from
  /// `fresh`, and may be replaced without leave; none: no file may.
  std::function<bool(std::istream& existing, std::istream& fresh)> sameRace;
};

/// Outputs as files in a folder, written to temporary files there and put in place on Commit,
/// one commit at a time per folder: all of them, or, when any step fails, none, with every
/// existing file as it was. Every name holds its whole old or whole new file at every instant.
/// An existing file of the same race is replaced; one of another race as the options say.
class FileOutputStore : public OutputStore {
 public:
  /// Writes into `folder` through `files`, refusing any name that would replace the file `input`.
  FileOutputStore(FileSystem& files, std::filesystem::path folder, std::filesystem::path input,
                  CommitOptions options = {});
  ~FileOutputStore() override;
  std::ostream& Open(const std::string& name) override;
  std::filesystem::path PathOf(const std::string& name) const override;
  std::vector<PlacedOutput> Commit() override;
  void Discard() noexcept override;

 private:
  struct Output;
  struct OtherRaces;
  OtherRaces FindOtherRaces() const;
  static bool Covered(const OtherRaces& others, const std::set<std::filesystem::path>& asked);
  void Settle(const OtherRaces& others, OtherRace choice);
  std::vector<PlacedOutput> SettleAndPlace(FolderLock& lock, const OtherRaces& others, OtherRace answer);
  std::vector<FolderEntry> ListFolder();
  bool Exists(const std::filesystem::path& path) const;
  bool HoldsSameRace(const std::filesystem::path& existing, const std::filesystem::path& fresh) const;
  bool Redundant(const std::filesystem::path& old, const RunFileName& run) const;
  void CleanLeftovers(const std::optional<RunId>& stopped);
  void Renumber(Output& output);
  std::vector<PlacedOutput> PlaceAll();
  void PlaceOne(Output& output);
  bool MoveAside(const std::filesystem::path& from, const std::filesystem::path& to) noexcept;
  std::string PutBack() noexcept;
  std::filesystem::path folder_;
  std::filesystem::path input_;
  CommitOptions options_;
  FileSystem& files_;
  RunId run_;
  std::vector<std::unique_ptr<Output>> outputs_;
};

}  // namespace vehisect
