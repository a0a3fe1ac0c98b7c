#include "replay/run/names.h"

#include <algorithm>
#include <cstring>

#include "replay/base/case_fold.h"
#include "replay/base/encoding.h"
#include "replay/base/error.h"
#include "replay/base/paths.h"
#include "replay/format/numbers.h"

namespace vehisect {
namespace {

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

std::string SafeFileName(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"/\\|?*", c) != nullptr) c = '_';
  }
  return out;
}

namespace {

std::string Prefix(const ReplayHeader& header) { return "VH_" + SafeFileName(header.levelName) + "_"; }

}  // namespace

std::vector<std::string> OutputNames(const ReplayHeader& header, const std::string& file) {
  const std::string prefix = Prefix(header);
  std::vector<std::string> names;
  const auto taken = [&](const std::string& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& other) { return FoldUtf8(Utf8FromCp1252(name)) == FoldUtf8(Utf8FromCp1252(other)); });
  };
  for (std::size_t i = 0; i < header.vehicles.size(); ++i) {
    const std::string driver = SafeFileName(header.vehicles[i].driver);
    std::string name = prefix;
    name.append(FittedPart(prefix, driver, ".rpl")).append(".rpl");
    // Windows would open the earlier vehicle's file again: the position tells them apart, or,
    // when a driver already carries that number (A, A3, A), the next number free.
    for (std::size_t n = i + 1; taken(name); ++n) {
      const std::string tail = std::to_string(n) + ".rpl";
      name = prefix;
      name.append(FittedPart(prefix, driver, tail)).append(tail);
    }
    if (NameLength(name) > kMaxNameLength) {
      throw ReplayError(file, 0, "output names of at most 255 characters",
                        "one of " + std::to_string(NameLength(name)) + " for vehicle " + std::to_string(i + 1));
    }
    names.push_back(std::move(name));
  }
  return names;
}

std::vector<std::size_t> SelectVehicles(const ReplayHeader& header,
                                        const std::vector<std::string>& names,
                                        const std::vector<std::string>& which,
                                        const std::string& file) {
  const std::size_t count = header.vehicles.size();
  const std::size_t prefix = Prefix(header).size();
  std::vector<bool> chosen(count, which.empty());
  for (const std::string& entry : which) {
    bool found = false;
    const auto position = ParseWholeNumber(entry, 1, static_cast<std::int64_t>(count));
    for (std::size_t k = 0; k < count; ++k) {
      const std::string_view output = std::string_view(names[k]).substr(prefix, names[k].size() - prefix - 4);
      const bool named = SameIgnoringAsciiCase(entry, Utf8FromCp1252(header.vehicles[k].driver)) ||
                         SameIgnoringAsciiCase(entry, Utf8FromCp1252(output));
      if (named || (position && static_cast<std::size_t>(*position) == k + 1)) {
        chosen[k] = true;
        found = true;
      }
    }
    if (!found) {
      std::string list;
      for (std::size_t k = 0; k < count; ++k) {
        list.append(k ? ", " : "").append(std::to_string(k + 1)).append(" ");
        list.append(Utf8FromCp1252(header.vehicles[k].driver));
      }
      throw ReplayError(file, 0, "a vehicle position from 1 to " + std::to_string(count) + " or a driver",
                        "\"" + entry + "\"; its vehicles are " + list);
    }
  }
  std::vector<std::size_t> positions;
  for (std::size_t k = 0; k < count; ++k) {
    if (chosen[k]) positions.push_back(k);
  }
  return positions;
}

}  // namespace vehisect
