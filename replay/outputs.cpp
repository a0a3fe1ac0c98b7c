#include "replay/outputs.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <optional>
#include <set>
#include <string_view>

#include "replay/error.h"
#include "replay/folder_lock.h"
#include "replay/names.h"
#include "replay/same_race.h"

namespace vehisect {
namespace {

constexpr char kMark[] = ".vehisect-";

// A file of the run `run` in `folder` for its `k`th output, `name`: "new" while it is written,
// "old" for the older file it replaces until the commit is done, "kept" for an older file that
// could not be put back. The name shows the output and the run, for the player and for the
// next run's cleanup; the number keeps apart outputs whose names were shortened alike.
std::filesystem::path RunFile(const std::filesystem::path& folder, const std::string& name, const RunId& run,
                              std::size_t k, const char* kind) {
  return OutputPath(folder, FittedName(name, kMark + std::to_string(run.process) + "-" + run.run + "-" +
                                                 std::to_string(k) + "." + kind));
}

// The run that left the file called `file` (UTF-8), when it is one of a run's "new" or "old"
// files.
std::optional<RunId> LeftBy(const std::string& file) {
  const std::size_t mark = file.rfind(kMark);
  if (mark == std::string::npos) return std::nullopt;
  const std::string rest = file.substr(mark + sizeof kMark - 1);
  const std::size_t dash = rest.find('-');
  const std::size_t dot = rest.rfind('.');
  if (dash == 0 || dash > 10 || dot == std::string::npos || dot < dash + 19 || rest[dash + 17] != '-') {
    return std::nullopt;
  }
  const std::string kind = rest.substr(dot + 1);
  const std::string run = rest.substr(dash + 1, 16);
  unsigned long process = 0;
  const auto [end, ec] = std::from_chars(rest.data(), rest.data() + dash, process);
  if ((kind != "new" && kind != "old") || ec != std::errc() || end != rest.data() + dash ||
      !std::all_of(run.begin(), run.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); })) {
    return std::nullopt;
  }
  return RunId{process, run};
}

std::string Failure(const std::error_code& ec) {
  return HeldOpen(ec) ? "it open in another program; close it and try again" : ec.message();
}

}  // namespace

bool CanWriteIn(const std::filesystem::path& folder) {
  const RunId run = NewRun();
  const std::filesystem::path probe = RunFile(folder, "vehisect-probe", run, 0, "new");
  const bool created = std::ofstream(probe, std::ios::binary).is_open();
  std::error_code ec;
  std::filesystem::remove(probe, ec);
  Retire(run);
  return created;
}

struct FileOutputStore::Output {
  std::size_t k = 0;
  std::string name;
  std::filesystem::path final;
  std::filesystem::path temporary;
  std::ofstream stream;
  std::filesystem::path backup;  // the older file of the output's name, while the commit runs
  bool in = false;               // the output has been renamed to `final`
};

FileOutputStore::FileOutputStore(std::filesystem::path folder, std::filesystem::path input, CommitOptions options)
    : folder_(std::move(folder)),
      input_(std::move(input)),
      options_(std::move(options)),
      files_(options_.files != nullptr ? *options_.files : SystemFiles()),
      run_(NewRun()) {}

FileOutputStore::~FileOutputStore() {
  Discard();
  Retire(run_);
}

std::string FileOutputStore::Describe(const std::string& name) const {
  return PathToUtf8(OutputPath(folder_, name));
}

void FileOutputStore::Refuse(const Output& output) const {
  std::error_code ec;
  const auto status = std::filesystem::status(output.final, ec);
  if (SameFile(output.final, input_)) {
    throw ReplayError(PathToUtf8(output.final), 0, "an output name other than the replay being split",
                      "the replay itself");
  }
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    throw ReplayError(PathToUtf8(output.final), 0, "a file name free for the output",
                      "something other than a file there");
  }
}

