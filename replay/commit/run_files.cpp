#include "replay/commit/run_files.h"

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <random>
#include <regex>

#include "replay/base/case_fold.h"
#include "replay/base/paths.h"
#include "replay/base/process.h"

namespace vehisect {

namespace {

constexpr char kRunMark[] = ".vehisect-";

// The first 8 digits of this computer's runs: its name, folded, hashed (FNV-1a).
std::string HostDigits() {
  static const std::string digits = [] {
    std::uint32_t hash = 2166136261u;
    for (const char c : FoldUtf8(HostName())) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(hash));
    return std::string(hex);
  }();
  return digits;
}

}  // namespace

RunId NewRun() {
  static std::mutex mutex;
  static std::mt19937 random{std::random_device{}()};
  const std::lock_guard lock(mutex);
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(random()));
  return {ThisProcess(), HostDigits() + hex};
}

bool OnThisHost(const RunId& run) { return run.run.starts_with(HostDigits()); }

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
