#pragma once

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "replay/base/paths.h"
#include "replay/commit/outputs.h"

namespace vehisect::testing {

/// Outputs kept in memory, for tests and the fuzzer.
class MemoryOutputStore : public OutputStore {
 public:
  std::ostream& Open(const std::string& name) override {
    open_.emplace_back(name, std::make_unique<std::ostringstream>());
    return *open_.back().second;
  }
  std::filesystem::path PathOf(const std::string& name) const override { return OutputPath({}, name); }
  std::vector<PlacedOutput> Commit() override {
    std::vector<PlacedOutput> placed;
    for (auto& [name, stream] : open_) {
      files_[name] = stream->str();
      placed.push_back({name, PathOf(name)});
    }
    open_.clear();
    return placed;
  }
  void Discard() noexcept override { open_.clear(); }
  /// The committed outputs by name.
  const std::map<std::string, std::string>& files() const { return files_; }

 private:
  std::vector<std::pair<std::string, std::unique_ptr<std::ostringstream>>> open_;
  std::map<std::string, std::string> files_;
};

}  // namespace vehisect::testing
