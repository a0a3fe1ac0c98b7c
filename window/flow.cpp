#include "window/flow.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <future>
#include <memory>
#include <utility>

#include "replay/base/case_fold.h"
#include "replay/base/encoding.h"
#include "replay/base/error.h"
#include "replay/base/paths.h"
#include "replay/run/race_picture.h"
#include "window/sentences.h"
#include "window/texts.h"

namespace vehisect {

BarSteps ProgressSteps(double value, double maximum) {
  // Compared and scaled in double: a float beyond INT_MAX must never be cast to int.
  constexpr double kLargest = INT_MAX;
  if (!(maximum >= 1)) return {1, 0};
  const double shown = maximum > kLargest ? value / maximum * kLargest : value;
  const double bar = maximum > kLargest ? kLargest : maximum;
  const double clamped = shown > bar ? bar : shown > 0 ? shown : 0;
  return {static_cast<int>(bar), static_cast<int>(clamped)};
}

// The progress of a run, called on the run's thread, goes to the window's thread, as often as
// the batch lets it: about 30 times a second at most, so that the window's queue stays short.
class WindowFlow::Progress : public ProgressSink {
 public:
  explicit Progress(FlowWindow& window) : window_(window) {}

  void SetProgressMax(float maximum) override {
    maximum_ = maximum;
    window_.Post([&window = window_, steps = ProgressSteps(0, maximum)] { window.SetProgressMax(steps.maximum); });
  }
  void SetProgressValue(float value) override {
    window_.Post([&window = window_, steps = ProgressSteps(value, maximum_)] { window.SetProgressValue(steps.value); });
  }

