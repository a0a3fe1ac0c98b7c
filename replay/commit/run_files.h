#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace vehisect {

/// The identity of this process and of one run in it, as temporary file names carry it.
struct RunId {
  unsigned long process = 0;
  std::string run;  ///< 8 hex digits for this computer's name, then 8 random ones
};

/// A new identity for a run of this process.
RunId NewRun();

/// Whether the run `run` ran on this computer, as far as its name tells: computers that share
/// a folder give their runs different first digits.
bool OnThisHost(const RunId& run);

/// The name of the lock file that a run holds in a folder while it puts its outputs there;
/// never an output's name nor a run file's.
constexpr char kLockFileName[] = ".vehisect.lock";

/// A file that a run writes beside an output: "new" while the output is written, "old" for
/// the older file it replaces while the commit runs, "kept" for an older file that could not
/// be put back.
struct RunFileName {
  RunId run;
  std::size_t output = 0;  ///< the output's number in the run, from 1
  std::string kind;        ///< "new", "old" or "kept"
};

/// The path of the run file `file` beside the output called `name` (Windows-1252 bytes) in
/// `folder`: the output's name, shortened to fit, then ".vehisect-PID-RUN-K.KIND". The name
/// shows the output and the run, for the player and for the next run's cleanup; the number
/// keeps apart outputs whose names were shortened alike.
std::filesystem::path RunFilePath(const std::filesystem::path& folder, const std::string& name, const RunFileName& file);

/// The tail of such a file's name: ".vehisect-PID-RUN-K.KIND".
std::string RunFileTail(const RunFileName& file);

/// The run file whose name (UTF-8) is `name`, when it ends exactly as RunFileTail makes it
/// with the kind "new" or "old"; a kept file is never taken for one.
std::optional<RunFileName> ParseRunFile(const std::string& name);

}  // namespace vehisect
