#include "replay/run/race_picture.h"

#include <cerrno>
#include <cmath>
#include <sstream>

#include "replay/base/encoding.h"
#include "replay/base/error.h"
#include "replay/base/paths.h"
#include "replay/commit/outputs.h"
#include "replay/commit/run_files.h"
#include "replay/format/header.h"
#include "replay/run/names.h"

namespace vehisect {
namespace {

constexpr char kAbsent[] = "\u2013";

// Whole numbers only: text made with the C library's formats would follow the locale.
std::string Whole(double value) { return std::to_string(std::llround(value)); }

// `n` with a comma between each three digits.
std::string Grouped(long long n) {
  const std::string digits = std::to_string(n < 0 ? -n : n);
  std::string grouped = n < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

// The UTF-8 text `text` as XML character data.
std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// A picture's own coordinates: feet, x to the right, z up.
struct Frame {
  double left, top;
  std::string Point(const GroundPoint& p) const { return Whole(p.x - left) + "," + Whole(top - p.z); }
};

void WritePath(std::ostream& out, const Frame& frame, const VehicleRace& race, const char* colour) {
  std::string points;
  const auto flush = [&] {
    if (points.find(' ') != std::string::npos) {
      out << "<polyline points=\"" << points << "\" fill=\"none\" stroke=\"" << colour
          << "\" stroke-width=\"24\" stroke-linejoin=\"round\" stroke-linecap=\"round\"/>\n";
    }
    points.clear();
  };
  for (const GroundPoint& p : race.path) {
    if (p.starts) flush();
    points.append(points.empty() ? "" : " ").append(frame.Point(p));
  }
  flush();
  if (race.path.empty()) return;
  const GroundPoint& first = race.path.front();
  const GroundPoint& last = race.path.back();
  out << "<circle cx=\"" << Whole(first.x - frame.left) << "\" cy=\"" << Whole(frame.top - first.z)
      << "\" r=\"70\" fill=\"" << colour << "\" stroke=\"#ffffff\" stroke-width=\"16\"/>\n";
  out << "<rect x=\"" << Whole(last.x - frame.left - 60) << "\" y=\"" << Whole(frame.top - last.z - 60)
      << "\" width=\"120\" height=\"120\" fill=\"#ffffff\" stroke=\"" << colour << "\" stroke-width=\"24\"/>\n";
}

}  // namespace

std::string RaceTimeText(const std::optional<double>& seconds) {
  if (!seconds || !std::isfinite(*seconds)) return kAbsent;
  const long long tenths = std::llround(*seconds * 10);
  const long long whole = tenths / 10;
  std::string text = std::to_string(whole / 60);
  text += whole % 60 < 10 ? ":0" : ":";
  text += std::to_string(whole % 60);
  text += '.';
  text += static_cast<char>('0' + tenths % 10);
  return text;
}

std::string DistanceText(const std::optional<double>& feet) {
  return feet && std::isfinite(*feet) ? Grouped(std::llround(*feet)) + " ft" : kAbsent;
}

std::string SpeedText(const std::optional<double>& mph) {
  return mph && std::isfinite(*mph) ? Whole(*mph) + " mph" : kAbsent;
}

std::vector<std::size_t> ChosenVehicles(const ReplayListing& listing, const std::vector<std::string>& which,
                                        const std::string& file) {
  ReplayHeader header;
  header.level = listing.level;
  header.levelName = listing.level.ends_with(".SIT") ? listing.level.substr(0, listing.level.size() - 4) : listing.level;
  std::vector<std::string> names;
  for (const VehicleListing& v : listing.vehicles) {
    header.vehicles.push_back({v.vehicle, v.driver});
    names.push_back(v.output);
  }
  return SelectVehicles(header, names, which, file);
}

void WriteRaceSvg(std::ostream& out, const ReplayListing& listing, const std::vector<std::size_t>& drawn) {
  const RaceMap& race = listing.race;
  // A margin round the level, and a legend row of 320 ft per vehicle below it.
  const double margin = 200;
  const Frame frame{race.minX - margin, race.maxZ + margin};
  const double width = race.maxX - race.minX + 2 * margin;
  const double map = race.maxZ - race.minZ + 2 * margin;
  const double height = map + 160 + 320 * static_cast<double>(drawn.size());
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " << Whole(width) << " " << Whole(height)
      << "\" width=\"1024\" height=\"" << Whole(1024 * height / width) << "\">\n"
      << "<title>" << Escaped(Utf8FromCp1252(listing.level)) << "</title>\n"
      << "<rect width=\"" << Whole(width) << "\" height=\"" << Whole(height) << "\" fill=\"#f7f7f2\"/>\n"
      << "<rect x=\"" << Whole(-frame.left) << "\" y=\"" << Whole(frame.top - 8192)
      << "\" width=\"8192\" height=\"8192\" fill=\"#ffffff\" stroke=\"#cccccc\" stroke-width=\"16\"/>\n"
      << "<g fill=\"#9a9a9a\">\n";
  for (const GroundPoint& p : race.objects) {
    out << "<rect x=\"" << Whole(p.x - frame.left - 30) << "\" y=\"" << Whole(frame.top - p.z - 30)
        << "\" width=\"60\" height=\"60\"/>\n";
  }
  out << "</g>\n";
  for (const std::size_t k : drawn) WritePath(out, frame, race.vehicles[k], VehicleColour(k));
  out << "<g font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"200\" fill=\"#222222\">\n";
  double y = map + 160;
  for (const std::size_t k : drawn) {
    const VehicleListing& v = listing.vehicles[k];
    const VehicleRace& r = race.vehicles[k];
    out << "<rect x=\"" << Whole(margin) << "\" y=\"" << Whole(y) << "\" width=\"240\" height=\"200\" fill=\""
        << VehicleColour(k) << "\"/>\n"
        << "<text x=\"" << Whole(margin + 320) << "\" y=\"" << Whole(y + 170) << "\">"
        << Escaped(Utf8FromCp1252(v.driver) + ", " + Utf8FromCp1252(v.vehicle) + ", " + RaceTimeText(r.seconds) +
                   ", " + SpeedText(r.topSpeedMph))
        << "</text>\n";
    y += 320;
  }
  out << "</g>\n</svg>\n";
}

void SaveRacePicture(FileSystem& files, const ReplayListing& listing, const std::vector<std::size_t>& drawn,
                     const std::filesystem::path& replay, const std::filesystem::path& picture, bool replace) {
  const std::string shown = PathToUtf8(picture);
  CheckOutputName(files, picture, replay);
  const std::filesystem::path folder = picture.parent_path();
  const std::filesystem::path temporary = RunFilePath(folder, PathToUtf8(picture.filename()), {NewRun(), 1, "new"});
  {
    const std::unique_ptr<std::ostream> out = files.Create(temporary);
    if (*out) WriteRaceSvg(*out, listing, drawn);
    errno = 0;
    if (!*out || !out->flush()) {
      const int error = errno;
      files.Remove(temporary);
      throw ReplayError(shown, 0, "to write the picture", SystemErrorText(error));
    }
  }
  // Whole on the disk before it takes its name; a name taken meanwhile is not replaced unasked,
  // but where the file system cannot tell, as it can.
  std::error_code ec = files.Flush(temporary);
  if (!ec) ec = replace ? files.Rename(temporary, picture) : files.RenameNew(temporary, picture);
  if (ec == std::errc::not_supported) ec = files.Rename(temporary, picture);
  if (ec) {
    files.Remove(temporary);
    if (ec == std::errc::file_exists) throw ReplayError(shown, 0, "a file name free for the picture", "a file there");
    throw ReplayError(shown, 0, "to write the picture", ec.message());
  }
  files.FlushFolder(folder);
}

void DrawRace(FileSystem& files, const std::filesystem::path& replay, const std::filesystem::path& picture,
              const std::vector<std::string>& which, bool replace, ProgressSink* progress, const CancelToken* cancel) {
  CheckOutputName(files, picture, replay);
  if (!replace && std::filesystem::exists(files.Status(picture))) {
    throw ReplayError(PathToUtf8(picture), 0, "a file name free for the picture", "a file there");
  }
  const ReplayListing listing = ListReplay(files, replay, picture.parent_path(), progress, cancel);
  SaveRacePicture(files, listing, ChosenVehicles(listing, which, PathToUtf8(replay)), replay, picture, replace);
}

}  // namespace vehisect
