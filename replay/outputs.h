#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace vehisect {

/// Where the outputs of a run go. Outputs become visible all together on Commit, or not at all.
class OutputStore {
 public:
  virtual ~OutputStore() = default;
  /// Opens a new output that will be called `name` (Windows-1252 bytes); raises ReplayError
  /// when that name cannot be given.
  virtual std::ostream& Open(const std::string& name) = 0;
  /// The name of `name`'s output as errors and listings show it.
  virtual std::string Describe(const std::string& name) const = 0;
  /// Closes every output and makes them all visible; raises ReplayError on any failure.
  virtual void Commit() = 0;
  /// Drops every output not yet committed; never fails.
  virtual void Discard() noexcept = 0;
  /// What went wrong after the outputs were in place, which the run does not fail for.
  const std::vector<std::string>& warnings() const { return warnings_; }

 protected:
  std::vector<std::string> warnings_;
};

/// Renames the file `from` to `to`, which must not exist; returns the error, or none.
using FileMover = std::function<std::error_code(const std::filesystem::path& from,
                                                const std::filesystem::path& to)>;

/// The system's rename; on Windows retried for about a second while another program, a virus
/// scanner or an indexer, holds the file open.
std::error_code RenameFile(const std::filesystem::path& from, const std::filesystem::path& to);

/// Whether a new file can be created in `folder`: tried with a temporary file, removed at once.
bool CanWriteIn(const std::filesystem::path& folder);

/// Outputs as files in a folder, written to temporary files there and renamed into place on
/// Commit: all of them, or, when any rename fails, none, with every existing file as it was.
class FileOutputStore : public OutputStore {
 public:
  /// Writes into `folder`, refusing any name that would replace the file `input`; renames
  /// with `move`, which tests replace to make renames fail.
  FileOutputStore(std::filesystem::path folder, std::filesystem::path input,
                  FileMover move = RenameFile);
  ~FileOutputStore() override;
  std::ostream& Open(const std::string& name) override;
  std::string Describe(const std::string& name) const override;
  void Commit() override;
  void Discard() noexcept override;

 private:
  struct Output;
  struct Placed;
  void Place(const Output& output, std::vector<Placed>& placed);
  void PutBack(std::vector<Placed>& placed, std::string& unrestored) noexcept;
  std::filesystem::path folder_;
  std::filesystem::path input_;
  FileMover move_;
  std::vector<std::unique_ptr<Output>> outputs_;
};

/// Outputs kept in memory, for tests and the fuzzer.
class MemoryOutputStore : public OutputStore {
 public:
  std::ostream& Open(const std::string& name) override;
  std::string Describe(const std::string& name) const override { return name; }
  void Commit() override;
  void Discard() noexcept override;
  /// The committed outputs by name.
  const std::map<std::string, std::string>& files() const { return files_; }

 private:
  std::vector<std::pair<std::string, std::unique_ptr<std::ostringstream>>> open_;
  std::map<std::string, std::string> files_;
};

}  // namespace vehisect
