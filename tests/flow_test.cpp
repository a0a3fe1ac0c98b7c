// The flow both windows share, driven through a fake window: batches, their summary, the
// refusal, the folder asked for when a replay's own cannot be written, and the close.

#include <gtest/gtest.h>

#include <climits>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <cstdlib>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "replay/base/paths.h"
#include "replay/base/system_files.h"
#include "replay/commit/folder_lock.h"
#include "replay/run/splitter.h"
#include "memory_files.h"
#include "replay_builder.h"
#include "temp_folder.h"
#ifndef _WIN32
#include "tmpfs.h"
#endif
#include "window/flow.h"

namespace vehisect {
namespace {

using testing::ReplayBuilder;
using testing::Shared;
using testing::MemoryFiles;
using testing::MemoryFolder;
using testing::TempFolder;
using testing::Moving;
using testing::Vehicle;
using Names = std::set<std::string>;

class FakeForm : public FlowWindow {
 public:
  // What the run's thread posts runs on the test's thread, in Drain, in lock step: the run
  // waits until its task has run, so that a test can stop it at a known point.
  void Post(std::function<void()> task) override {
    std::unique_lock lock(mutex_);
    tasks_.push_back(std::move(task));
    const std::uint64_t ticket = ++posted_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return done_ >= ticket; });
  }
  /// Runs what the run posts until it has ended.
  void Drain(const WindowFlow& flow) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (flow.running() && std::chrono::steady_clock::now() < deadline) {
      std::function<void()> task;
      {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::milliseconds(10), [&] { return !tasks_.empty(); })) continue;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
      const std::lock_guard lock(mutex_);
      ++done_;
      changed_.notify_all();
    }
  }
  void SetBusy(bool b) override { busy = b; }
  bool busy = false;
  std::vector<std::string> calls;
  std::vector<std::filesystem::path> chosen;
  std::optional<std::filesystem::path> folder;
  std::filesystem::path program = std::filesystem::temp_directory_path();
  std::filesystem::path documents = std::filesystem::temp_directory_path() / "Documents";
  bool useRecordPtr = false;
  float value = 0;

  void SetProgressMax(int maximum) override { calls.push_back("max " + std::to_string(maximum)); }
  void SetProgressValue(int v) override { value = static_cast<float>(v); }
  void SetCaption(const std::string& caption) override { calls.push_back("caption " + caption); }
  void ShowMessage(const std::string& text, const std::string& title) override {
    calls.push_back("message " + title + ": " + text);
  }
  void CloseWindow() override { calls.push_back("close"); }
  std::vector<std::filesystem::path> ChooseReplays(const std::filesystem::path& start) override {
    calls.push_back("choose replays in " + PathToUtf8(start));
    return chosen;
  }
  std::optional<std::filesystem::path> ChooseFolder(const std::filesystem::path& replay,
                                                    const std::filesystem::path& start) override {
    calls.push_back("choose a folder for " + PathToUtf8(replay.filename()) + " in " + PathToUtf8(start));
    return folder;
  }
  void ShowWarning(const std::string& text, const std::string& details) override {
    calls.push_back("warning " + text + "\n" + details);
  }
  OtherRace AskOtherRace(const std::string& text, bool canReplace) override {
    calls.push_back("ask " + text + (canReplace ? "" : " (no Replace)"));
    return answer;
  }
  OtherRace answer = OtherRace::kStop;
  bool UseRecordPtr() const override { return useRecordPtr; }
  bool ChoosesVehicles() const override { return chooseVehicles; }
  std::optional<std::vector<std::size_t>> ChooseVehicles(const VehicleChoice& choice) override {
    choices.push_back(choice);
    if (ticks.empty()) return std::nullopt;
    auto rows = ticks.front();
    ticks.pop_front();
    return rows;
  }
  void SetTitle(const std::string& title) override { titles.push_back(title); }
  void ShowWaiting(const std::string& folder) override { titles.push_back("waiting: " + folder); }
  void MarkFailure() override { ++failures; }
  bool chooseVehicles = false;
  std::vector<VehicleChoice> choices;
  std::deque<std::optional<std::vector<std::size_t>>> ticks;  // the answers, in turn; then Cancel
  std::vector<std::string> titles;
  int failures = 0;
  std::filesystem::path ProgramFolder() const override { return program; }
  std::filesystem::path DocumentsFolder() const override { return documents; }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> tasks_;
  std::uint64_t posted_ = 0, done_ = 0;
};

