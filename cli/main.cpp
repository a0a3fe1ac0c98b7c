// vehisect-cli: splits replays from the command line through the same core as the window.

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/look.h"
#include "cli/options.h"
#include "cli/terminal.h"
#include "replay/base/error.h"
#include "replay/base/paths.h"
#include "replay/base/system_files.h"
#include "replay/run/split_batch.h"

namespace vehisect::cli {
namespace {

// The exit status of a run that was stopped, as shells give for Ctrl-C.
constexpr int kStopped = 130;

// Prints what became of one replay, the files written on stdout: whether it was split.
bool Report(const ReplayOutcome& outcome) {
  for (const std::filesystem::path& file : outcome.files) std::cout << PathToUtf8(file) << "\n";
  FlushOutput();
  const bool split = outcome.kind == ReplayOutcome::Kind::kSplit;
  if (!split) {
    std::cerr << "vehisect-cli: " << outcome.message;
    // The core names no option of ours: the way to another answer is the command line's.
    if (outcome.kind == ReplayOutcome::Kind::kDeclined && outcome.message.ends_with(kAnotherRacesOutput)) {
      std::cerr << "; use --replace to replace it or --keep-both to keep both";
    }
    std::cerr << "\n";
  }
  for (const std::string& warning : outcome.warnings) std::cerr << "vehisect-cli: warning: " << warning << "\n";
  return split;
}

// The batch the options ask for, with its outputs in `folder`.
BatchOptions BatchOf(const Options& options, const std::filesystem::path& folder) {
  BatchOptions batch;
  batch.split = options.split;
  if (options.replace || options.keepBoth) {
    const OtherRace choice = options.replace ? OtherRace::kReplace : OtherRace::kKeepBoth;
    batch.otherRace = [choice](const OtherRaceQuestion&) { return choice; };
  }
  batch.notice = [](const std::string& note) { std::cerr << "vehisect-cli: " << note << "\n"; };
  batch.waiting = [](const std::filesystem::path& waitedFor) {
    std::cerr << "vehisect-cli: waiting for another run writing to " << PathToUtf8(waitedFor) << "\n";
  };
  batch.folderFor = [folder](const std::filesystem::path&) { return folder; };
  batch.progressEvery = std::chrono::milliseconds(100);
  return batch;
}

int SplitAll(FileSystem& files, const Options& options) {
  const std::filesystem::path folder = PathFromUtf8(options.outputFolder);
  if (const std::error_code ec = folder.empty() ? std::error_code() : files.CreateFolders(folder)) {
    std::cerr << "vehisect-cli: " << options.outputFolder << ": expected an output folder, found " << ec.message() << "\n";
    return 1;
  }
  const StopSignals signals;
  std::vector<std::filesystem::path> replays;
  for (const std::string& replay : options.replays) replays.push_back(PathFromUtf8(replay));
  BatchOptions batch = BatchOf(options, folder);
  batch.cancel = &signals.stop();
  Console console(!options.quiet && IsTerminal(stderr));
  batch.starting = [&console](const std::filesystem::path& replay) { console.Start(PathToUtf8(replay)); };
  int status = 0;
  batch.finished = [&](const ReplayOutcome& outcome) {
    console.Clear();
    if (!Report(outcome)) status = 1;
  };
  const std::vector<ReplayOutcome> outcomes = SplitBatch(files, replays, batch, console);
  const bool stopped = outcomes.size() < replays.size() ||
                       (!outcomes.empty() && outcomes.back().kind == ReplayOutcome::Kind::kStopped);
  return stopped ? kStopped : status;
}

int Run(FileSystem& files, const std::vector<std::string>& args) {
  std::optional<Options> options;
  try {
    options = ParseArguments(args);
  } catch (const UsageError& e) {
    std::cerr << "vehisect-cli: " << e.problem << "; see 'vehisect-cli --help'\n";
    return 2;
  }
  const int status = !options                  ? 0
                     : options->list             ? List(files, *options)
                     : !options->map.empty()     ? Draw(files, *options)
                                                 : SplitAll(files, *options);
  // The paths printed are the run's result: a full disk or a closed output must not pass for
  // success.
  FlushOutput();
  if (OutputError() != 0) {
    std::cerr << "vehisect-cli: standard output: expected to write the results, found "
              << SystemErrorText(OutputError()) << "\n";
    return status == 0 ? 1 : status;
  }
  return status;
}

}  // namespace
}  // namespace vehisect::cli

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  vehisect::SetUpTerminal();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(vehisect::PathToUtf8(std::filesystem::path(argv[i])));
  return vehisect::cli::Run(vehisect::SystemFiles(), args);
}
#else
int main(int argc, char** argv) {
  return vehisect::cli::Run(vehisect::SystemFiles(), std::vector<std::string>(argv + 1, argv + argc));
}
#endif