std::ostream& FileOutputStore::Open(const std::string& name) {
  auto output = std::make_unique<Output>();
  output->k = outputs_.size() + 1;
  output->name = name;
  output->final = OutputPath(folder_, name);
  Refuse(*output);
  output->temporary = RunFile(folder_, name, run_, output->k, "new");
  errno = 0;
  output->stream.open(output->temporary, std::ios::binary | std::ios::trunc);
  if (!output->stream) {
    throw ReplayError(Describe(name), 0, "to create the output", SystemErrorText(errno));
  }
  outputs_.push_back(std::move(output));
  return outputs_.back()->stream;
}

std::vector<std::string> FileOutputStore::Commit() {
  for (const auto& output : outputs_) {
    errno = 0;
    output->stream.close();
    if (output->stream.fail()) {
      throw ReplayError(PathToUtf8(output->final), 0, "to write the output", SystemErrorText(errno));
    }
  }
  const std::string folder = PathToUtf8(folder_.empty() ? "." : folder_);
  const FolderLock lock(folder_, kFolderWait, options_.cancel, [&] {
    if (options_.notice) options_.notice("waiting for another run writing to " + folder);
  });
  // From here on the commit runs to its end or its rollback: a stop is no longer honoured.
  CleanLeftovers();
  for (const auto& output : outputs_) Refuse(*output);
  SettleOtherRaces();
  bool replacing = false;
  for (const auto& output : outputs_) {
    std::error_code ec;
    replacing = replacing || std::filesystem::exists(output->final, ec);
  }
  // An older file must never give way to bytes that are still only in memory: after a power
  // loss its name would hold an empty file.
  if (replacing) {
    for (const auto& output : outputs_) {
      if (const std::error_code ec = files_.Flush(output->temporary)) {
        throw ReplayError(PathToUtf8(output->final), 0, "to write the output to the disk", ec.message());
      }
    }
  }
  try {
    for (const auto& output : outputs_) Place(*output);
  } catch (const ReplayError& e) {
    const std::string unrestored = PutBack();
    if (unrestored.empty()) throw;
    throw e.With("; then could not put back " + unrestored, ReplayError::Kind::kNotRestored);
  }
  if (replacing) {
    if (const std::error_code ec = files_.FlushFolder(folder_)) {
      warnings_.push_back(folder + ": expected to write the folder to the disk, found " + ec.message());
    }
  }
  std::vector<std::string> names;
  for (const auto& output : outputs_) {
    names.push_back(output->name);
    if (output->backup.empty()) continue;
    if (const std::error_code ec = files_.Remove(output->backup)) {
      warnings_.push_back(PathToUtf8(output->backup) + ": expected to remove the older output " +
                          PathToUtf8(output->final.filename()) + " it replaced, found " + ec.message());
    }
  }
  outputs_.clear();
  return names;
}

void FileOutputStore::SettleOtherRaces() {
  std::vector<Output*> others;
  OtherRaceQuestion question;
  const Output* own = nullptr;  // the first of them that this run wrote
  for (const auto& output : outputs_) {
    std::error_code ec;
    if (!std::filesystem::exists(output->final, ec)) continue;
    // What this run wrote itself is never replaced, whatever race it holds.
    const bool ours = options_.batch != nullptr && options_.batch->Wrote(output->final);
    std::ifstream existing(output->final, std::ios::binary), fresh(output->temporary, std::ios::binary);
    if (!ours && existing && fresh && SameRace(existing, fresh)) continue;
    others.push_back(output.get());
    question.files.push_back(PathToUtf8(output->final));
    if (ours && own == nullptr) own = output.get();
  }
  if (others.empty()) return;
  question.canReplace = own == nullptr;
  const OtherRace choice = options_.otherRace ? options_.otherRace(question) : OtherRace::kStop;
  if (choice == OtherRace::kKeepBoth) {
    for (Output* output : others) Renumber(*output);
    return;
  }
  if (own != nullptr) options_.batch->CheckWritten(input_, own->final);
  if (choice == OtherRace::kReplace) return;
  throw ReplayError(question.files.front(), 0, "an output of this race or no file",
                    "another race's output; use --replace to replace it or --keep-both to keep both",
                    ReplayError::Kind::kOtherRace);
}