class FlowTest : public ::testing::Test {
 protected:
  MemoryFiles files;
  MemoryFolder folder{files, "/races"};
  ReplayBuilder replay;
  FakeForm form;
  WindowFlow flow{form, files};

  FlowTest() { replay.records = {Shared("s1"), Vehicle("v0", "0"), Vehicle("v1", "1")}; }

  std::string Shown(const std::string& name) const { return PathToUtf8(folder.path() / name); }
  // Lets the run go to its end.
  void Wait() { form.Drain(flow); }
};

TEST(ProgressStepsTest, FitsAnyRecordCountIntoTheBar) {
  EXPECT_EQ(ProgressSteps(3, 4).maximum, 4);
  EXPECT_EQ(ProgressSteps(3, 4).value, 3);
  // Near and beyond 2^31 records the bar counts in proportion, and never overflows.
  EXPECT_EQ(ProgressSteps(2147483648.0f, 2147483648.0f).maximum, INT_MAX);
  EXPECT_EQ(ProgressSteps(2147483648.0f, 2147483648.0f).value, INT_MAX);
  EXPECT_EQ(ProgressSteps(1e30f, 2e30f).value, INT_MAX / 2);
  EXPECT_EQ(ProgressSteps(5, 4).value, 4);
  EXPECT_EQ(ProgressSteps(0, 0).maximum, 1);
  EXPECT_EQ(ProgressSteps(-1, 4).value, 0);
}

// The question names the replay it is about, and the first file, shortened in the middle.
TEST(OtherRaceTextTest, NamesTheReplayAndTheFirstFile) {
  EXPECT_EQ(OtherRaceText("/q/race2.rpl", {"/r/VH_CANYON_Ann.rpl", "/r/b.rpl", "/r/c.rpl"}),
            "race2.rpl: VH_CANYON_Ann.rpl and 2 more already hold another race.");
  const std::string name = "VH_CANYON_" + std::string(100, 'x') + "_Ann.rpl";
  EXPECT_EQ(OtherRaceText("r.rpl", {"/r/" + name}), "r.rpl: VH_CANYON_" + std::string(19, 'x') + "\u2026" +
                                                        std::string(21, 'x') + "_Ann.rpl already holds another race.");
}

TEST(WrapLongWordsTest, BreaksOnlyRunsTooLongForABox) {
  EXPECT_EQ(WrapLongWords("a short text: it stays", 10), "a short text: it stays");
  EXPECT_EQ(WrapLongWords("/home/player/replays/race.rpl:5: bad", 12), "/home/player/\nreplays/\nrace.rpl:5: bad");
  EXPECT_EQ(WrapLongWords("xxxxxxxxxx", 4), "xxxx\nxxxx\nxx");
  // A character of UTF-8 counts once and is never cut.
  EXPECT_EQ(WrapLongWords("\u00e9\u00e9\u00e9\u00e9\u00e9", 2), "\u00e9\u00e9\n\u00e9\u00e9\n\u00e9");
}

TEST_F(FlowTest, SplitsTheChosenReplayThenSaysFinishedAndCloses) {
  form.chosen = {folder.Write("race.rpl", replay.Build())};
  form.program = folder.path();  // a copy kept beside the replays
  flow.Open();
  Wait();
  EXPECT_EQ(form.calls, (std::vector<std::string>{"choose replays in " + PathToUtf8(form.program), "caption Working...",
                                                  "max 3", "caption Open", "message Vehisect: Finished", "close"}));
  EXPECT_EQ(form.value, 0);
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
}

TEST_F(FlowTest, ACancelledDialogDoesNothing) {
  flow.Open();
  Wait();
  EXPECT_EQ(form.calls.size(), 1u);
  EXPECT_TRUE(folder.Names().empty());
}

