#include "cli/listing_print.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "cli/terminal.h"
#include "replay/base/encoding.h"
#include "replay/run/race_picture.h"

namespace vehisect::cli {
namespace {

std::string Plural(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// What stands under an output's name, as --list shows it.
const char* ExistingText(Existing existing) {
  switch (existing) {
    case Existing::kSameRace: return "same race";
    case Existing::kOtherRace: return "another race";
    case Existing::kNone: break;
  }
  return "none";
}

// The Windows-1252 text `text` as UTF-8 with its control characters escaped ("\x1b"), so
// that a driver's name can neither move the cursor nor change the terminal.
std::string Printable(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    // Below space, DEL, and the five bytes Windows-1252 leaves undefined, which stand for C1 controls.
    if (b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", b);
      out += escaped;
    } else {
      out += Utf8FromCp1252(std::string_view(&c, 1));
    }
  }
  return out;
}

using Table = std::vector<std::vector<std::string>>;

// The vehicles as rows under their headings; the files already under the outputs' names in
// a column of their own when there are any.
Table VehicleRows(const ReplayListing& l) {
  Table rows = {{"#", "vehicle", "driver", "output", "records", "time", "distance", "top speed"}};
  const bool existing = std::any_of(l.vehicles.begin(), l.vehicles.end(),
                                    [](const VehicleListing& v) { return v.existing != Existing::kNone; });
  if (existing) rows[0].push_back("existing file");
  for (std::size_t k = 0; k < l.vehicles.size(); ++k) {
    const VehicleListing& v = l.vehicles[k];
    const VehicleRace& race = l.race.vehicles[k];
    rows.push_back({std::to_string(v.position), Printable(v.vehicle), Printable(v.driver), Printable(v.output),
                    std::to_string(v.records), RaceTimeText(race.seconds), DistanceText(race.distanceFeet),
                    SpeedText(race.topSpeedMph)});
    if (existing) rows.back().push_back(ExistingText(v.existing));
  }
  return rows;
}

void PrintTable(std::ostream& out, const Table& rows) {
  std::vector<std::size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Columns(row[c]));
  }
  for (const auto& row : rows) {
    std::string line = " ";
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += " " + row[c];
      if (c + 1 < row.size()) line += std::string(widths[c] - Columns(row[c]) + 1, ' ');
    }
    out << line << "\n";
  }
}

}  // namespace

void PrintListing(std::ostream& out, const std::string& file, const ReplayListing& l) {
  out << file << "\n"
      << "  level " << Printable(l.level) << ", weather " << Printable(l.weather) << ", detail level "
      << Printable(l.detailLevel) << "\n"
      << "  " << (l.held == l.records ? "" : std::to_string(l.held) + " of the race's ")
      << Plural(l.records, "record", "records") << (l.held == l.records ? "" : " here") << " ("
      << Plural(l.sharedRecords, "shared", "shared") << "), "
      << Plural(static_cast<std::uint64_t>(l.objects), "object location", "object locations") << "\n";
  PrintTable(out, VehicleRows(l));
  if (l.vehicles.size() == 1) out << "  one vehicle: nothing to split\n";
}

namespace {

// A number for JSON, or null where it is absent.
nlohmann::json Number(const std::optional<double>& value) { return value ? nlohmann::json(*value) : nlohmann::json(); }

}  // namespace

nlohmann::json ListingJson(const std::string& file, const ReplayListing& l) {
  nlohmann::json vehicles = nlohmann::json::array();
  for (std::size_t k = 0; k < l.vehicles.size(); ++k) {
    const VehicleListing& v = l.vehicles[k];
    const VehicleRace& race = l.race.vehicles[k];
    vehicles.push_back({{"position", v.position},
                        {"vehicle", Utf8FromCp1252(v.vehicle)},
                        {"driver", Utf8FromCp1252(v.driver)},
                        {"output", Utf8FromCp1252(v.output)},
                        {"records", v.records},
                        {"seconds", Number(race.seconds)},
                        {"distanceFeet", Number(race.distanceFeet)},
                        {"topSpeedMph", Number(race.topSpeedMph)},
                        {"existing", v.existing == Existing::kNone ? nlohmann::json() : ExistingText(v.existing)}});
  }
  return {{"file", file},
          {"level", Utf8FromCp1252(l.level)},
          {"weather", Utf8FromCp1252(l.weather)},
          {"detailLevel", Utf8FromCp1252(l.detailLevel)},
          {"recordPtr", Utf8FromCp1252(l.recordPtr)},
          {"records", l.records},
          {"recordsHeld", l.held},
          {"objects", l.objects},
          {"sharedRecords", l.sharedRecords},
          {"seconds", Number(l.race.seconds)},
          {"vehicles", vehicles}};
}

std::string Dump(const nlohmann::json& json) {
  return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace vehisect::cli
