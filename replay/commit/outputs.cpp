#include "replay/commit/outputs.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <optional>
#include <set>
#include <string_view>

#include "replay/base/case_fold.h"
#include "replay/base/error.h"
#include "replay/base/paths.h"
#include "replay/base/process.h"
#include "replay/commit/folder_lock.h"

namespace vehisect {
namespace {

std::string Failure(const std::error_code& ec) {
  return HeldOpen(ec) ? "it open in another program; close it and try again" : ec.message();
}

}  // namespace

void CheckOutputName(FileSystem& files, const std::filesystem::path& output, const std::filesystem::path& input,
                     bool sameFolder) {
  if (SameFile(files, output, input) ||
      (sameFolder && FoldUtf8(PathToUtf8(output.filename())) == FoldUtf8(PathToUtf8(input.filename())))) {
    throw ReplayError(PathToUtf8(output), 0, "an output name other than the replay being split", "the replay itself");
  }
  const auto status = files.Status(output);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    throw ReplayError(PathToUtf8(output), 0, "a file name free for the output", "something other than a file there");
  }
}

struct FileOutputStore::Output {
  std::size_t k = 0;
  std::string name;
  std::filesystem::path final;
  std::filesystem::path temporary;
  std::unique_ptr<std::ostream> stream;
  std::unique_ptr<Hold> claim;   // tells other runs' cleanup that `temporary` is in use
  std::filesystem::path backup;  // the older file of the output's name, while the commit runs
  bool in = false;               // the output has been renamed to `final`
};

// The outputs whose names hold a file of another race, and the question to put about them.
struct FileOutputStore::OtherRaces {
  std::vector<Output*> outputs;
  OtherRaceQuestion question;
  const Output* own = nullptr;  // the first of them that this run wrote
};

FileOutputStore::FileOutputStore(FileSystem& files, std::filesystem::path folder, std::filesystem::path input,
                                 CommitOptions options)
    : folder_(std::move(folder)), input_(std::move(input)), options_(std::move(options)), files_(files), run_(NewRun()) {}

FileOutputStore::~FileOutputStore() { Discard(); }

bool FileOutputStore::Exists(const std::filesystem::path& path) const {
  return std::filesystem::exists(files_.Status(path));
}

bool FileOutputStore::HoldsSameRace(const std::filesystem::path& existing, const std::filesystem::path& fresh) const {
  if (!options_.sameRace) return false;
  const std::unique_ptr<std::istream> old = files_.Read(existing), now = files_.Read(fresh);
  return *old && *now && options_.sameRace(*old, *now);
}

std::filesystem::path FileOutputStore::PathOf(const std::string& name) const { return OutputPath(folder_, name); }

std::ostream& FileOutputStore::Open(const std::string& name) {
  auto output = std::make_unique<Output>();
  output->k = outputs_.size() + 1;
  output->name = name;
  output->final = OutputPath(folder_, name);
  CheckOutputName(files_, output->final, input_);
  output->temporary = RunFilePath(folder_, name, {run_, output->k, "new"});
  // Claimed at once, so that no other run's cleanup takes it for a leftover; a cleanup that
  // removed it first makes it be created again. Where the file system takes no locks, its
  // name alone keeps it: no cleanup removes what it cannot claim.
  for (int attempt = 1; !output->claim; ++attempt) {
    output->stream = files_.Create(output->temporary);
    if (!*output->stream) throw ReplayError(PathToUtf8(output->final), 0, "to create the output", SystemErrorText(errno));
    std::error_code ec;
    output->claim = files_.Claim(output->temporary, ec);
    if (!output->claim && LocksUnsupported(ec)) break;
    if (!output->claim && attempt == 3) {
      output->stream.reset();
      files_.Remove(output->temporary);
      throw ReplayError(PathToUtf8(output->final), 0, "to create the output",
                        ec ? ec.message() : "another run taking it away; try again");
    }
    if (!output->claim) output->stream.reset();
  }
  outputs_.push_back(std::move(output));
  return *outputs_.back()->stream;
}

