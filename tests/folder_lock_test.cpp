#include <gtest/gtest.h>

#include <optional>
#include <utility>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "memory_files.h"
#include "recorded_files.h"
#include "replay/base/error.h"
#include "replay/base/paths.h"
#include "replay/base/process.h"
#include "replay/base/system_files.h"
#include "replay/commit/folder_lock.h"
#include "temp_folder.h"

namespace vehisect {
namespace {

using namespace testing;  // the fakes and the temporary folder

const std::filesystem::path kFolder = "/race";
const std::filesystem::path kLock = kFolder / kLockFileName;

// A lock file as a run of `host` writes it.
struct LockFile {
  std::string host = HostName(), machine = MachineId(), boot = BootId();
  unsigned long process = 999999999;  // no such process
  std::uint64_t started = 12345;
  bool withMachine = true;  // false: as a version that did not write it

  std::string Text() const {
    return "Vehisect is putting its outputs into this folder. Remove this file only if no Vehisect runs here.\n"
           "host=" + host + (withMachine ? "\nmachine=" + machine : "") + "\nprocess=" + std::to_string(process) +
           "\nstarted=" + std::to_string(started) + "\nboot=" + boot + "\nrun=0123456789abcdef\n"
           "since=2026-12-09 22:10:13 UTC\n";
  }
};

// Takes the lock on kFolder through `files`, waiting 50 ms: "taken", or the error.
std::string TryLock(FileSystem& files, std::optional<FolderLock>& lock) {
  try {
    lock.emplace(files, kFolder, std::chrono::milliseconds(50), nullptr, nullptr);
    return "taken";
  } catch (const ReplayError& e) {
    return e.what();
  }
}

std::string LockedBy(const std::string& who) {
  return PathToUtf8(kLock) + ": expected to put the outputs into the folder, found it locked by " + who +
         "; try again, or remove that file if no Vehisect runs there";
}

// A stale lock is taken over at once, and only when its holder is proven gone: by this
// computer's processes or its restart, else by the lock's free claim. Another computer's,
// one of the same name included, a live run's and one that names no holder never are.
TEST(FolderLockTest, TakesOverOnlyALockProvenStale) {
  enum Claim { kFree, kHeld, kNoLocks };
  struct Case {
    const char* what;
    LockFile lock;
    Claim claim;
    std::string expected;
  };
  LockFile earlierBoot, gone, otherHost, sameName, unproven, older;
  earlierBoot.boot = "an earlier boot";
  otherHost.host = "elsewhere";
  sameName.machine = "another machine";
  sameName.boot = "its boot";
  unproven.boot = "";
  unproven.started = 0;
  older.withMachine = false;
  older.boot = "an earlier boot";
  const std::string live = PathToUtf8(kLock) +
                           ": expected to put the outputs into the folder, found another run still writing to it "
                           "after 0 s; try again";
  const std::string sameNameHeld = LockedBy("process 999999999 on " + HostName() + " since 2026-12-09 22:10:13 UTC");
  const std::vector<Case> cases = {
      {"an earlier boot", earlierBoot, kFree, "taken"},
      // Windows has no boot ids: there the start time of a process tells.
      {"an earlier boot, no locks", earlierBoot, kNoLocks, BootId().empty() ? sameNameHeld : "taken"},
      {"a process gone", gone, kFree, "taken"},
      {"a process gone, no locks", gone, kNoLocks, "taken"},
      {"a live run", gone, kHeld, live},
      {"another host", otherHost, kFree, LockedBy("process 999999999 on elsewhere since 2026-12-09 22:10:13 UTC")},
      {"a computer of the same name, no locks", sameName, kNoLocks, sameNameHeld},
      {"no proof of the process, claim free", unproven, kFree, "taken"},
      {"no proof of the process, no locks", unproven, kNoLocks, sameNameHeld},
      {"an older version's, claim free", older, kFree, "taken"},
      {"an older version's, no locks", older, kNoLocks, sameNameHeld},
  };
  for (const Case& c : cases) {
    MemoryFiles files;
    files.Write(kLock, c.lock.Text());
    std::error_code ec;
    const std::unique_ptr<Hold> holder = c.claim == kHeld ? files.Claim(kLock, ec) : nullptr;
    files.locks = c.claim != kNoLocks;
    std::optional<FolderLock> lock;
    EXPECT_EQ(TryLock(files, lock), c.expected) << c.what;
    if (lock) {
      EXPECT_EQ(lock->stopped()->run, "0123456789abcdef") << c.what;
      EXPECT_EQ(std::as_const(files).Read(kLock), lock->text()) << c.what;
      lock.reset();
    }
    EXPECT_EQ(files.Names(kFolder).size(), c.expected == "taken" ? 0u : 1u) << c.what;
  }
#ifndef _WIN32
  LockFile alive;
  alive.process = static_cast<unsigned long>(getppid());
  alive.started = ProcessStart(alive.process);
  MemoryFiles files;
  files.Write(kLock, alive.Text());
  std::optional<FolderLock> lock;
  EXPECT_EQ(TryLock(files, lock), PathToUtf8(kLock) + ": expected to put the outputs into the folder, found another "
                                                     "run still writing to it after 0 s; try again");
#endif
}

// A lock file that is being written, or was cut short, names no holder: it is never taken
// for one a power loss left, however long it stays so.
TEST(FolderLockTest, NeverTakesOverALockThatNamesNoHolder) {
  const std::string whole = LockFile().Text();
  for (const std::string& text : {std::string(), whole.substr(0, 40), whole.substr(0, whole.size() - 1),
                                  whole + std::string(5000, 'x')}) {
    MemoryFiles files;
    files.Write(kLock, text);
    std::optional<FolderLock> lock;
    EXPECT_EQ(TryLock(files, lock), LockedBy("a run that did not say who it is")) << text.size();
    EXPECT_EQ(std::as_const(files).Read(kLock), text);
  }
}

// Two runs that find one stale lock, where the file system takes no claims: the first to
// take it over makes its own lock, and the other, paused meanwhile, never removes that.
TEST(FolderLockTest, TwoRunsNeverBothTakeOverOneStaleLock) {
  struct Paused : ForwardingFiles {
    using ForwardingFiles::ForwardingFiles;
    std::function<void()> meanwhile;  // runs before the first change to the lock's name
    void Pause(const std::filesystem::path& file) {
      if (file != kLock || !meanwhile) return;
      const auto other = std::move(meanwhile);
      meanwhile = nullptr;
      other();
    }
    std::error_code Remove(const std::filesystem::path& file) override {
      Pause(file);
      return ForwardingFiles::Remove(file);
    }
    std::error_code Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
      Pause(from);
      return ForwardingFiles::Rename(from, to);
    }
    std::error_code LinkNew(const std::filesystem::path& from, const std::filesystem::path& to) override {
      Pause(from);
      return ForwardingFiles::LinkNew(from, to);
    }
    std::error_code RenameNew(const std::filesystem::path& from, const std::filesystem::path& to) override {
      Pause(from);
      return ForwardingFiles::RenameNew(from, to);
    }
  };
  MemoryFiles files;
  files.locks = false;
  files.Write(kLock, LockFile().Text());
  Paused paused(files);
  std::optional<FolderLock> first, second;
  paused.meanwhile = [&] { EXPECT_EQ(TryLock(files, first), "taken"); };
  EXPECT_NE(TryLock(paused, second), "taken");
  ASSERT_TRUE(first);
  EXPECT_EQ(std::as_const(files).Read(kLock), first->text());
  first.reset();
  EXPECT_EQ(files.Names(kFolder), std::set<std::string>{});
}

#ifndef _WIN32
// Something other than a file under the lock's name is named at once, without following a
// link or waiting on a FIFO; a stop asked for is honoured before anything is tried.
TEST(FolderLockTest, NamesWhatIsNotALockFile) {
  const TempFolder folder;
  const std::filesystem::path lock = folder.path() / kLockFileName;
  const auto take = [&](const CancelToken* cancel) {
    try {
      FolderLock taken(SystemFiles(), folder.path(), std::chrono::milliseconds(0), cancel, nullptr);
      return std::string("taken");
    } catch (const ReplayError& e) {
      return std::string(e.what());
    }
  };
  const std::string shown = PathToUtf8(lock) + ": expected the folder's lock file, found ";
  ASSERT_EQ(mkfifo(lock.c_str(), 0600), 0);
  EXPECT_EQ(take(nullptr), shown + "a special file; remove it if no Vehisect runs there");
  CancelToken stop;
  stop.Request();
  EXPECT_EQ(take(&stop), PathToUtf8(folder.path()) + ": expected to split the replay, found the run stopped; no "
                                                      "output was written or changed");
  std::filesystem::remove(lock);
  std::filesystem::create_directory(lock);
  EXPECT_EQ(take(nullptr), shown + "a folder; remove it if no Vehisect runs there");
  std::filesystem::remove(lock);
  folder.Write("elsewhere", LockFile().Text());
  std::filesystem::create_symlink(folder.path() / "elsewhere", lock);
  EXPECT_EQ(take(nullptr), shown + "a link; remove it if no Vehisect runs there");
  EXPECT_EQ(TempFolder::NamesIn(folder.path()), (std::set<std::string>{kLockFileName, "elsewhere"}));
}
#endif

}  // namespace
}  // namespace vehisect
