#pragma once

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "replay/commit/outputs.h"

namespace vehisect::testing {

/// Outputs kept in memory, for tests and the fuzzer.
class MemoryOutputStore : public OutputStore {
 public:
  std::ostream& Open(const std::string& name) override {
    open_.emplace_back(name, std::make_unique<std::ostringstream>());
    return *open_.back().second;
  }
  std::string Describe(const std::string& name) const override { return name; }
  std::vector<std::string> Commit() override {
    std::vector<std::string> names;
    for (auto& [name, stream] : open_) {
      files_[name] = stream->str();
      names.push_back(name);
    }
    open_.clear();
    return names;
  }
  void Discard() noexcept override { open_.clear(); }
  /// The committed outputs by name.
  const std::map<std::string, std::string>& files() const { return files_; }

 private:
  std::vector<std::pair<std::string, std::unique_ptr<std::ostringstream>>> open_;
  std::map<std::string, std::string> files_;
};

}  // namespace vehisect::testing