std::vector<PlacedOutput> FileOutputStore::Commit() {
  for (const auto& output : outputs_) {
    errno = 0;
    if (!output->stream->flush()) {
      throw ReplayError(PathToUtf8(output->final), 0, "to write the output", SystemErrorText(errno));
    }
    output->stream.reset();
  }
  // The question is asked before the folder's lock is taken, so that no other run waits on
  // the player's answer, and asked again when the files under the lock are not those asked of.
  std::set<std::filesystem::path> asked;
  OtherRace answer = OtherRace::kStop;
  const auto waiting = [&] {
    if (options_.waiting) options_.waiting(FolderOf(folder_));
  };
  for (;;) {
    const OtherRaces seen = FindOtherRaces();
    if (!Covered(seen, asked)) {
      answer = options_.otherRace ? options_.otherRace(seen.question) : OtherRace::kStop;
      asked.insert(seen.question.files.begin(), seen.question.files.end());
    }
    FolderLock lock(files_, folder_, kFolderWait, options_.cancel, waiting, run_);
    // From here on the commit runs to its end or its rollback: a stop is no longer honoured.
    CleanLeftovers(lock.stopped());
    for (const auto& output : outputs_) CheckOutputName(files_, output->final, input_, lock.Locks(input_.parent_path()));
    const OtherRaces others = FindOtherRaces();
    if (Covered(others, asked)) return SettleAndPlace(lock, others, answer);
  }
}

std::vector<PlacedOutput> FileOutputStore::SettleAndPlace(FolderLock& lock, const OtherRaces& others, OtherRace answer) {
  std::vector<PlacedOutput> placed;
  try {
    Settle(others, answer);
    placed = PlaceAll();
  } catch (const ReplayError& e) {
    // The next run takes a lock left behind for a stopped run's: the player must hear of it.
    if (const std::error_code ec = lock.Release()) {
      throw e.With("; then could not remove the lock file " + PathToUtf8(lock.path()) + " (" + ec.message() + ")");
    }
    throw;
  }
  if (const std::error_code ec = lock.Release()) {
    warnings_.push_back(PathToUtf8(lock.path()) + ": expected to remove the folder's lock file, found " +
                        ec.message() + "; remove it once no Vehisect runs there");
  }
  return placed;
}

bool FileOutputStore::Covered(const OtherRaces& others, const std::set<std::filesystem::path>& asked) {
  return std::all_of(others.question.files.begin(), others.question.files.end(),
                     [&](const std::filesystem::path& file) { return asked.count(file) != 0; });
}

std::vector<PlacedOutput> FileOutputStore::PlaceAll() {
  const std::string folder = PathToUtf8(FolderOf(folder_));
  // No name may be given to bytes that are still only in memory: after a power loss it would
  // hold a file cut short, in place of its older file or of nothing.
  std::vector<std::filesystem::path> temporaries;
  for (const auto& output : outputs_) temporaries.push_back(output->temporary);
  const std::vector<std::error_code> flushed = files_.FlushAll(temporaries);
  for (std::size_t k = 0; k < flushed.size(); ++k) {
    if (flushed[k]) throw ReplayError(PathToUtf8(outputs_[k]->final), 0, "to write the output to the disk", flushed[k].message());
  }
  // Under the folder's lock no other run cleans up, so the claims may go: a put-back must be
  // able to rename over a new output, which Wine refuses while it is held open.
  for (const auto& output : outputs_) output->claim.reset();
  try {
    for (const auto& output : outputs_) PlaceOne(*output);
  } catch (const ReplayError& e) {
    const std::string unrestored = PutBack();
    files_.FlushFolder(folder_);
    Discard();  // still under the lock, where no cleanup can take the files first
    if (unrestored.empty()) throw;
    throw e.With("; then could not put back " + unrestored, ReplayError::Kind::kNotRestored);
  }
  // "Finished" means on the disk. Until the names are, the older files stay: the next run
  // names them, and a power loss finds every output whole, old or new.
  if (const std::error_code ec = files_.FlushFolder(folder_)) {
    throw ReplayError(folder, 0, "to write the folder to the disk",
                      ec.message() + "; the outputs are in place but may not survive a power loss");
  }
  std::vector<PlacedOutput> placed;
  for (const auto& output : outputs_) {
    placed.push_back({output->name, output->final});
    if (output->backup.empty()) continue;
    if (const std::error_code ec = files_.Remove(output->backup)) {
      warnings_.push_back(PathToUtf8(output->backup) + ": expected to remove the older output " +
                          PathToUtf8(output->final.filename()) + " it replaced, found " + ec.message());
    }
  }
  outputs_.clear();
  return placed;
}

