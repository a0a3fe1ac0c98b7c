// vehisect-cli when things go wrong around it: full and read-only disks, signals, inputs that
// are not replay files, a corrupt line of 100 MiB. Each run must end with a clear error, leave
// no temporary or partial file behind, and leave earlier outputs as they were.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "cli_runner.h"
#include "replay_builder.h"
#include "temp_folder.h"
#include "tmpfs.h"

namespace vehisect {
namespace {

using testing::CliProcess;
using testing::Outcome;
using testing::ReplayBuilder;
using testing::RunCli;
using testing::TempFolder;
using testing::Tmpfs;
using testing::Unmount;
using testing::Vehicle;
using Names = std::set<std::string>;

// A second path to one folder through FUSE, as a network share or another computer reaches it:
// locks and claims taken through one path are not seen through the other.
class Bindfs {
 public:
  Bindfs(const std::filesystem::path& folder, const std::filesystem::path& at) : at_(at) {
    std::filesystem::create_directories(at);
    mounted_ = geteuid() == 0 &&
               std::system(("bindfs '" + folder.string() + "' '" + at.string() + "' 2>/dev/null").c_str()) == 0;
  }
  ~Bindfs() {
    if (mounted_) Unmount(at_);
  }
  bool mounted() const { return mounted_; }

