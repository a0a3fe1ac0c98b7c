#include "replay/commit/folder_lock.h"

#include <ctime>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>

#include "replay/base/error.h"
#include "replay/base/paths.h"
#include "replay/base/process.h"

namespace vehisect {
namespace {

constexpr char kLockHeading[] =
    "Vehisect is putting its outputs into this folder. Remove this file only if no Vehisect runs here.\n";

// A lock file is a few short lines: anything longer is not one.
constexpr std::size_t kLockLimit = 4096;

// Who holds a lock, as its file says.
struct Holder {
  std::string host, machine, boot;
  unsigned long process = 0;
  std::uint64_t started = 0;
  RunId run;
  std::string since;
};

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
  return text;
}

std::string LockText(const RunId& run) {
  std::ostringstream text;
  text << kLockHeading << "host=" << HostName() << "\nmachine=" << MachineId() << "\nprocess=" << run.process
       << "\nstarted=" << ProcessStart(run.process) << "\nboot=" << BootId() << "\nrun=" << run.run
       << "\nsince=" << UtcNow() << "\n";
  return text.str();
}

// The holder a lock file's text names; none when it names none (the lock file of an older
// version still being written, one cut short, or not a lock file), which is never taken over.
std::optional<Holder> ParseLock(const std::string& text) {
  if (text.size() > kLockLimit || !text.starts_with(kLockHeading) || !text.ends_with('\n')) return std::nullopt;
  std::map<std::string, std::string> fields;
  std::istringstream lines(text.substr(std::string_view(kLockHeading).size()));
  for (std::string line; std::getline(lines, line);) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) fields[line.substr(0, equals)] = line.substr(equals + 1);
  }
  for (const char* key : {"host", "process", "started", "boot", "run", "since"}) {
    if (fields.count(key) == 0) return std::nullopt;
  }
  Holder holder;
  try {
    holder.process = std::stoul(fields["process"]);
    holder.started = std::stoull(fields["started"]);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  holder.host = fields["host"];
  holder.machine = fields["machine"];  // none in an older version's lock
  holder.boot = fields["boot"];
  holder.run = {holder.process, fields["run"]};
  holder.since = fields["since"];
  return holder;
}

// Whether the holder ran in this very start of this computer, where its process tells.
bool ThisBoot(const Holder& holder) {
  const bool thisMachine = !holder.machine.empty() && holder.machine == MachineId();
  // Boot ids are random; where there are none (Windows, or no /proc), the machine must tell.
  return holder.host == HostName() && holder.boot == BootId() && (!holder.boot.empty() || thisMachine);
}

// Whether the lock of `holder`, seen as `sight` says, is proven stale: no run can hold it.
// Where neither the computer nor its processes prove it, its claim must: free, where the file
// system takes claims.
bool Stale(const Holder& holder, const Sight& sight) {
  const bool claimed = sight.hold->claimed();
  if (sight.busy || holder.host != HostName()) return false;  // another computer's processes cannot be seen
  if (ThisBoot(holder)) {
    if (holder.process == ThisProcess()) return claimed;  // a run of this process holds its lock's claim
    const bool seen = holder.started != 0 && ProcessStart(ThisProcess()) != 0;
    return seen ? ProcessStart(holder.process) != holder.started : claimed;
  }
  // The same computer started again since (after a crash and a restart); a computer of the
  // same name has another machine id.
  const bool thisMachine = !holder.machine.empty() && holder.machine == MachineId();
  if (thisMachine && !holder.boot.empty() && !BootId().empty()) return true;
  return claimed;
}

// Whether the holder is known to be a live run: the lock is then let go of soon, as a run's
// commit is short.
bool Live(const std::optional<Holder>& holder, const Sight& sight) {
  return sight.busy || (holder && ThisBoot(*holder) && holder->started != 0 &&
                        (holder->process == ThisProcess() || ProcessStart(holder->process) == holder->started));
}

// Whether another run made or claimed the file first: it lets go of it soon.
bool Taken(const std::error_code& ec) {
  return ec == std::errc::file_exists || ec == std::errc::device_or_resource_busy;
}

std::string TypeName(std::filesystem::file_type type) {
  using std::filesystem::file_type;
  return type == file_type::directory ? "a folder" : type == file_type::symlink ? "a link" : "a special file";
}

[[noreturn]] void Refuse(const std::filesystem::path& lock, const Sight& sight, const std::optional<Holder>& holder,
                         std::chrono::milliseconds wait) {
  if (Live(holder, sight)) {
    throw ReplayError(PathToUtf8(lock), 0, "to put the outputs into the folder",
                      "another run still writing to it after " + std::to_string(wait.count() / 1000) + " s; try again");
  }
  const std::string who = holder ? "process " + std::to_string(holder->process) + " on " +
                                       (holder->host.empty() ? "an unnamed computer" : holder->host) + " since " +
                                       holder->since
                                 : "a run that did not say who it is";
  throw ReplayError(PathToUtf8(lock), 0, "to put the outputs into the folder",
                    "it locked by " + who + "; try again, or remove that file if no Vehisect runs there");
}

}  // namespace

FolderLock::FolderLock(FileSystem& files, const std::filesystem::path& folder, std::chrono::milliseconds wait,
                       const CancelToken* cancel, const std::function<void()>& waiting, const RunId& run)
    : files_(files),
      path_(FolderOf(folder) / kLockFileName),
      own_(FolderOf(folder) / (kLockFileName + RunFileTail({run, 0, "new"}))),
      text_(LockText(run)) {
  try {
    Acquire(wait, cancel, waiting);
  } catch (...) {
    if (held_) {
      held_.reset();
      files_.Remove(own_);
    }
    throw;
  }
}