// An installed copy, or one whose folder cannot be written, starts in Documents.
TEST_F(FlowTest, StartsTheDialogInTheProgramsFolderOnlyWhereItHoldsReplays) {
  folder.Write("program/vehisect.exe", "");
  form.documents = folder.path() / "Documents";
  files.CreateFolders(form.documents);
  for (const char* program : {"program", "missing"}) {
    form.program = folder.path() / program;
    flow.Open();
    Wait();
  }
  const std::string documents = "choose replays in " + PathToUtf8(form.documents);
  EXPECT_EQ(form.calls, (std::vector<std::string>{documents, documents}));
  // No Documents: the home folder that would hold it, never a name typed in.
  files.folders.erase(form.documents);
  flow.Open();
  Wait();
  EXPECT_EQ(form.calls.back(), "choose replays in " + PathToUtf8(folder.path()));
  // Then where the last replays were: here, those the window was started with.
  flow.SplitReplays({folder.Write("races/race.rpl", replay.Build())});
  Wait();
  form.calls.clear();
  flow.Open();
  Wait();
  EXPECT_EQ(form.calls.front(), "choose replays in " + PathToUtf8(folder.path() / "races"));
}

TEST_F(FlowTest, RefusesAOneVehicleReplayAloneAndCloses) {
  replay.vehicles.resize(1);
  flow.SplitReplays({folder.Write("one.rpl", replay.Build())});
  Wait();
  EXPECT_EQ(form.calls, (std::vector<std::string>{"caption Working...", "message Aborting: Only 1 Vehical\r\nNothing to Rip", "close"}));
  EXPECT_EQ(folder.Names(), Names{"one.rpl"});
}

TEST_F(FlowTest, AFailureNamesTheReplayAndKeepsTheWindowOpen) {
  replay.recordCount = "4";
  flow.SplitReplays({folder.Write("short.rpl", replay.Build())});
  Wait();
  EXPECT_EQ(form.failures, 1);
  EXPECT_EQ(form.calls.back(), "warning Could not split short.rpl. No file was written or changed.\n" + Shown("short.rpl") +
                                   ":72: expected the \"type,time\" label line, found the end of the file, in record 4 of 4");
  EXPECT_EQ(form.calls[form.calls.size() - 2], "caption Open");
  EXPECT_EQ(form.value, 0);
  EXPECT_EQ(folder.Names(), Names{"short.rpl"});
}