 private:
  std::filesystem::path at_;
  bool mounted_ = false;
};

// vehisect-cli under strace with `injection` (strace's -e inject=), which counts each system
// call apart. LeakSanitizer cannot run under a tracer.
std::vector<std::string> Traced(const std::string& injection) {
  return {"strace", "-f", "-o", "/dev/null", "-E", "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1", "-e",
          "inject=" + injection};
}

// Skips the test when `ready` does not hold, saying why; under CI=true, where every fault
// test must run, fails it instead.
#define RequireOrFail(ready, why)                                          \
  do {                                                                     \
    if (!(ready)) {                                                        \
      const char* ci = std::getenv("CI");                                  \
      if (ci != nullptr && std::string(ci) == "true") FAIL() << (why);     \
      GTEST_SKIP() << (why);                                               \
    }                                                                      \
  } while (false)

// Waits up to 30 s for `done` to hold.
template <typename Done>
bool WaitFor(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

class FaultTest : public ::testing::Test {
 protected:
  TempFolder folder;
  ReplayBuilder replay;

  // A replay of `records` vehicle records of two vehicles, as `race.rpl`.
  void WriteRace(int records) {
    replay.records.clear();
    replay.records.reserve(static_cast<std::size_t>(records));
    for (int i = 0; i < records; ++i) replay.records.push_back(Vehicle(std::to_string(i), i % 2 ? "1" : "0"));
    folder.Write("race.rpl", replay.Build());
  }

  static void ExpectCleanFailure(const Outcome& outcome) {
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_EQ(outcome.out, "");
  }
};

TEST_F(FaultTest, DiskFillingUpInTheRecordStream) {
  const Tmpfs disk(folder.path() / "disk", "size=256k");
  RequireOrFail(disk.mounted(), "mounting a small file system needs root");
  folder.Write("disk/VH_CANYON_Ann.rpl", "old");
  WriteRace(2000);
  const Outcome outcome = RunCli(folder.path(), {"-o", "disk", "race.rpl"});
  ExpectCleanFailure(outcome);
  EXPECT_NE(outcome.err.find(": expected to write the output, found No space left on device\n"), std::string::npos)
      << outcome.err;
  EXPECT_EQ(TempFolder::NamesIn(folder.path() / "disk"), Names{"VH_CANYON_Ann.rpl"});
  EXPECT_EQ(folder.Read("disk/VH_CANYON_Ann.rpl"), "old");
}

TEST_F(FaultTest, ReadOnlyOutputFolder) {
  const Tmpfs disk(folder.path() / "ro", "size=1m");
  RequireOrFail(disk.mounted(), "mounting a file system needs root");
  folder.Write("ro/VH_CANYON_Ann.rpl", "old");
  ASSERT_TRUE(disk.Remount("ro"));
  WriteRace(10);
  const Outcome outcome = RunCli(folder.path(), {"-o", "ro", "race.rpl"});
  ExpectCleanFailure(outcome);
  EXPECT_EQ(outcome.err, "vehisect-cli: ro/VH_CANYON_Ann.rpl: expected to create the output, found Read-only file system\n");
  EXPECT_EQ(TempFolder::NamesIn(folder.path() / "ro"), Names{"VH_CANYON_Ann.rpl"});
  EXPECT_EQ(folder.Read("ro/VH_CANYON_Ann.rpl"), "old");
  ASSERT_TRUE(disk.Remount("rw"));
}

TEST_F(FaultTest, SignalsDuringARunRemoveTheTemporaryFiles) {
  WriteRace(200000);  // about 80 MiB: long enough to be caught in the middle
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
    const auto out = folder.path() / ("out" + std::to_string(signal));
    std::filesystem::create_directory(out);
    folder.Write(out / "VH_CANYON_Ann.rpl", "old");
    CliProcess cli(folder.path(), {"-q", "-o", out.filename().string(), "race.rpl"});
    // Signal once the outputs are being written.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (TempFolder::NamesIn(out).size() < 2 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    cli.Signal(signal);
    const Outcome outcome = cli.Wait();
    EXPECT_EQ(outcome.status, 130) << outcome.err;
    EXPECT_EQ(outcome.err, "vehisect-cli: race.rpl: expected to split the replay, found the run stopped; no output "
                           "was written or changed\n");
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(TempFolder::NamesIn(out), Names{"VH_CANYON_Ann.rpl"});
    EXPECT_EQ(folder.Read(out / "VH_CANYON_Ann.rpl"), "old");
  }
}

// Two runs into one folder at once: each commit is whole, the later one wins, and the folder
// never holds outputs of both.
TEST_F(FaultTest, TwoRunsIntoOneFolderNeverMixTheirOutputs) {
  WriteRace(4);
  std::filesystem::create_directories(folder.path() / "a");
  std::filesystem::rename(folder.path() / "race.rpl", folder.path() / "a" / "race.rpl");
  WriteRace(5);
  std::filesystem::create_directories(folder.path() / "b");
  std::filesystem::rename(folder.path() / "race.rpl", folder.path() / "b" / "race.rpl");
  ASSERT_EQ(RunCli(folder.path() / "a", {"-q", "-o", "../a-out", "race.rpl"}).status, 0);
  ASSERT_EQ(RunCli(folder.path() / "b", {"-q", "-o", "../b-out", "race.rpl"}).status, 0);
  const auto outputsOf = [&](const std::string& out) {
    return folder.Read(out + "/VH_CANYON_Ann.rpl") + folder.Read(out + "/VH_CANYON_Bo.rpl");
  };
  const std::string a = outputsOf("a-out"), b = outputsOf("b-out");
  for (int pair = 0; pair < 200; ++pair) {
    CliProcess first(folder.path() / "a", {"-q", "--replace", "-o", "../out", "race.rpl"});
    CliProcess second(folder.path() / "b", {"-q", "--replace", "-o", "../out", "race.rpl"});
    EXPECT_EQ(first.Wait().status + second.Wait().status, 0);
    const std::string now = outputsOf("out");
    ASSERT_TRUE(now == a || now == b) << "pair " << pair;
    ASSERT_EQ(TempFolder::NamesIn(folder.path() / "out"), (Names{"VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
  }
}

// A signal once the commit has begun lets it finish and tell the truth; a kill at any of its
// renames leaves every name whole, and the next run cleans up after it.
TEST_F(FaultTest, ASignalAtTheCommitLetsItFinishAndAKillLeavesWholeFiles) {
  RequireOrFail(std::system("strace -V >/dev/null 2>&1") == 0, "needs strace");
  WriteRace(10);
  const Names outputs = {"VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"};
  ASSERT_EQ(RunCli(folder.path(), {"-q", "-o", "new", "race.rpl"}).status, 0);
  const auto inject = [](const std::string& calls, const std::string& signal, int when) {
    return Traced(calls + ":signal=" + signal + ":when=" + std::to_string(when));
  };
  const std::string links = "link,linkat", renames = "rename,renameat,renameat2";
  const auto reset = [&] {
    for (const std::string& name : outputs) folder.Write("out/" + name, "old " + name);
  };
  std::filesystem::create_directory(folder.path() / "out");
  reset();
  const Outcome interrupted = CliProcess(folder.path(), {"-q", "--replace", "-o", "out", "race.rpl"}, inject(links, "SIGINT", 1)).Wait();
  EXPECT_EQ(interrupted.status, 0) << interrupted.err;
  EXPECT_EQ(interrupted.out, "out/VH_CANYON_Ann.rpl\nout/VH_CANYON_Bo.rpl\n");
  for (const std::string& name : outputs) EXPECT_EQ(folder.Read("out/" + name), folder.Read("new/" + name));

  // A link and a rename for each output; the first link gives the lock its name.
  for (int k = 1; k <= 4; ++k) {
    reset();
    const Outcome killed =
        CliProcess(folder.path(), {"-q", "--replace", "-o", "out", "race.rpl"},
                   inject(k <= 2 ? links : renames, "SIGKILL", k <= 2 ? k + 1 : k - 2))
            .Wait();
    EXPECT_NE(killed.status, 0) << k;
    for (const std::string& name : outputs) {
      const std::string bytes = folder.Read("out/" + name);
      EXPECT_TRUE(bytes == "old " + name || bytes == folder.Read("new/" + name)) << k << " " << name;
    }
    const Outcome next = RunCli(folder.path(), {"-q", "--replace", "-o", "out", "race.rpl"});
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_NE(next.err.find("left by a run that was stopped"), std::string::npos) << k;
    // Killed after its first output took its name (at the second output's link or rename),
    // the run left the only copy of that output's older file: kept, and named.
    Names left = TempFolder::NamesIn(folder.path() / "out");
    for (const std::string& name : outputs) left.erase(name);
    ASSERT_EQ(left.size(), k % 2 == 0 ? 1u : 0u) << k;
    if (k % 2 == 0) {
      EXPECT_EQ(folder.Read("out/" + *left.begin()), "old VH_CANYON_Ann.rpl");
      EXPECT_NE(next.err.find("left out/" + *left.begin() + ": another run may still need them, or they hold older "
                              "outputs"),
                std::string::npos)
          << next.err;
    }
  }
}

// On FAT, which takes every spelling of a name for one file yet gives each its own identity,
// and has no hard links, the replay is never replaced and older outputs are replaced whole.
TEST_F(FaultTest, ACaseBlindDiskKeepsItsReplay) {
  RequireOrFail(geteuid() == 0 && std::system("command -v fusefat >/dev/null && command -v mkfs.vfat >/dev/null") == 0,
                "needs root, fusefat and mkfs.vfat");
  const auto disk = folder.path() / "disk";
  std::filesystem::create_directory(disk);
  const std::string image = (folder.path() / "fat.img").string();
  ASSERT_EQ(std::system(("mkfs.vfat -C '" + image + "' 4096 >/dev/null").c_str()), 0);
  RequireOrFail(std::system(("fusefat -o rw+ '" + image + "' '" + disk.string() + "' >/dev/null 2>&1").c_str()) == 0,
                "cannot mount with FUSE here");
  WriteRace(10);
  const std::string race = replay.Build();
  folder.Write("disk/vh_canyon_ann.rpl", race);
  folder.Write("disk/VH_CANYON_Bo.rpl", "old");
  const Outcome own = RunCli(disk, {"vh_canyon_ann.rpl"});
  const Outcome other = RunCli(folder.path(), {"-q", "-o", "disk/other", "race.rpl"});
  folder.Write("disk/other/VH_CANYON_Bo.rpl", "old");
  const Outcome replaced = RunCli(folder.path(), {"-q", "--replace", "-o", "disk/other", "race.rpl"});
  const std::string kept = folder.Read("disk/vh_canyon_ann.rpl");
  const Names names = TempFolder::NamesIn(disk / "other");
  Unmount(disk);
  EXPECT_EQ(own.err, "vehisect-cli: VH_CANYON_Ann.rpl: expected an output name other than the replay being split, "
                     "found the replay itself\n");
  EXPECT_EQ(kept, race);
  EXPECT_EQ(other.status + replaced.status, 0) << other.err << replaced.err;
  EXPECT_EQ(names, (Names{"VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}));
}

// A run whose outputs could not all be put back, alone in its run, fails it, and says where
// the older file is.
TEST_F(FaultTest, ARunNotPutBackAloneFailsTheRun) {
  RequireOrFail(std::system("strace -V >/dev/null 2>&1") == 0, "needs strace");
  WriteRace(10);
  for (const char* name : {"VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"}) folder.Write(name, "old");
  // Bo's rename fails, then Ann's put-back, then its move aside, which a copy then makes.
  const Outcome outcome =
      CliProcess(folder.path(), {"-q", "--replace", "race.rpl"}, Traced("rename,renameat,renameat2:error=EACCES:when=2+"))
          .Wait();
  EXPECT_EQ(outcome.status, 1) << outcome.err;
  EXPECT_EQ(outcome.out, "");
  EXPECT_NE(outcome.err.find("; then could not put back VH_CANYON_Ann.rpl (new; its older file is "), std::string::npos)
      << outcome.err;
}

// One folder through two paths, as two computers reach one share: a run through either waits
// for the other's commit, never removes what the other is writing, and never replaces the
// replay being split through the other path.
TEST_F(FaultTest, TwoPathsToOneFolderShareItsLock) {
  RequireOrFail(std::system("strace -V >/dev/null 2>&1 && command -v bindfs >/dev/null") == 0, "needs strace and bindfs");
  std::filesystem::create_directory(folder.path() / "out");
  const Bindfs other(folder.path() / "out", folder.path() / "mnt");
  RequireOrFail(other.mounted(), "needs root and FUSE");
  WriteRace(10);
  const Names outputs = {"VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"};
  const auto writing = [&] {
    for (const std::string& name : TempFolder::NamesIn(folder.path() / "out")) {
      if (name.ends_with("-2.new")) return true;
    }
    return false;
  };
  // First held in its commit (at its first rename), then while it writes (at the claim of its
  // second output).
  for (const std::string hold : {"rename,renameat,renameat2:delay_enter=1500000:when=1",
                                  "flock:delay_enter=1500000:when=2"}) {
    CliProcess first(folder.path(), {"-q", "--replace", "-o", "out", "race.rpl"}, Traced(hold));
    ASSERT_TRUE(WaitFor(writing)) << hold;
    const Outcome second = RunCli(folder.path(), {"-q", "--replace", "-o", "mnt", "race.rpl"});
    const Outcome held = first.Wait();
    EXPECT_EQ(held.status, 0) << hold << held.err;
    EXPECT_EQ(second.status, 0) << hold << second.err;
    EXPECT_EQ(TempFolder::NamesIn(folder.path() / "out"), outputs) << hold;
  }
  folder.Write("out/VH_CANYON_Ann.rpl", replay.Build());
  const Outcome own = RunCli(folder.path(), {"-q", "--replace", "-o", "out", "mnt/VH_CANYON_Ann.rpl"});
  EXPECT_EQ(own.err, "vehisect-cli: out/VH_CANYON_Ann.rpl: expected an output name other than the replay being "
                     "split, found the replay itself\n");
  EXPECT_EQ(folder.Read("out/VH_CANYON_Ann.rpl"), replay.Build());
}

// Where the file system takes no locks (NFS without its lock service), the lock file alone
// keeps runs apart, and leftovers are named, not removed.
TEST_F(FaultTest, SplitsWhereTheFileSystemTakesNoLocks) {
  RequireOrFail(std::system("strace -V >/dev/null 2>&1") == 0, "needs strace");
  WriteRace(10);
  const std::string left = "VH_CANYON_Ann.rpl.vehisect-999999999-0123456789abcdef-1.new";
  folder.Write(left, "partial");
  for (const char* error : {"ENOLCK", "EOPNOTSUPP"}) {
    const Outcome outcome =
        CliProcess(folder.path(), {"-q", "race.rpl"}, Traced(std::string("flock:error=") + error)).Wait();
    EXPECT_EQ(outcome.status, 0) << error << outcome.err;
    EXPECT_EQ(outcome.out, "VH_CANYON_Ann.rpl\nVH_CANYON_Bo.rpl\n") << error;
    EXPECT_EQ(folder.Names(), (Names{"race.rpl", left, "VH_CANYON_Ann.rpl", "VH_CANYON_Bo.rpl"})) << error;
  }
}

TEST_F(FaultTest, InputsThatAreNotReplayFiles) {
  std::filesystem::create_directory(folder.path() / "folder.rpl");
  ASSERT_EQ(mkfifo((folder.path() / "pipe.rpl").c_str(), 0600), 0);
  folder.Write("empty.rpl", "");
  const Outcome outcome = RunCli(folder.path(), {"folder.rpl", "pipe.rpl", "missing.rpl", "empty.rpl"});
  ExpectCleanFailure(outcome);
  EXPECT_EQ(outcome.err,
            "vehisect-cli: folder.rpl: expected a replay file, found that it is a folder, not a replay\n"
            "vehisect-cli: pipe.rpl: expected a replay file, found a special file\n"
            "vehisect-cli: missing.rpl: expected a replay file, found no such file\n"
            "vehisect-cli: empty.rpl:1: expected the \"demoLevel\" label line, found the end of the file\n");
  EXPECT_EQ(folder.Names(), (Names{"folder.rpl", "pipe.rpl", "empty.rpl"}));
}

TEST_F(FaultTest, AHundredMebibyteLineEndsTheRunInLittleMemory) {
  WriteRace(1);
  const long small = RunCli(folder.path(), {"race.rpl"}).peakKiB;
  for (const auto& name : folder.Names()) {
    if (name != "race.rpl") std::filesystem::remove(folder.path() / name);
  }
  {
    // Written in pieces: the child's peak counts the pages it shares with this process.
    std::ofstream file(folder.path() / "long.rpl", std::ios::binary);
    file << "demoLevel\r\n";
    const std::string mebibyte(std::size_t{1} << 20, 'a');
    for (int i = 0; i < 100; ++i) file << mebibyte;
  }
  const Outcome outcome = RunCli(folder.path(), {"long.rpl"});
  ExpectCleanFailure(outcome);
  EXPECT_EQ(outcome.err, "vehisect-cli: long.rpl:2: expected a line of at most 1048576 bytes, found a longer one\n");
  // A little more than the longest line allowed, not the line.
  EXPECT_LT(outcome.peakKiB, small + 8 * 1024);
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "long.rpl"}));
}

TEST_F(FaultTest, AHeaderOfFiveHundredMebibytesIsRefusedInLittleMemory) {
  WriteRace(1);
  const long small = RunCli(folder.path(), {"-o", "small", "race.rpl"}).peakKiB;
  {
    std::ofstream file(folder.path() / "objects.rpl", std::ios::binary);
    file << "demoLevel\r\ncanyon.sit\r\nweather\r\n0\r\nvehicleCount\r\n2\r\na.trk\r\nAnn\r\nb.trk\r\nBo\r\n"
            "detailLevel\r\n2\r\ndemoRecordPtr\r\n0\r\ndemoRecordCount\r\n0\r\n"
            "Original object locations\r\n541\r\n";
    const std::string line = std::string((std::size_t{1} << 20) - 2, 'o') + "\r\n";
    for (int i = 0; i < 541; ++i) file << line;
  }
  const Outcome outcome = RunCli(folder.path(), {"objects.rpl"});
  ExpectCleanFailure(outcome);
  EXPECT_EQ(outcome.err, "vehisect-cli: objects.rpl:22: expected at most 4 MiB before the first record, "
                         "found more by this line\n");
  // The header allowed, and a line, beyond what a small run takes; the benchmark's bound.
  EXPECT_LT(outcome.peakKiB, small + 8 * 1024);
#ifndef __SANITIZE_ADDRESS__  // whose shadow memory counts too
  EXPECT_LT(outcome.peakKiB, 16 * 1024);
#endif
  EXPECT_EQ(folder.Names(), (Names{"race.rpl", "objects.rpl", "small"}));
}

}  // namespace
}  // namespace vehisect
