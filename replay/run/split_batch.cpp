#include "replay/run/split_batch.h"

#include "replay/base/error.h"
#include "replay/base/paths.h"
#include "replay/base/throttle.h"
#include "replay/commit/batch.h"
#include "replay/commit/outputs.h"
#include "replay/commit/run_files.h"
#include "replay/run/splitter.h"

namespace vehisect {
namespace {

// Lets the progress of a run through to `sink` as the throttle allows.
class ThrottledProgress : public ProgressSink {
 public:
  ThrottledProgress(ProgressSink& sink, std::chrono::milliseconds every) : sink_(sink), throttle_(every) {}
  void SetProgressMax(float maximum) override {
    maximum_ = maximum;
    sink_.SetProgressMax(maximum);
  }
  void SetProgressValue(float value) override {
    if (throttle_.Due(value, maximum_)) sink_.SetProgressValue(value);
  }

 private:
  ProgressSink& sink_;
  ProgressThrottle throttle_;
  float maximum_ = 0;
};

ReplayOutcome::Kind KindOf(const ReplayError& e) {
  switch (e.kind()) {
    case ReplayError::Kind::kOtherRace: return ReplayOutcome::Kind::kDeclined;
    case ReplayError::Kind::kCancelled: return ReplayOutcome::Kind::kStopped;
    case ReplayError::Kind::kNotRestored: return ReplayOutcome::Kind::kNotRestored;
    case ReplayError::Kind::kFault:
    case ReplayError::Kind::kEndOfFile: break;
  }
  return ReplayOutcome::Kind::kFailed;
}

ReplayOutcome SplitOne(FileSystem& files, const std::filesystem::path& replay, const BatchOptions& options,
                       const CommitOptions& commit, ProgressSink& progress) {
  SplitOptions split = options.split;
  ReplayOutcome outcome;
  outcome.replay = replay;
  try {
    const std::filesystem::path folder = options.folderFor ? options.folderFor(replay) : replay.parent_path();
    if (options.chooseVehicles) {
      const ReplayListing listing = ListReplay(files, replay, folder, &progress, options.cancel);
      // One vehicle is refused by the split, as without a choice.
      if (listing.vehicles.size() > 1) {
        const std::optional<std::vector<int>> chosen = options.chooseVehicles(replay, listing);
        if (!chosen || chosen->empty()) {
          outcome.kind = ReplayOutcome::Kind::kDeclined;
          return outcome;
        }
        split.vehicles.clear();
        for (const int position : *chosen) split.vehicles.push_back(std::to_string(position));
      }
    }
    SplitResult result = SplitReplay(files, replay, split, progress, folder, commit);
    outcome.files = std::move(result.files);
    outcome.warnings = std::move(result.warnings);
    if (result.refused) {
      outcome.kind = ReplayOutcome::Kind::kRefused;
      outcome.message = PathToUtf8(replay).append(": ").append(RefusalOnOneLine());
    }
  } catch (const ReplayError& e) {
    outcome.kind = KindOf(e);
    outcome.message = e.what();
  } catch (const std::exception& e) {
    // A replay error names the file and line; anything else (memory, threads) is rare, and
    // ends this replay only.
    outcome.kind = ReplayOutcome::Kind::kFailed;
    outcome.message = e.what();
  }
  return outcome;
}

}  // namespace

bool CanWriteIn(FileSystem& files, const std::filesystem::path& folder) {
  const std::filesystem::path probe = RunFilePath(folder, "vehisect-probe", {NewRun(), 0, "new"});
  const bool created = static_cast<bool>(*files.Create(probe));
  if (created) files.Remove(probe);
  return created;
}

std::vector<ReplayOutcome> SplitBatch(FileSystem& files, const std::vector<std::filesystem::path>& replays,
                                      const BatchOptions& options, ProgressSink& progress) {
  Batch batch(files, replays);
  CommitOptions commit;
  commit.batch = &batch;
  commit.cancel = options.cancel;
  commit.otherRace = options.otherRace;
  commit.waiting = options.waiting;
  commit.notice = options.notice;
  std::vector<ReplayOutcome> outcomes;
  for (const std::filesystem::path& replay : replays) {
    if (options.cancel != nullptr && options.cancel->requested()) break;
    if (options.starting) options.starting(replay);
    ThrottledProgress throttled(progress, options.progressEvery);
    outcomes.push_back(SplitOne(files, replay, options, commit, throttled));
    if (options.finished) options.finished(outcomes.back());
    if (outcomes.back().kind == ReplayOutcome::Kind::kStopped) break;
  }
  return outcomes;
}

}  // namespace vehisect
