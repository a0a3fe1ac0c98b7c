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

// Who holds a lock, as its file says.
struct Holder {
  std::string host, boot;
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
  text << kLockHeading << "host=" << HostName() << "\nprocess=" << run.process
       << "\nstarted=" << ProcessStart(run.process) << "\nboot=" << BootId() << "\nrun=" << run.run
       << "\nsince=" << UtcNow() << "\n";
  return text.str();
}

// The holder a lock file's text names; none while it is being written, or when it was cut
// short by a power loss.
std::optional<Holder> ParseLock(const std::string& text) {
  if (!text.starts_with(kLockHeading) || !text.ends_with('\n')) return std::nullopt;
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
  holder.boot = fields["boot"];
  holder.run = {holder.process, fields["run"]};
  holder.since = fields["since"];
  return holder;
}

// Whether the holder is known to be a live run of this computer: the lock is then let go of
// soon, as a run's commit is short.
bool LiveHere(const std::optional<Holder>& holder) {
  return holder && holder->host == HostName() && holder->boot == BootId() &&
         (holder->process == ThisProcess() || ProcessStart(holder->process) == holder->started);
}

}  // namespace

std::string ReadText(FileSystem& files, const std::filesystem::path& file) {
  const std::unique_ptr<std::istream> in = files.Read(file);
  if (!*in) return "";
  return std::string(std::istreambuf_iterator<char>(*in), {});
}

FolderLock::FolderLock(FileSystem& files, const std::filesystem::path& folder, std::chrono::milliseconds wait,
                       const CancelToken* cancel, const std::function<void()>& waiting, const RunId& run)
    : files_(files), path_(FolderOf(folder) / kLockFileName), text_(LockText(run)) {
  const std::string shown = PathToUtf8(FolderOf(folder));
  const auto deadline = std::chrono::steady_clock::now() + wait;
  bool told = false;
  std::string seen, last;
  auto seenSince = std::chrono::steady_clock::now();
  for (;;) {
    std::error_code ec;
    held_ = files_.CreateNew(path_, text_, ec);
    if (held_) {
      // What a power loss leaves of it must still name its holder, so that it can be taken over.
      files_.Flush(path_);
      return;
    }
    if (ec != std::errc::file_exists) {
      throw ReplayError(shown, 0, "a folder it can lock to put the outputs into", ec.message());
    }
    last = seen;
    seen = ReadText(files_, path_);
    if (seen != last) seenSince = std::chrono::steady_clock::now();
    if (TakeOverIfStale(seen, seenSince)) continue;
    if (cancel != nullptr && cancel->requested()) throw ReplayError::Cancelled(shown);
    if (std::chrono::steady_clock::now() >= deadline) {
      const std::optional<Holder> holder = ParseLock(seen);
      if (LiveHere(holder)) {
        throw ReplayError(shown, 0, "to put the outputs into the folder",
                          "another run still writing to it after " + std::to_string(wait.count() / 1000) +
                              " s; try again");
      }
      const std::string who = holder ? "process " + std::to_string(holder->process) + " on " +
                                           (holder->host.empty() ? "an unnamed computer" : holder->host) +
                                           " since " + holder->since
                                     : "a run that did not say who it is";
      throw ReplayError(PathToUtf8(path_), 0, "to put the outputs into the folder",
                        "it locked by " + who + "; try again, or remove that file if no Vehisect runs there");
    }
    if (!told && waiting) waiting();
    told = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool FolderLock::TakeOverIfStale(const std::string& seen, std::chrono::steady_clock::time_point seenSince) {
  std::error_code ec;
  // Held while the lock file is judged and removed, so that no two runs take it over at once.
  const std::unique_ptr<Hold> claim = files_.Claim(path_, ec);
  if (ec == std::errc::no_such_file_or_directory) return true;  // let go of meanwhile
  if (!claim && !ec) return false;                               // its holder is alive
  if (ec && !LocksUnsupported(ec)) return false;
  if (ReadText(files_, path_) != seen) return false;
  const std::optional<Holder> holder = ParseLock(seen);
  bool stale = false;
  if (!holder) {
    // A lock file is claimed as it is made and written at once: one left unfinished and
    // unclaimed was cut short.
    stale = claim && std::chrono::steady_clock::now() - seenSince >= std::chrono::milliseconds(250);
  } else if (holder->host != HostName()) {
    stale = false;  // another computer's processes cannot be seen from here
  } else if (holder->boot != BootId()) {
    stale = true;
  } else if (holder->process == ThisProcess()) {
    stale = claim != nullptr;  // a run of this process holds its lock file's claim
  } else {
    stale = ProcessStart(holder->process) != holder->started;
  }
  if (!stale) return false;
  if (const std::error_code removed = files_.Remove(path_)) return false;
  if (holder) stopped_ = holder->run;
  return true;
}

FolderLock::~FolderLock() {
  // Removed while still held, so that no run of this process takes it for a stale one.
  files_.Remove(path_);
}

}  // namespace vehisect