FileOutputStore::OtherRaces FileOutputStore::FindOtherRaces() const {
  OtherRaces others;
  for (const auto& output : outputs_) {
    if (!Exists(output->final)) continue;
    // What this run wrote itself is never replaced, whatever race it holds.
    const bool ours = options_.batch != nullptr && options_.batch->Wrote(output->final);
    if (!ours && HoldsSameRace(output->final, output->temporary)) continue;
    others.outputs.push_back(output.get());
    others.question.files.push_back(output->final);
    if (ours && others.own == nullptr) others.own = output.get();
  }
  others.question.canReplace = others.own == nullptr;
  return others;
}

void FileOutputStore::Settle(const OtherRaces& others, OtherRace choice) {
  if (others.outputs.empty()) return;
  if (choice == OtherRace::kKeepBoth) {
    for (Output* output : others.outputs) Renumber(*output);
    return;
  }
  if (others.own != nullptr) options_.batch->CheckWritten(input_, others.own->final);
  if (choice == OtherRace::kReplace) return;
  throw ReplayError(PathToUtf8(others.question.files.front()), 0, "an output of this race or no file",
                    kAnotherRacesOutput,
                    ReplayError::Kind::kOtherRace);
}

std::vector<FolderEntry> FileOutputStore::ListFolder() {
  std::vector<FolderEntry> entries;
  if (const std::error_code ec = files_.List(folder_, entries)) {
    throw ReplayError(PathToUtf8(FolderOf(folder_)), 0, "a folder it can list to put the outputs into", ec.message());
  }
  return entries;
}

void FileOutputStore::Renumber(Output& output) {
  // Free as a case-blind file system sees names, and not taken by another output of the run;
  // the file system itself has the last word on whether a name is taken.
  std::set<std::string> taken;
  for (const FolderEntry& entry : ListFolder()) taken.insert(FoldUtf8(PathToUtf8(entry.name)));
  std::set<std::string> outputs;
  for (const auto& other : outputs_) {
    if (other.get() != &output) outputs.insert(FoldUtf8(PathToUtf8(other->final.filename())));
  }
  const std::string stem = output.name.substr(0, output.name.size() - std::string_view(".rpl").size());
  for (int n = 2;; ++n) {
    std::string name = FittedName(stem, " (" + std::to_string(n) + ").rpl");
    const std::filesystem::path final = OutputPath(folder_, name);
    const std::string key = FoldUtf8(PathToUtf8(final.filename()));
    if (outputs.count(key) != 0) continue;
    if (taken.count(key) != 0 || Exists(final)) {
      // Kept both before: a file of this race under a numbered name is this output already.
      const bool ours = options_.batch != nullptr && options_.batch->Wrote(final);
      if (ours || !std::filesystem::is_regular_file(files_.Status(final)) || !HoldsSameRace(final, output.temporary)) {
        continue;
      }
    }
    output.name = std::move(name);
    output.final = final;
    return;
  }
}

bool FileOutputStore::Redundant(const std::filesystem::path& old, const RunFileName& run) const {
  if (run.output == 0) return true;  // a second name of a lock file, never an output's
  // An older output is redundant only where its output's name still holds it, or its bytes: a
  // run whose commit was cut short, or that could not put it back, may have left its only copy.
  const std::string name = PathToUtf8(old.filename());
  const std::filesystem::path output = folder_ / PathFromUtf8(name.substr(0, name.size() - RunFileTail(run).size()));
  if (files_.Equivalent(old, output)) return true;
  const std::unique_ptr<std::istream> a = files_.Read(old), b = files_.Read(output);
  return *a && *b && std::equal(std::istreambuf_iterator<char>(*a), {}, std::istreambuf_iterator<char>(*b), {});
}

void FileOutputStore::CleanLeftovers(const std::optional<RunId>& stopped) {
  std::string left;
  const auto leave = [&left](const std::filesystem::path& file) { left.append(left.empty() ? "" : ", ").append(PathToUtf8(file)); };
  for (const FolderEntry& entry : ListFolder()) {
    const std::optional<RunFileName> run = ParseRunFile(PathToUtf8(entry.name));
    if (!run || (run->run.process == run_.process && run->run.run == run_.run)) continue;  // this run's own
    const std::filesystem::path file = folder_ / entry.name;
    if (!entry.regular) {
      leave(file);  // only what a run writes, as it writes it, is removed
      continue;
    }
    const bool stoppedHere = stopped && stopped->process == run->run.process && stopped->run == run->run.run;
    // A run of another computer, or a live one of this, may still need it: a claim cannot tell
    // through every mount, its process can.
    const bool mine = OnThisHost(run->run);
    if (mine && !stoppedHere && run->run.process != ThisProcess() && ProcessStart(run->run.process) != 0) continue;
    std::error_code ec;
    const std::unique_ptr<Hold> claim = mine ? files_.Claim(file, ec) : nullptr;  // held while removed
    if (mine && !claim && !ec) continue;  // a live run of this process, or through this mount
    if (!mine || ec || (run->kind == "old" && !Redundant(file, *run))) {
      if (ec != std::errc::no_such_file_or_directory) leave(file);
      continue;
    }
    const std::error_code removed = files_.Remove(file);
    if (!removed && options_.notice) {
      options_.notice("removed " + PathToUtf8(file) + ", left by " +
                      (stoppedHere ? "a run that was stopped" : "an earlier run"));
    }
  }
  if (!left.empty() && options_.notice) {
    options_.notice("left " + left + ": another run may still need them, or they hold older outputs; remove them "
                    "yourself once no Vehisect runs there");
  }
}

