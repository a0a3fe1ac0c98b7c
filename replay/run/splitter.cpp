#include "replay/run/splitter.h"

#include <deque>

#include "replay/base/error.h"
#include "replay/format/header.h"
#include "replay/format/lines.h"
#include "replay/run/names.h"
#include "replay/format/reader.h"
#include "replay/format/replay_file.h"
#include "replay/format/same_race.h"
#include "replay/format/record.h"
#include "replay/format/writer.h"

namespace vehisect {
namespace {

// `error` of the run over `replay` with what could not be cleaned up after it; a stop is told
// of the replay, wherever the run was.
ReplayError WithWarnings(const ReplayError& error, const std::string& replay, const std::vector<std::string>& warnings) {
  const ReplayError base = error.kind() == ReplayError::Kind::kCancelled ? ReplayError::Cancelled(replay) : error;
  std::string note;
  for (const std::string& warning : warnings) note.append("; then ").append(warning);
  return base.With(note);
}

// The outputs of one run, each with its writer: one per vehicle chosen, none for the others.
struct Writers {
  // Declared first, so that it outlives the writers whose buffers it writes.
  BackgroundWriter background;
  std::deque<OutputWriter> writers;
  std::vector<OutputWriter*> of;  // by vehicle, or none for a vehicle not chosen
};

// Opens the output of each vehicle `chosen` in `store`, and writes its header.
void OpenOutputs(const ReplayHeader& header, const std::vector<std::string>& names,
                 const std::vector<std::size_t>& chosen, bool useRecordPtr, OutputStore& store, Writers& out) {
  out.of.assign(names.size(), nullptr);
  for (const std::size_t k : chosen) {
    out.of[k] = &out.writers.emplace_back(store.Open(names[k]), PathToUtf8(store.PathOf(names[k])), out.background);
  }
  for (const std::size_t k : chosen) {
    for (const std::string_view line : OutputHeaderLines(header, k, useRecordPtr)) {
      out.of[k]->Write(line);
      out.of[k]->Write(kLineEnd);
    }
  }
}

// Reads every record, each shared one to every output and each vehicle's to its own, as the
// progress counts them; then writes the outputs' last bytes.
void CopyRecords(LineReader& reader, const ReplayHeader& header, const SplitOptions& options, const CancelToken& cancel,
                 const std::string& replayName, ProgressSink& progress, Writers& out) {
  progress.SetProgressMax(static_cast<float>(header.records));
  StateRecord record;
  const auto write = [&record](OutputWriter& writer) {
    for (const std::string_view piece : record.pieces) writer.Write(piece);
  };
  for (std::uint64_t r = 1; r <= header.records; ++r) {
    cancel.ThrowIfRequested(replayName);
    if (options.asListed && reader.AtEnd()) break;
    ReadRecordOf(reader, header.vehicleCount, r, header.records, record, options.plainRecords);
    if (record.shared) {
      for (OutputWriter& writer : out.writers) write(writer);
    } else if (OutputWriter* writer = out.of[record.vehicle]) {
      write(*writer);
    }
    progress.SetProgressValue(static_cast<float>(r));
  }
  for (OutputWriter& writer : out.writers) writer.Flush();
  out.background.Wait();
}

// Splits `replay`, read from the file `replayPath` where there is one, and named
// `replayName` in errors.
SplitResult SplitStream(std::istream& replay, const std::filesystem::path& replayPath, const std::string& replayName,
                        const SplitOptions& options, const CommitOptions& commit, ProgressSink& progress,
                        OutputStore& store) {
  const CancelToken never;
  const CancelToken& cancel = commit.cancel != nullptr ? *commit.cancel : never;
  LineReader reader(replay, replayName);
  ReplayHeader header = ReadHeader(reader);
  if (header.vehicleCount == 1 && !options.asListed) return {true, {}, {}, {}};
  if (header.vehicleCount == 1) ReadRestOfHeader(reader, header);

  const std::vector<std::string> names = OutputNames(header, replayName);
  const std::vector<std::size_t> chosen = SelectVehicles(header, names, options.vehicles, replayName);
  SplitResult result;
  std::vector<std::filesystem::path> paths;
  for (const std::size_t k : chosen) paths.push_back(store.PathOf(names[k]));
  if (commit.batch != nullptr) commit.batch->Check(replayPath, paths);
  cancel.ThrowIfRequested(replayName);
  try {
    Writers writers;
    OpenOutputs(header, names, chosen, options.useRecordPtr, store, writers);
    CopyRecords(reader, header, options, cancel, replayName, progress, writers);
    cancel.ThrowIfRequested(replayName);
    for (PlacedOutput& placed : store.Commit()) {
      result.outputs.push_back(std::move(placed.name));
      result.files.push_back(std::move(placed.path));
    }
  } catch (const ReplayError& e) {
    store.Discard();
    throw WithWarnings(e, replayName, store.warnings());
  } catch (...) {
    store.Discard();
    throw;
  }
  result.warnings = store.warnings();
  if (commit.batch != nullptr) commit.batch->Add(replayPath, result.files);
  return result;
}

}  // namespace

std::string RefusalOnOneLine() {
  std::string line(kRefusal);
  return line.replace(line.find("\r\n"), 2, ", ");
}

SplitResult SplitReplay(std::istream& replay, const std::string& replayName, const SplitOptions& options,
                        ProgressSink& progress, OutputStore& outputs, const CancelToken* cancel) {
  CommitOptions commit;
  commit.cancel = cancel;
  return SplitStream(replay, {}, replayName, options, commit, progress, outputs);
}

SplitResult SplitReplay(std::istream& replay, const std::string& replayName, bool useRecordPtr,
                        ProgressSink& progress, OutputStore& outputs) {
  SplitOptions options;
  options.useRecordPtr = useRecordPtr;
  return SplitReplay(replay, replayName, options, progress, outputs);
}

SplitResult SplitReplay(FileSystem& files, const std::filesystem::path& replayPath, const SplitOptions& options,
                        ProgressSink& progress, const std::filesystem::path& outputFolder,
                        const CommitOptions& commit) {
  const std::string shown = PathToUtf8(replayPath);
  SplitResult result;
  {
    const std::unique_ptr<std::istream> replay = OpenReplay(files, replayPath, shown);
    CommitOptions races = commit;
    races.sameRace = [](std::istream& existing, std::istream& fresh) { return SameRace(existing, fresh); };
    FileOutputStore outputs(files, outputFolder, replayPath, races);
    result = SplitStream(*replay, replayPath, shown, options, commit, progress, outputs);
  }  // every file is closed before the caller reports the end
  return result;
}

SplitResult SplitReplay(FileSystem& files, const std::filesystem::path& replayPath, bool useRecordPtr,
                        ProgressSink& progress, const std::filesystem::path& outputFolder) {
  SplitOptions options;
  options.useRecordPtr = useRecordPtr;
  return SplitReplay(files, replayPath, options, progress, outputFolder);
}

}  // namespace vehisect