 private:
  FlowWindow& window_;
  float maximum_ = 0;
};

WindowFlow::~WindowFlow() {
  stop_.Request();
  if (worker_.joinable()) worker_.join();
}

std::filesystem::path WindowFlow::StartFolder() const {
  // Where the player last opened a replay, or dropped one, or started with one, while it is
  // there: the next replay of a session of races is most often beside the last.
  if (!lastFolder_.empty() && std::filesystem::is_directory(files_.Status(lastFolder_))) return lastFolder_;
  const std::filesystem::path own = window_.ProgramFolder();
  std::vector<FolderEntry> entries;
  files_.List(own, entries);
  for (const FolderEntry& entry : entries) {
    if (FoldUtf8(PathToUtf8(entry.name.extension())) == ".rpl" && CanWriteIn(files_, own)) return own;
  }
  // Passed every time, Documents is where Windows starts the first time, and then the folder
  // last used; Wine, given none, would start in the program's own folder. Where there is no
  // Documents, the folder that would hold it (home): a dialog given a folder that is not there
  // starts above it with its name typed in.
  const std::filesystem::path documents = window_.DocumentsFolder();
  if (!std::filesystem::is_directory(files_.Status(documents))) return documents.parent_path();
  return documents;
}

void WindowFlow::Open() {
  if (running_) return;
  const std::vector<std::filesystem::path> chosen = window_.ChooseReplays(StartFolder());
  if (!chosen.empty()) SplitReplays(chosen);
}

void WindowFlow::SplitReplays(const std::vector<std::filesystem::path>& replays) {
  if (running_ || replays.empty()) return;
  lastFolder_ = FolderOf(files_.Absolute(replays.back()).parent_path());
  // The thread of the last run has posted its end, its last act.
  if (worker_.joinable()) worker_.join();
  const bool useRecordPtr = window_.UseRecordPtr();
  const bool chooseVehicles = window_.ChoosesVehicles();
  window_.SetCaption(texts::kWorking);
  window_.SetBusy(true);
  running_ = true;
  closeWhenDone_ = false;
  stop_.Reset();
  worker_ = std::thread([this, replays, useRecordPtr, chooseVehicles] { Work(replays, useRecordPtr, chooseVehicles); });
}

void WindowFlow::Work(const std::vector<std::filesystem::path>& replays, bool useRecordPtr, bool chooseVehicles) {
  BatchOptions batch;
  batch.split.useRecordPtr = useRecordPtr;
  batch.cancel = &stop_;
  batch.otherRace = [this](const OtherRaceQuestion& question) { return AskOtherRace(question); };
  batch.waiting = [this](const std::filesystem::path& folder) { OnWaiting(folder); };
  batch.starting = [this](const std::filesystem::path& replay) { current_ = replay; };
  batch.finished = [this](const ReplayOutcome& outcome) { OnFinished(outcome); };
  batch.folderFor = [this](const std::filesystem::path& replay) { return OutputFolder(replay); };
  if (chooseVehicles) {
    batch.chooseVehicles = [this](const std::filesystem::path& replay, const ReplayListing& listing) {
      return ChooseVehicles(replay, listing);
    };
  }
  Progress progress(window_);
  const std::vector<ReplayOutcome> outcomes = SplitBatch(files_, replays, batch, progress);
  window_.Post([this, tally = TallyOf(outcomes), count = replays.size()] { Finish(tally, count); });
}

OtherRace WindowFlow::AskOtherRace(const OtherRaceQuestion& question) {
  const std::string text = OtherRaceText(current_, question.files);
  return OnWindowThread<OtherRace>(
      [this, text, canReplace = question.canReplace] { return window_.AskOtherRace(text, canReplace); },
      OtherRace::kStop);
}

VehicleChoice WindowFlow::ChoiceWithPicture(const std::filesystem::path& replay, const ReplayListing& listing) {
  VehicleChoice choice = ChoiceOf(replay, listing);
  choice.savePicture = [this, listing, replay](const std::filesystem::path& file, const std::vector<std::size_t>& drawn) {
    try {
      SaveRacePicture(files_, listing, drawn, replay, file);
      return std::string();
    } catch (const ReplayError& e) {
      return std::string(e.what());
    }
  };
  return choice;
}

std::optional<std::vector<int>> WindowFlow::ChooseVehicles(const std::filesystem::path& replay,
                                                           const ReplayListing& listing) {
  using Rows = std::optional<std::vector<std::size_t>>;
  const Rows rows = OnWindowThread<Rows>(
      [this, choice = ChoiceWithPicture(replay, listing)] { return window_.ChooseVehicles(choice); }, std::nullopt);
  if (!rows) return std::nullopt;
  std::vector<int> positions;
  for (const std::size_t k : *rows) positions.push_back(listing.vehicles.at(k).position);
  return positions;
}

void WindowFlow::OnWaiting(const std::filesystem::path& folder) {
  waited_ = true;
  const std::filesystem::path absolute = files_.Absolute(folder);
  window_.Post([this, title = WaitingTitle(absolute), shown = PathToUtf8(absolute)] {
    window_.SetTitle(title);
    window_.ShowWaiting(shown);
  });
}

void WindowFlow::OnFinished(const ReplayOutcome& outcome) {
  if (std::exchange(waited_, false)) {
    window_.Post([this] {
      window_.SetTitle(texts::kTitle);
      window_.ShowWaiting({});
    });
  }
  const bool failed = outcome.kind == ReplayOutcome::Kind::kFailed || outcome.kind == ReplayOutcome::Kind::kNotRestored ||
                      outcome.kind == ReplayOutcome::Kind::kRefused;
  if (failed) window_.Post([this] { window_.MarkFailure(); });
}

template <typename Result>
Result WindowFlow::OnWindowThread(std::function<Result()> ask, Result ifStopped) {
  auto answer = std::make_shared<std::promise<Result>>();
  std::future<Result> future = answer->get_future();
  window_.Post([ask = std::move(ask), answer] { answer->set_value(ask()); });
  // A window closed meanwhile never answers.
  while (future.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
    if (stop_.requested()) return ifStopped;
  }
  return future.get();
}

std::filesystem::path WindowFlow::OutputFolder(const std::filesystem::path& replay) {
  const std::filesystem::path folder = replay.parent_path();
  if (CanWriteIn(files_, FolderOf(folder))) return folder;
  // A replay on a read-only disk or in another user's folder: ask where the outputs may go.
  // Cancelled, the split runs where it was to and fails with the reason.
  using Chosen = std::optional<std::filesystem::path>;
  const Chosen chosen = OnWindowThread<Chosen>(
      [this, replay] { return window_.ChooseFolder(replay, window_.DocumentsFolder()); }, std::nullopt);
  return chosen ? *chosen : folder;
}

WindowFlow::Tally WindowFlow::TallyOf(const std::vector<ReplayOutcome>& outcomes) {
  Tally tally;
  for (const ReplayOutcome& outcome : outcomes) {
    tally.warnings.insert(tally.warnings.end(), outcome.warnings.begin(), outcome.warnings.end());
    switch (outcome.kind) {
      case ReplayOutcome::Kind::kSplit: tally.split.push_back(outcome.replay); break;
      case ReplayOutcome::Kind::kDeclined: tally.declined.push_back(outcome.replay); break;
      case ReplayOutcome::Kind::kStopped: break;
      case ReplayOutcome::Kind::kRefused: tally.refused = true; [[fallthrough]];
      case ReplayOutcome::Kind::kFailed:
      case ReplayOutcome::Kind::kNotRestored:
        tally.failures.push_back({outcome.replay, outcome.message, outcome.kind == ReplayOutcome::Kind::kNotRestored});
        break;
    }
  }
  return tally;
}

void WindowFlow::Finish(const Tally& tally, std::size_t replays) {
  running_ = false;
  window_.SetBusy(false);
  if (closeWhenDone_) return window_.CloseWindow();
  const bool stopped = stop_.requested();
  if (!stopped && replays == 1 && tally.refused) {
    // Alone, a one-vehicle replay ends the program as it always has.
    window_.ShowMessage(std::string(kRefusal), std::string(kRefusalTitle));
    return window_.CloseWindow();
  }
  window_.SetProgressValue(0);
  window_.SetCaption(texts::WithoutKey(texts::kOpenKey));
  if (stopped) {
    // Stopped by the player: no word about the replay stopped, one about those split before.
    if (!tally.split.empty()) window_.ShowMessage(StoppedText(tally.split), texts::kTitle);
    if (!tally.failures.empty()) ReportFailures(tally, replays);
    return;
  }
  if (tally.failures.empty() && tally.declined.empty()) {
    if (!tally.warnings.empty()) window_.ShowWarning(texts::kNotCleanedUp, FailureDetails(tally.warnings));
    window_.ShowMessage(texts::kFinished, texts::kTitle);
    return window_.CloseWindow();
  }
  // A replay left as it was at the player's answer needs no word of its own, but those split
  // before or after it do; the window is ready again.
  if (!tally.failures.empty() || !tally.warnings.empty()) {
    ReportFailures(tally, replays);
  } else if (!tally.split.empty()) {
    window_.ShowMessage(SplitAndLeftText(tally.split, tally.declined), texts::kTitle);
  }
}

void WindowFlow::ReportFailures(const Tally& tally, std::size_t replays) {
  const std::vector<Failure>& failures = tally.failures;
  if (failures.empty()) return window_.ShowWarning(texts::kNotCleanedUp, FailureDetails(tally.warnings));
  FailureCount count{replays, failures.size(), tally.split.size(), false, failures[0].replay};
  std::vector<std::string> messages;
  for (const Failure& failure : failures) {
    count.changed = count.changed || failure.changed;
    messages.push_back(failure.message);
  }
  messages.insert(messages.end(), tally.warnings.begin(), tally.warnings.end());
  // Replays of one folder: the folder named once, each file by its name, so that a long folder
  // does not make the box taller than the screen.
  const std::filesystem::path folder = failures.front().replay.parent_path();
  const bool oneFolder = failures.size() > 1 && !folder.empty() &&
                         std::all_of(failures.begin(), failures.end(), [&](const Failure& f) { return f.replay.parent_path() == folder; });
  window_.ShowWarning(FailureHeading(count), FailureDetails(messages, oneFolder ? folder : std::filesystem::path()));
}

void WindowFlow::Stop() {
  if (running_) stop_.Request();
}

bool WindowFlow::RequestClose() {
  if (!running_) return true;
  closeWhenDone_ = true;
  stop_.Request();
  return false;
}

}  // namespace vehisect
