#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "replay/base/cancel.h"
#include "replay/base/file_system.h"
#include "replay/run/progress_sink.h"
#include "replay/run/split_batch.h"
#include "window/sentences.h"

namespace vehisect {

/// What a window shows of a run: the progress in whole steps, the caption, the title, the
/// taskbar's mark and the window's close; and the thread its calls come in on. Texts are UTF-8.
class RunDisplay {
 public:
  virtual ~RunDisplay() = default;
  /// Sets the bar's range to 0 to `maximum` and its value to 0.
  virtual void SetProgressMax(int maximum) = 0;
  /// Sets the bar's value, from 0 to its maximum.
  virtual void SetProgressValue(int value) = 0;
  /// Sets the caption of the "Open" button.
  virtual void SetCaption(const std::string& caption) = 0;
  /// Sets the window's title.
  virtual void SetTitle(const std::string& title) = 0;
  /// Shows, where the bar is, that the run waits for another one writing to the folder
  /// `folder` (shown in a tooltip); with `folder` empty, the bar again.
  virtual void ShowWaiting(const std::string& folder) = 0;
  /// Disables "Open" and the check boxes during a run (`busy`), and enables them after it.
  virtual void SetBusy(bool busy) = 0;
  /// Shows that a replay of the run failed where the system shows a window's progress outside
  /// it (the taskbar button), until the run ends.
  virtual void MarkFailure() = 0;
  /// Closes the window, which ends the program.
  virtual void CloseWindow() = 0;
  /// Runs `task` on the window's thread, after what is waiting there; called from the thread
  /// that runs the splits. A task posted to a window that is gone is dropped.
  virtual void Post(std::function<void()> task) = 0;
};

/// The modal boxes and dialogs of a window, each returning when it is dismissed. Texts are UTF-8.
class FlowDialogs {
 public:
  virtual ~FlowDialogs() = default;
  /// Shows a modal message with an information icon and OK.
  virtual void ShowMessage(const std::string& text, const std::string& title) = 0;
  /// Shows a modal warning titled "Vehisect": `text`, then `details` below it.
  virtual void ShowWarning(const std::string& text, const std::string& details) = 0;
  /// Asks the modal question `text`, titled "Vehisect", with the buttons "Replace" (only when
  /// `canReplace`), "Keep both" (the default) and "Cancel" (also Escape and the close box).
  virtual OtherRace AskOtherRace(const std::string& text, bool canReplace) = 0;
  /// The replays the user picks in the open-file dialog, starting in `folder`; none when the
  /// dialog is cancelled.
  virtual std::vector<std::filesystem::path> ChooseReplays(const std::filesystem::path& folder) = 0;
  /// A folder the user picks for the outputs of `replay`, whose own folder cannot be written,
  /// starting in `folder`; nothing when the dialog is cancelled.
  virtual std::optional<std::filesystem::path> ChooseFolder(const std::filesystem::path& replay,
                                                            const std::filesystem::path& folder) = 0;
  /// Shows the modal "Choose vehicles" dialog, titled "Vehisect", of `choice`, every row ticked:
  /// the rows ticked when "Split" is pressed, from 0; none for "Cancel", Escape or the close box.
  virtual std::optional<std::vector<std::size_t>> ChooseVehicles(const VehicleChoice& choice) = 0;
};

/// What the player set in a window, and the folders its dialogs start from.
class FlowSettings {
 public:
  virtual ~FlowSettings() = default;
  /// Whether "Use demoRecordPtr" is ticked.
  virtual bool UseRecordPtr() const = 0;
  /// Whether "Choose vehicles" is ticked.
  virtual bool ChoosesVehicles() const = 0;
  /// The folder of the program itself.
  virtual std::filesystem::path ProgramFolder() const = 0;
  /// The user's Documents folder.
  virtual std::filesystem::path DocumentsFolder() const = 0;
};

/// A window of Vehisect as the flow it shares with the other windows sees it, all called on
/// the window's thread but Post.
class FlowWindow : public RunDisplay, public FlowDialogs, public FlowSettings {};

/// Declares, in the public part of a window's class, every operation of FlowWindow it
/// implements: all of them, as each window does.
#define VEHISECT_FLOW_WINDOW_OVERRIDES                                                            \
  void SetProgressMax(int maximum) override;                                                      \
  void SetProgressValue(int value) override;                                                      \
  void SetCaption(const std::string& caption) override;                                           \
  void SetTitle(const std::string& title) override;                                               \
  void ShowWaiting(const std::string& folder) override;                                           \
  void SetBusy(bool busy) override;                                                               \
  void MarkFailure() override;                                                                    \
  void CloseWindow() override;                                                                    \
  void Post(std::function<void()> task) override;                                                 \
  void ShowMessage(const std::string& text, const std::string& title) override;                   \
  void ShowWarning(const std::string& text, const std::string& details) override;                 \
  vehisect::OtherRace AskOtherRace(const std::string& text, bool canReplace) override;            \
  std::vector<std::filesystem::path> ChooseReplays(const std::filesystem::path& folder) override; \
  std::optional<std::filesystem::path> ChooseFolder(const std::filesystem::path& replay,          \
                                                    const std::filesystem::path& folder) override; \
  std::optional<std::vector<std::size_t>> ChooseVehicles(const vehisect::VehicleChoice& choice)   \
      override;                                                                                   \
  bool UseRecordPtr() const override;                                                             \
  bool ChoosesVehicles() const override;                                                          \
  std::filesystem::path ProgramFolder() const override;                                           \
  std::filesystem::path DocumentsFolder() const override;

/// The position of a progress bar that counts in int for `value` of `maximum`, and its
/// maximum: the record count where it fits, else in proportion. Safe for any float.
struct BarSteps {
  int maximum = 1;
  int value = 0;
};
BarSteps ProgressSteps(double value, double maximum);

/// What the windows do, in one place: pressing "Open", dropping replays, starting with
/// replays; running the splits on a thread of their own while the window stays responsive,
/// stopping them, and reporting their end. Every member is called on the window's thread.
class WindowFlow {
 public:
  /// Drives `window`, reading and writing through `files`; both must outlive the flow.
  WindowFlow(FlowWindow& window, FileSystem& files) : window_(window), files_(files) {}
  /// Stops a run, and waits for its thread.
  ~WindowFlow();
  WindowFlow(const WindowFlow&) = delete;
  WindowFlow& operator=(const WindowFlow&) = delete;