void FileOutputStore::PlaceOne(Output& output) {
  const std::string shown = PathToUtf8(output.final);
  // A file system that folds names by rules of its own may take two names of the run for one.
  for (const auto& other : outputs_) {
    if (other->in && SameFile(files_, other->final, output.final)) {
      throw ReplayError(shown, 0, "a name of its own for each output",
                        PathToUtf8(other->final.filename()) + ", which the file system takes for the same name");
    }
  }
  const bool replacing = Exists(output.final);
  if (replacing) {
    // A second name for the older file: the rename below replaces it in one step, and a
    // rollback renames it back the same way.
    const std::filesystem::path backup = RunFilePath(folder_, output.name, {run_, output.k, "old"});
    if (const std::error_code kept = files_.LinkOrCopy(output.final, backup)) {
      throw ReplayError(shown, 0,
                        HeldOpen(kept) ? "to replace the output" : "to keep the older file until the new one is in place",
                        Failure(kept));
    }
    output.backup = backup;
    // Where it is a copy (FAT, exFAT), a put-back must not give the name unwritten bytes.
    if (const std::error_code flushed = files_.Flush(backup)) {
      throw ReplayError(shown, 0, "to keep the older file until the new one is in place", Failure(flushed));
    }
  }
  if (const std::error_code moved = files_.Rename(output.temporary, output.final)) {
    throw ReplayError(shown, 0, replacing ? "to replace the output" : "to put the output in place", Failure(moved));
  }
  output.in = true;
}

bool FileOutputStore::MoveAside(const std::filesystem::path& from, const std::filesystem::path& to) noexcept {
  const std::error_code renamed = files_.Rename(from, to);
  if (!renamed) return true;
  const std::error_code copied = files_.LinkOrCopy(from, to);
  const std::error_code flushed = copied ? copied : files_.Flush(to);
  if (flushed) return false;
  files_.Remove(from);
  return true;
}

std::string FileOutputStore::PutBack() noexcept {
  std::string unrestored;
  const auto add = [&unrestored](const std::string& what) { unrestored.append(unrestored.empty() ? "" : ", ").append(what); };
  for (auto o = outputs_.rbegin(); o != outputs_.rend(); ++o) {
    Output& output = **o;
    if (output.in && output.backup.empty()) {
      if (const std::error_code removed = files_.Remove(output.final)) add(PathToUtf8(output.final) + " (new)");
    } else if (output.in) {
      if (const std::error_code back = files_.Rename(output.backup, output.final)) {
        // Out of the cleanup's way: the next run must not take these bytes for a leftover.
        const std::filesystem::path kept = RunFilePath(folder_, output.name, {run_, output.k, "kept"});
        const bool moved = MoveAside(output.backup, kept);
        add(PathToUtf8(output.final) + " (new; its older file is " +
            PathToUtf8((moved ? kept : output.backup).filename()) + ")");
      }
    } else if (!output.backup.empty()) {
      files_.Remove(output.backup);
    }
    // The new bytes are no longer under the temporary name, whether they went or stayed.
    if (output.in) output.temporary.clear();
    output.backup.clear();
    output.in = false;
  }
  return unrestored;
}

void FileOutputStore::Discard() noexcept {
  for (const auto& output : outputs_) {
    output->stream.reset();
    if (output->in || output->temporary.empty()) continue;  // in place for good, or put back
    // Missing, it was moved or removed by someone else: the player must hear of it all the same.
    if (const std::error_code ec = files_.Remove(output->temporary)) {
      warnings_.push_back(PathToUtf8(output->temporary) + ": expected to remove this unfinished output, found " +
                          ec.message());
    }
  }
  outputs_.clear();
}

}  // namespace vehisect
