#include "replay/commit/run_files.h"

#include <cstdio>
#include <mutex>
#include <random>
#include <regex>

#include "replay/base/paths.h"
#include "replay/base/process.h"

namespace vehisect {

RunId NewRun() {
  static std::mutex mutex;
  static std::mt19937_64 random{std::random_device{}()};
  const std::lock_guard lock(mutex);
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(random()));
  return {ThisProcess(), hex};
}

namespace {
constexpr char kRunMark[] = ".vehisect-";
}  // namespace

std::filesystem::path RunFilePath(const std::filesystem::path& folder, const std::string& name, const RunFileName& file) {
  return OutputPath(folder, FittedName(name, RunFileTail(file)));
}

std::string RunFileTail(const RunFileName& file) {
  return kRunMark + std::to_string(file.run.process) + "-" + file.run.run + "-" + std::to_string(file.output) + "." +
         file.kind;
}

std::optional<RunFileName> ParseRunFile(const std::string& name) {
  static const std::regex tail(R"(\.vehisect-([0-9]{1,10})-([0-9a-f]{16})-([0-9]{1,9})\.(new|old)$)");
  std::smatch match;
  if (!std::regex_search(name, match, tail)) return std::nullopt;
  RunFileName file;
  file.run.process = std::stoul(match[1]);
  file.run.run = match[2];
  file.output = std::stoul(match[3]);
  file.kind = match[4];
  return file;
}

}  // namespace vehisect