TEST_F(FlowTest, SplitsABatchInTurnAndSummarisesItsFailures) {
  const auto good = folder.Write("good/race.rpl", replay.Build());
  const auto again = folder.Write("race2.rpl", replay.Build());
  folder.Write("race1.rpl", replay.Build());
  ReplayBuilder one = replay;
  one.vehicles.resize(1);
  const auto single = folder.Write("one.rpl", one.Build());
  const auto bad = folder.Write("bad.rpl", "demoLevel\r\n");
  form.chosen = {folder.path() / "race1.rpl", good, single, again, bad};
  flow.Open();
  Wait();
  // The second replay of the same race into one folder may only keep both; here the answer
  // is Cancel, which leaves it as it was without a word.
  EXPECT_NE(std::find(form.calls.begin(), form.calls.end(),
                      "ask race2.rpl: VH_CANYON_Ann.rpl and 1 more already hold another race. (no Replace)"),
            form.calls.end());
  EXPECT_EQ(form.calls.back(),
            "warning Could not split 2 of 5 replays; 2 were split, 1 left as they were. For those, no file was "
            "written or changed.\nIn " + PathToUtf8(folder.path()) + ":\n\n"
            "one.rpl: Only 1 Vehical, Nothing to Rip\n\n"
            "bad.rpl:2: expected the \"demoLevel\" value line, found the end of the file");
  EXPECT_EQ(folder.Names(), (Names{"good", "race1.rpl", "race2.rpl", "one.rpl", "bad.rpl", "VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
  EXPECT_EQ(files.Names(folder.path() / "good"), (Names{"race.rpl", "VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
  EXPECT_EQ(std::count(form.calls.begin(), form.calls.end(), "caption Working..."), 1);
  EXPECT_EQ(std::count(form.calls.begin(), form.calls.end(), "close"), 0);
}

TEST_F(FlowTest, ListsFiveFailuresThenCountsTheRest) {
  std::vector<std::filesystem::path> bad;
  for (int i = 0; i < 12; ++i) bad.push_back(folder.Write("bad" + std::to_string(i) + ".rpl", ""));
  flow.SplitReplays(bad);
  Wait();
  const std::string& summary = form.calls.back();
  EXPECT_EQ(summary.rfind("warning Could not split any of the 12 replays. No file was written or changed.\n", 0), 0u);
  EXPECT_NE(summary.find("bad4.rpl:1:"), std::string::npos);
  EXPECT_EQ(summary.find("bad5.rpl"), std::string::npos);
  EXPECT_TRUE(summary.ends_with("\n\n\u2026 and 7 more.")) << summary;
}

// Escape and the close stop a run where it is: the replay being split changes nothing, those
// split before stay split; Escape leaves the window ready, a close closes it without a box.
TEST_F(FlowTest, StopsARunAtEscapeOrAClose) {
  EXPECT_TRUE(flow.RequestClose());
  const auto first = folder.Write("a/race.rpl", replay.Build());
  const auto second = folder.Write("race.rpl", replay.Build());
  // Stopped as the progress of replay `at` (1 or 2) first shows, by Escape or by a close.
  class Stopping : public FakeForm {
   public:
    WindowFlow* flow = nullptr;
    int at = 1, seen = 0;
    bool close = false, allowed = true;
    void SetProgressMax(int maximum) override {
      FakeForm::SetProgressMax(maximum);
      if (++seen != at) return;
      if (close) {
        allowed = flow->RequestClose();
      } else {
        flow->Stop();
      }
      flow->Open();  // a second run must not start
    }
  };
  for (const int at : {1, 2}) {
    for (const bool close : {false, true}) {
      Stopping form;
      WindowFlow stopping(form, files);
      form.flow = &stopping;
      form.at = at;
      form.close = close;
      stopping.SplitReplays({first, second});
      EXPECT_TRUE(form.busy);
      form.Drain(stopping);
      EXPECT_FALSE(form.busy);
      const std::string last = form.calls.back();
      if (close) {
        EXPECT_FALSE(form.allowed);
        EXPECT_EQ(last, "close");
      } else if (at == 1) {
        EXPECT_EQ(last, "caption Open");
      } else {
        EXPECT_EQ(last, "message Vehisect: Stopped. Split before the stop: race.rpl.");
      }
      EXPECT_EQ(std::count_if(form.calls.begin(), form.calls.end(),
                              [](const std::string& call) { return call.rfind("choose", 0) == 0; }),
                0);
      EXPECT_EQ(files.Names(folder.path() / "a").size(), at == 1 ? 1u : 3u) << at << close;
      EXPECT_EQ(folder.Names(), (Names{"a", "race.rpl"})) << at << close;
      for (const std::string& name : files.Names(folder.path() / "a")) files.Remove(folder.path() / "a" / name);
      folder.Write("a/race.rpl", replay.Build());
    }
  }
}

// A stop after earlier failures, a refusal and a decline still shows the failures, and says
// which replays were split before it.
TEST_F(FlowTest, AStopKeepsWhatWentWrongBeforeIt) {
  class StoppingLast : public FakeForm {
   public:
    WindowFlow* flow = nullptr;
    void SetProgressMax(int maximum) override {
      FakeForm::SetProgressMax(maximum);
      if (ticks.empty() && ++late == 2) flow->Stop();  // as the last replay is read through
    }
    int late = 0;
  } form;
  WindowFlow stopping(form, files);
  form.flow = &stopping;
  form.chooseVehicles = true;
  form.ticks = {std::nullopt, std::vector<std::size_t>{0, 1}};
  ReplayBuilder one = replay;
  one.vehicles.resize(1);
  one.records.pop_back();
  stopping.SplitReplays({folder.Write("bad.rpl", "demoLevel\r\n"), folder.Write("one.rpl", one.Build()),
                         folder.Write("a/race.rpl", replay.Build()), folder.Write("b/race.rpl", replay.Build()),
                         folder.Write("race.rpl", replay.Build())});
  form.Drain(stopping);
  const std::vector<std::string> last(form.calls.end() - 2, form.calls.end());
  EXPECT_EQ(last, (std::vector<std::string>{
                      "message Vehisect: Stopped. Split before the stop: race.rpl.",
                      "warning Could not split 2 of 5 replays; 1 were split, 2 left as they were. For those, no file "
                      "was written or changed.\nIn " + PathToUtf8(folder.path()) + ":\n\n"
                      "bad.rpl:2: expected the \"demoLevel\" value line, found the end of the file\n\n"
                      "one.rpl: Only 1 Vehical, Nothing to Rip"}));
  EXPECT_EQ(folder.Names(), (Names{"a", "b", "bad.rpl", "one.rpl", "race.rpl"}));
  EXPECT_EQ(files.Names(folder.path() / "b").size(), 3u);
}

// With "Choose vehicles", each replay is read through and shown first; the vehicles ticked are
// written, each byte for byte as a full split writes it, and Cancel leaves a replay as it was
// while the next one goes on.
TEST_F(FlowTest, ShowsEachReplayAndSplitsTheVehiclesTicked) {
  replay.vehicles.push_back({"truck.trk", "Cy"});
  replay.records.push_back(Vehicle("v2", "2"));
  const MemoryFolder full(files, "/full");
  NullProgress quiet;
  SplitReplay(files, full.Write("race.rpl", replay.Build()), false, quiet, full.path());
  const auto first = folder.Write("race.rpl", replay.Build());
  const auto second = folder.Write("b/race2.rpl", replay.Build());
  folder.Write("VH_CANYON_Bo.rpl", "another race");
  form.chooseVehicles = true;
  form.ticks = {std::vector<std::size_t>{0, 2}};  // then Cancel
  flow.SplitReplays({first, second});
  Wait();
  ASSERT_EQ(form.choices.size(), 2u);
  const VehicleChoice& shown = form.choices[0];
  EXPECT_EQ(shown.intro, "Split these vehicles of race.rpl:");
  EXPECT_EQ(shown.summary, "Level CANYON.SIT, weather 0: 4 records, 1 of them shared.");
  ASSERT_EQ(shown.rows.size(), 3u);
  const auto row = [](const VehicleChoice::Row& r) {
    return r.position + "|" + r.driver + "|" + r.vehicle + "|" + r.records + "|" + r.output + "|" + r.existing;
  };
  EXPECT_EQ(row(shown.rows[0]), "1|Ann|buggy.trk|1|VH_CANYON_Ann.rpl|nothing");
  EXPECT_EQ(row(shown.rows[1]), "2|Bo|van.trk|1|VH_CANYON_Bo.rpl|another race");
  EXPECT_EQ(row(shown.rows[2]), "3|Cy|truck.trk|1|VH_CANYON_Cy.rpl|nothing");
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "b", "VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl", "VH_CANYON_Cy.rpl"}));
  for (const char* name : {"VH_CANYON_Ann.rpl", "VH_CANYON_Cy.rpl"}) EXPECT_EQ(folder.Read(name), full.Read(name));
  EXPECT_EQ(folder.Read("VH_CANYON_Bo.rpl"), "another race");
  EXPECT_EQ(files.Names(folder.path() / "b"), Names{"race2.rpl"});
  // Those split are named, as when a run is stopped.
  EXPECT_EQ(form.calls.back(), "message Vehisect: Split: race.rpl. Left as it was: race2.rpl.");
}

// The dialog gets each vehicle's numbers and colour and the race to draw, and saves its
// picture of the vehicles ticked, never over the replay.
TEST_F(FlowTest, GivesTheDialogTheRaceAndSavesItsPicture) {
  replay.records = {Moving("0", 0, "0,0,0", "0,0,10"), Moving("0", 16384, "30,0,40", "0,0,20"),
                    Moving("1", 16384, "x,0,0", "1,1,1")};
  const auto input = folder.Write("race.rpl", replay.Build());
  form.chooseVehicles = true;  // then Cancel
  flow.SplitReplays({input});
  Wait();
  ASSERT_EQ(form.choices.size(), 1u);
  const VehicleChoice& shown = form.choices[0];
  const auto numbers = [](const VehicleChoice::Row& r) { return r.time + "|" + r.distance + "|" + r.topSpeed + "|" + r.colour; };
  EXPECT_EQ(numbers(shown.rows[0]), "0:00.3|50 ft|14 mph|#4e79a7");
  EXPECT_EQ(numbers(shown.rows[1]), "0:00.0|\u2013|1 mph|#f28e2b");
  EXPECT_EQ(shown.race.vehicles[0].path.size(), 2u);
  folder.Write("race.svg", "older");
  EXPECT_EQ(shown.savePicture(folder.path() / "race.svg", {0}), "");
  EXPECT_EQ(folder.Read("race.svg").rfind("<?xml", 0), 0u);
  EXPECT_EQ(shown.savePicture(input, {0}), Shown("race.rpl") + ": expected an output name other than the replay "
                                                               "being split, found the replay itself");
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "race.svg"}));
}

