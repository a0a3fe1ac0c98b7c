#include "window/sentences.h"

#include <cctype>

#include "replay/base/encoding.h"
#include "replay/base/paths.h"
#include "replay/run/race_picture.h"
#include "window/texts.h"

namespace vehisect {
namespace {

// A summary lists this many failed replays, then how many more: at 144 DPI a box of more
// would not fit on a screen 800 pixels high.
constexpr std::size_t kListed = 5;

// `name` (UTF-8) shortened in the middle to `width` characters at most, so that a box shows
// its start and its end, where the driver and the extension are.
std::string ShortenMiddle(const std::string& name, std::size_t width = 60) {
  std::vector<std::size_t> starts;  // where each character begins
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (!IsUtf8Continuation(name[i])) starts.push_back(i);
  }
  if (starts.size() <= width) return name;
  const std::size_t half = (width - 1) / 2;
  return name.substr(0, starts[half]) + "\u2026" + name.substr(starts[starts.size() - half]);
}

std::string FileName(const std::filesystem::path& path) { return PathToUtf8(path.filename()); }

std::string Names(const std::vector<std::filesystem::path>& replays) {
  std::string names;
  for (std::size_t i = 0; i < replays.size(); ++i) names.append(i ? ", " : "").append(FileName(replays[i]));
  return names;
}

// How many of the run's replays failed, against how many it had.
std::string Proportion(const FailureCount& count) {
  if (count.replays == 1) return PathToUtf8(count.only.filename()) + ".";
  if (count.failed == count.replays) return "any of the " + std::to_string(count.replays) + " replays.";
  std::string text = std::to_string(count.failed) + " of " + std::to_string(count.replays) + " replays; ";
  const std::size_t left = count.replays - count.failed - count.split;
  if (left == 0) return text + "the others were split.";
  return text + std::to_string(count.split) + " were split, " + std::to_string(left) + " left as they were.";
}

}  // namespace

VehicleChoice ChoiceOf(const std::filesystem::path& replay, const ReplayListing& listing) {
  VehicleChoice choice;
  choice.intro = std::string(texts::kChooseIntro).append(ShortenMiddle(FileName(replay))).append(":");
  choice.summary = "Level " + Utf8FromCp1252(listing.level) + ", weather " + Utf8FromCp1252(listing.weather) + ": ";
  if (listing.held != listing.records) choice.summary.append(std::to_string(listing.held)).append(" of the race's ");
  choice.summary.append(std::to_string(listing.records)).append(listing.records == 1 ? " record, " : " records, ");
  choice.summary.append(std::to_string(listing.sharedRecords)).append(" of them shared.");
  for (std::size_t k = 0; k < listing.vehicles.size(); ++k) {
    const VehicleListing& v = listing.vehicles[k];
    const VehicleRace& race = listing.race.vehicles[k];
    const char* existing = v.existing == Existing::kSameRace    ? texts::kHoldsSameRace
                           : v.existing == Existing::kOtherRace ? texts::kHoldsOtherRace
                                                                : texts::kHoldsNothing;
    choice.rows.push_back({std::to_string(v.position), Utf8FromCp1252(v.driver), Utf8FromCp1252(v.vehicle),
                           std::to_string(v.records), RaceTimeText(race.seconds), DistanceText(race.distanceFeet),
                           SpeedText(race.topSpeedMph), Utf8FromCp1252(v.output), existing, VehicleColour(k)});
  }
  choice.race = listing.race;
  return choice;
}

std::string OtherRaceText(const std::filesystem::path& replay, const std::vector<std::filesystem::path>& files) {
  std::string text = ShortenMiddle(FileName(replay)).append(": ").append(ShortenMiddle(FileName(files.front())));
  if (files.size() == 1) return text.append(" already holds another race.");
  return text.append(" and ").append(std::to_string(files.size() - 1)).append(" more already hold another race.");
}

std::string WrapLongWords(const std::string& text, std::size_t width) {
  std::string out;
  std::size_t run = 0;          // characters since the last space or break
  std::size_t breakAfter = 0;   // the position in `out` after the last separator in the run
  for (const char c : text) {
    out += c;
    if (c == ' ' || c == '\n') {
      run = 0;
      breakAfter = 0;
      continue;
    }
    if (IsUtf8Continuation(c)) continue;  // inside a UTF-8 character
    if (c == '/' || c == '\\') breakAfter = out.size();
    if (++run > width) {
      const std::size_t at = breakAfter != 0 ? breakAfter : out.size() - 1;
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), '\n');
      run = 0;
      for (std::size_t i = at + 1; i < out.size(); ++i) run += !IsUtf8Continuation(out[i]);
      breakAfter = 0;
    }
  }
  return out;
}

std::string WaitingTitle(const std::filesystem::path& folder) {
  return std::string(texts::kTitle) + texts::kWaiting + FileName(folder);
}

std::string StoppedText(const std::vector<std::filesystem::path>& split) {
  return "Stopped. Split before the stop: " + Names(split) + ".";
}

std::string SplitAndLeftText(const std::vector<std::filesystem::path>& split,
                             const std::vector<std::filesystem::path>& left) {
  return "Split: " + Names(split) + (left.size() == 1 ? ". Left as it was: " : ". Left as they were: ") + Names(left) +
         ".";
}

std::string FailureHeading(const FailureCount& count) {
  const std::string unchanged =
      count.changed ? "some files could not be put back as they were: see below." : "no file was written or changed.";
  const std::string text = "Could not split " + Proportion(count);
  if (count.replays == 1 || count.failed == count.replays) {
    return text + " " + static_cast<char>(std::toupper(unchanged[0])) + unchanged.substr(1);
  }
  return text + " For those, " + unchanged;
}

std::string FailureDetails(std::vector<std::string> messages, const std::filesystem::path& folder) {
  const std::string prefix = PathToUtf8(folder / "");
  for (std::string& message : messages) {
    for (std::size_t at; !folder.empty() && (at = message.find(prefix)) != std::string::npos;) message.erase(at, prefix.size());
  }
  std::string details = folder.empty() ? "" : "In " + PathToUtf8(folder) + ":\n\n";
  for (std::size_t i = 0; i < messages.size() && i < kListed; ++i) details.append(i ? "\n\n" : "").append(messages[i]);
  if (messages.size() > kListed) {
    details.append("\n\n\u2026 and ").append(std::to_string(messages.size() - kListed)).append(" more.");
  }
  return details;
}

}  // namespace vehisect
