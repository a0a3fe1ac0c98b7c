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

namespace vehisect {
namespace {

using testing::CliProcess;
using testing::Outcome;
using testing::ReplayBuilder;
using testing::RunCli;
using testing::TempFolder;
using testing::Vehicle;
using Names = std::set<std::string>;

// A small tmpfs for one test, unmounted when the test ends.
class Tmpfs {
 public:
  Tmpfs(const std::filesystem::path& at, const std::string& options) : at_(at) {
    std::filesystem::create_directories(at);
    mounted_ = geteuid() == 0 &&
               std::system(("mount -t tmpfs -o " + options + " tmpfs '" + at.string() + "' 2>/dev/null").c_str()) == 0;
  }
  ~Tmpfs() {
    if (mounted_) std::system(("umount '" + at_.string() + "'").c_str());
  }
  bool mounted() const { return mounted_; }
  bool Remount(const std::string& options) const {
    return std::system(("mount -o remount," + options + " '" + at_.string() + "'").c_str()) == 0;
  }

 private:
  std::filesystem::path at_;
  bool mounted_ = false;
};

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
  if (!disk.mounted()) GTEST_SKIP() << "mounting a small file system needs root";
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
  if (!disk.mounted()) GTEST_SKIP() << "mounting a file system needs root";
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