// Another run's lock on the output folder shows in the title while the run waits for it.
TEST_F(FlowTest, SaysInTheTitleWhenItWaitsForAnotherRun) {
  struct Waiting : FakeForm {
    std::function<void()> onTitle;
    void SetTitle(const std::string& title) override {
      FakeForm::SetTitle(title);
      if (onTitle) std::exchange(onTitle, nullptr)();
    }
  } waiting;
  WindowFlow flow(waiting, files);
  std::optional<FolderLock> other;
  other.emplace(files, folder.path(), std::chrono::milliseconds(0), nullptr, nullptr);
  waiting.onTitle = [&] { other.reset(); };
  flow.SplitReplays({folder.Write("race.rpl", replay.Build())});
  waiting.Drain(flow);
  // Where the bar is too, with the whole folder for a tooltip, and the bar again after.
  EXPECT_EQ(waiting.titles, (std::vector<std::string>{
                                "Vehisect - waiting for another run writing to " + PathToUtf8(folder.path().filename()),
                                "waiting: " + PathToUtf8(folder.path()), "Vehisect", "waiting: "}));
  EXPECT_EQ(waiting.calls.back(), "close");
}

#ifndef _WIN32
// A folder this test cannot write in, whoever runs it: read-only for a user, a read-only
// mount for root, whom permissions do not stop.
class ReadOnlyFolder {
 public:
  ReadOnlyFolder(const std::filesystem::path& at, const std::string& name, const std::string& bytes) : at_(at) {
    std::filesystem::create_directories(at);
    if (geteuid() == 0) {
      tmpfs_.emplace(at, "size=1m");
      if (!tmpfs_->mounted()) return;
    }
    std::ofstream(at / name, std::ios::binary) << bytes;
    mounted_ = tmpfs_ ? tmpfs_->Remount("ro") : chmod(at.c_str(), 0555) == 0;
  }
  ~ReadOnlyFolder() {
    if (!tmpfs_) chmod(at_.c_str(), 0755);
  }
  bool ready() const { return mounted_; }