void FolderLock::Acquire(std::chrono::milliseconds wait, const CancelToken* cancel, const std::function<void()>& waiting) {
  const std::string shown = PathToUtf8(path_.parent_path());
  const auto deadline = std::chrono::steady_clock::now() + wait;
  bool told = false;
  for (;;) {
    // Before every attempt to take the lock, as before every take-over: a run stopped while it
    // waits changes nothing.
    if (cancel != nullptr && cancel->requested()) throw ReplayError::Cancelled(shown);
    if (Take()) return;
    Sight sight;
    if (!See(sight)) continue;  // let go of meanwhile
    const std::optional<Holder> holder = ParseLock(sight.bytes);
    if (holder && sight.hold->Names(path_) && Stale(*holder, sight)) {
      if (cancel != nullptr && cancel->requested()) throw ReplayError::Cancelled(shown);
      if (TakeOver(sight, holder->run)) continue;
    }
    if (std::chrono::steady_clock::now() >= deadline) Refuse(path_, sight, holder, wait);
    if (!told && waiting) waiting();
    told = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool FolderLock::See(Sight& sight) const {
  if (const std::error_code ec = files_.Look(path_, kLockLimit, sight)) {
    if (ec == std::errc::no_such_file_or_directory) return false;
    throw ReplayError(PathToUtf8(path_), 0, "a lock file it can read", ec.message());
  }
  if (sight.type != std::filesystem::file_type::regular) {
    throw ReplayError(PathToUtf8(path_), 0, "the folder's lock file",
                      TypeName(sight.type) + "; remove it if no Vehisect runs there");
  }
  return true;
}

bool FolderLock::Make(const std::filesystem::path& file) {
  std::error_code ec;
  held_ = files_.CreateNew(file, text_, ec);
  if (Taken(ec)) return false;
  if (!ec && (ec = files_.Flush(file))) {
    // Never left behind half made: under the lock's name it would lock the folder for good.
    held_.reset();
    files_.Remove(file);
  }
  if (ec) throw ReplayError(PathToUtf8(path_.parent_path()), 0, "a folder it can lock to put the outputs into", ec.message());
  return true;
}

bool FolderLock::Take() {
  // No step of the file system gives a name only where none is: the lock file is made under
  // its name. No run takes an unfinished lock over, so a pause while it is written only makes
  // others wait.
  if (direct_) return Make(path_);
  // Whole, claimed and on the disk before it takes the lock's name: the name never holds
  // anything less, even after a power loss.
  if (!held_ && !Make(own_)) return false;
  std::error_code ec = files_.LinkNew(own_, path_);
  // NFS may lose the answer to a link it made, and answer the link's retry with EEXIST.
  if (!ec || (ec == std::errc::file_exists && held_->Names(path_))) {
    files_.Remove(own_);  // the lock's name holds it now
    return true;
  }
  if (ec == std::errc::not_supported) ec = files_.RenameNew(own_, path_);  // no hard links: FAT, exFAT
  if (ec == std::errc::not_supported) {
    held_.reset();
    files_.Remove(own_);
    direct_ = true;
    return Take();
  }
  if (!ec || Taken(ec)) return !ec;
  throw ReplayError(PathToUtf8(path_.parent_path()), 0, "a folder it can lock to put the outputs into", ec.message());
}

bool FolderLock::TakeOver(const Sight& sight, const RunId& stale) {
  // A second name that only one run can make for this lock file: no two runs take it over,
  // and a run paused meanwhile never removes a lock made since.
  const std::filesystem::path pin = path_.parent_path() / (kLockFileName + RunFileTail({stale, 0, "old"}));
  const std::error_code ec = files_.LinkNew(path_, pin);
  if (ec == std::errc::not_supported) {
    // No hard links: it is moved aside instead, only under its claim, which keeps every other
    // run from judging it meanwhile.
    if (!sight.hold->claimed() || files_.RenameNew(path_, pin)) return false;
    if (!sight.hold->Names(pin)) {
      files_.RenameNew(pin, path_);
      return false;
    }
  } else if (ec == std::errc::file_exists) {
    // Another run's: at work now, it holds the claim; with the claim free, it was stopped.
    if (!sight.hold->claimed() || !sight.hold->Names(pin)) return false;
  } else if (ec) {
    return ec == std::errc::no_such_file_or_directory;  // let go of meanwhile
  } else if (!sight.hold->Names(pin)) {
    files_.Remove(pin);  // a second name of a lock made since the stale one went
    return false;
  }
  if (sight.hold->Names(path_) && files_.Remove(path_)) {
    files_.Remove(pin);
    return false;
  }
  files_.Remove(pin);
  stopped_ = stale;
  return true;
}

std::error_code FolderLock::Release() {
  if (!held_) return {};
  // Removed while still held, so that no run of this process takes it for a stale one, and only
  // while the name holds this run's own file.
  const std::error_code ec = held_->Names(path_) ? files_.Remove(path_) : std::error_code();
  held_.reset();
  return ec;
}

bool FolderLock::Locks(const std::filesystem::path& folder) const {
  Sight sight;
  return !files_.Look(FolderOf(folder) / kLockFileName, kLockLimit, sight) && sight.bytes == text_;
}

FolderLock::~FolderLock() { Release(); }

}  // namespace vehisect