void FileOutputStore::Renumber(Output& output) {
  // Free as a case-blind file system sees names, and not taken by another output of the run.
  std::set<std::string> taken;
  std::error_code ec;
  for (std::filesystem::directory_iterator entry(folder_.empty() ? "." : folder_, ec), end; !ec && entry != end;
       entry.increment(ec)) {
    taken.insert(FoldUtf8(PathToUtf8(entry->path().filename())));
  }
  for (const auto& other : outputs_) taken.insert(FoldUtf8(PathToUtf8(other->final.filename())));
  const std::string stem = output.name.substr(0, output.name.size() - std::string_view(".rpl").size());
  for (int n = 2;; ++n) {
    std::string name = FittedName(stem, " (" + std::to_string(n) + ").rpl");
    const std::filesystem::path final = OutputPath(folder_, name);
    if (taken.count(FoldUtf8(PathToUtf8(final.filename()))) != 0) continue;
    output.name = std::move(name);
    output.final = final;
    return;
  }
}

void FileOutputStore::CleanLeftovers() {
  std::error_code ec;
  for (std::filesystem::directory_iterator entry(folder_.empty() ? "." : folder_, ec), end; !ec && entry != end;
       entry.increment(ec)) {
    const std::optional<RunId> run = LeftBy(PathToUtf8(entry->path().filename()));
    if (!run || RunAlive(*run)) continue;
    if (!files_.Remove(entry->path()) && options_.notice) {
      options_.notice("removed " + PathToUtf8(folder_ / entry->path().filename()) + ", left by a run that was stopped");
    }
  }
}

void FileOutputStore::Place(Output& output) {
  const std::string shown = PathToUtf8(output.final);
  std::error_code ec;
  const bool replacing = std::filesystem::exists(output.final, ec);
  if (replacing) {
    // A second name for the older file: the rename below replaces it in one step, and a
    // rollback renames it back the same way.
    const std::filesystem::path backup = RunFile(folder_, output.name, run_, output.k, "old");
    if (const std::error_code kept = files_.Keep(output.final, backup)) {
      throw ReplayError(shown, 0,
                        HeldOpen(kept) ? "to replace the output" : "to keep the older file until the new one is in place",
                        Failure(kept));
    }
    output.backup = backup;
  }
  if (const std::error_code moved = files_.Rename(output.temporary, output.final)) {
    throw ReplayError(shown, 0, replacing ? "to replace the output" : "to put the output in place", Failure(moved));
  }
  output.in = true;
}

std::string FileOutputStore::PutBack() noexcept {
  std::string unrestored;
  const auto add = [&unrestored](const std::string& what) { unrestored.append(unrestored.empty() ? "" : ", ").append(what); };
  for (auto o = outputs_.rbegin(); o != outputs_.rend(); ++o) {
    Output& output = **o;
    if (output.in && output.backup.empty()) {
      if (files_.Remove(output.final)) add(PathToUtf8(output.final) + " (new)");
    } else if (output.in) {
      if (files_.Rename(output.backup, output.final)) {
        // Out of the cleanup's way: the next run must not take these bytes for a leftover.
        const std::filesystem::path kept = RunFile(folder_, output.name, run_, output.k, "kept");
        const bool moved = !files_.Rename(output.backup, kept);
        add(PathToUtf8(output.final) + " (new; its older file is " +
            PathToUtf8((moved ? kept : output.backup).filename()) + ")");
      }
    } else if (!output.backup.empty()) {
      files_.Remove(output.backup);
    }
    output.backup.clear();
    output.in = false;
  }
  return unrestored;
}

void FileOutputStore::Discard() noexcept {
  for (const auto& output : outputs_) {
    output->stream.close();
    if (output->in) continue;  // put back, or in place for good
    if (const std::error_code ec = files_.Remove(output->temporary); ec && ec != std::errc::no_such_file_or_directory) {
      warnings_.push_back(PathToUtf8(output->temporary) + ": expected to remove this unfinished output, found " +
                          ec.message());
    }
  }
  outputs_.clear();
}

}  // namespace vehisect