 private:
  std::filesystem::path at_;
  std::optional<testing::Tmpfs> tmpfs_;  // root's: a file system of its own
  bool mounted_ = false;                 // read-only
};

TEST_F(FlowTest, AsksForAnotherFolderWhenTheReplaysOwnCannotBeWritten) {
  // A real disk's, in a folder of its own.
  const TempFolder folder;
  WindowFlow flow(form, SystemFiles());
  const auto Wait = [&] { form.Drain(flow); };
  const ReadOnlyFolder disk(folder.path() / "disk", "race.rpl", replay.Build());
  if (!disk.ready()) GTEST_SKIP() << "no read-only folder to be had here";
  form.documents = folder.path() / "Documents";
  std::filesystem::create_directory(form.documents);
  form.folder = form.documents;
  flow.SplitReplays({folder.path() / "disk" / "race.rpl"});
  Wait();
  EXPECT_EQ(form.calls[1], "choose a folder for race.rpl in " + PathToUtf8(form.documents));
  EXPECT_EQ(form.calls.back(), "close");
  EXPECT_EQ(TempFolder::NamesIn(form.documents), (Names{"VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));

  // Cancelled, the split fails where it was to write.
  form.calls.clear();
  form.folder.reset();
  flow.SplitReplays({folder.path() / "disk" / "race.rpl"});
  Wait();
  EXPECT_EQ(form.calls.back().rfind("warning Could not split race.rpl. No file was written or changed.\n" +
                                        PathToUtf8(folder.path() / "disk/VH_CANYON_Ann.rpl") + ": expected to create the output, found ",
                                    0),
            0u)
      << form.calls.back();
}
#endif

}  // namespace
}  // namespace vehisect