  /// The click on "Open": the open-file dialog, then a split of every replay chosen.
  void Open();
  /// Splits each of `replays` into its own folder, as chosen in the dialog: for a drop, and
  /// for the replays the program was started with. Does nothing during a run.
  void SplitReplays(const std::vector<std::filesystem::path>& replays);
  /// Whether a run is on.
  bool running() const { return running_; }
  /// Escape: stops the run; the replay being split changes nothing, those split stay split,
  /// and the window stays, ready.
  void Stop();
  /// A request to close the window: true when it may close now; during a run the run is
  /// stopped, and the window closed, without a box, once it has.
  bool RequestClose();
  /// The folder the open-file dialog starts in: the folder of the replays last opened,
  /// dropped or started with; else the program's own where it holds replays and can be
  /// written, as players keep a copy beside the game's replays; else Documents; else home.
  std::filesystem::path StartFolder() const;

 private:
  class Progress;
  struct Failure {
    std::filesystem::path replay;
    std::string message;
    bool changed = false;  // some files could not be put back as they were
  };
  // How the replays of one run went.
  struct Tally {
    std::vector<Failure> failures;
    std::vector<std::filesystem::path> split;
    bool refused = false;       // a one-vehicle replay
    std::vector<std::filesystem::path> declined;  // left as they were at the user's answer
    std::vector<std::string> warnings;
  };
  void Work(const std::vector<std::filesystem::path>& replays, bool useRecordPtr, bool chooseVehicles);
  // Called on the run's thread, by the batch.
  OtherRace AskOtherRace(const OtherRaceQuestion& question);
  std::optional<std::vector<int>> ChooseVehicles(const std::filesystem::path& replay, const ReplayListing& listing);
  VehicleChoice ChoiceWithPicture(const std::filesystem::path& replay, const ReplayListing& listing);
  void OnWaiting(const std::filesystem::path& folder);
  void OnFinished(const ReplayOutcome& outcome);
  std::filesystem::path OutputFolder(const std::filesystem::path& replay);
  static Tally TallyOf(const std::vector<ReplayOutcome>& outcomes);
  void Finish(const Tally& tally, std::size_t replays);
  void ReportFailures(const Tally& tally, std::size_t replays);
  template <typename Result>
  Result OnWindowThread(std::function<Result()> ask, Result ifStopped);

  FlowWindow& window_;
  FileSystem& files_;
  bool running_ = false;
  std::filesystem::path lastFolder_;  // of the replays last split, for the next Open
  bool closeWhenDone_ = false;
  CancelToken stop_;  // asked for by Escape and by a close; a new one for each run
  std::thread worker_;
  // The run's thread's own: the replay being split, which a question names, and whether the
  // title says that the run waits.
  std::filesystem::path current_;
  bool waited_ = false;
};

}  // namespace vehisect
