#include "replay/record.h"

#include <array>
#include <cstring>

#include "replay/error.h"
#include "replay/text.h"
#include "replay/writer.h"

namespace vehisect {
namespace {

constexpr std::size_t kSharedFields = 5;
constexpr std::size_t kNumberField = 4;
constexpr std::array<const char*, 9> kLabels = {
    "ipos",
    "bvel",
    "theta,phi,psi",
    "p,q,r",
    "number",
    "fsteering_angle,rsteering_angle",
    "frtire_theta,fltire_theta,rrtire_theta,rltire_theta",
    "eng_throttle,faxle_brake_pct,raxle_brake_pct,ap_cnumber",
    "damageCode,gear",
};

// The texts of the hot loop, built once: the label lines as written, and what each line
// read is expected to be, for the messages.
struct Texts {
  std::array<std::string, kLabels.size()> line, label, value;
  Texts() {
    for (std::size_t i = 0; i < kLabels.size(); ++i) {
      line[i] = std::string(kLabels[i]) + "\r\n";
      label[i] = std::string("the \"") + kLabels[i] + "\" label line";
      value[i] = std::string("the \"") + kLabels[i] + "\" value line";
    }
  }
};

const Texts& RecordTexts() {
  static const Texts texts;
  return texts;
}

// The line as the game writes it, "digit,time", needs neither item splitting nor trimming.
bool IsPlainKindTime(std::string_view line) {
  if (line.size() < 3 || line[0] < '0' || line[0] > '9' || line[1] != ',') return false;
  const std::string_view time = line.substr(2);
  return time.find_first_of(",\"") == std::string_view::npos && time.front() != ' ' &&
         time.front() != '\t' && time.back() != ' ';
}

// Appends the kind and time as they stood, and tells whether the record is shared (kind 1).
bool AppendKindTime(LineReader& reader, std::string_view line, std::string& out) {
  if (IsPlainKindTime(line)) {
    AppendLine(out, line);
    return line[0] == '1';
  }
  std::array<std::string_view, 2> items;
  if (SplitItems(line, items.data(), items.size()) != items.size()) {
    reader.Fail("expected a record kind and time as two items, found " + Quoted(line));
  }
  const std::string_view kind = TrimSpaces(items[0]);
  const std::optional<double> value = ParseNumber(kind);
  if (!value) reader.Fail("expected a record kind that is a number, found " + Quoted(kind));
  out.append(kind.data(), kind.size());
  out += ',';
  AppendLine(out, TrimSpaces(items[1]));
  return *value == 1;
}

std::size_t VehicleNumber(const LineReader& reader, std::string_view value, int vehicleCount) {
  if (value.size() == 1 && value[0] >= '0' && value[0] < '0' + vehicleCount) {
    return static_cast<std::size_t>(value[0] - '0');
  }
  const auto number = ParseWholeNumber(value, 0, vehicleCount - 1);
  if (!number) {
    reader.Fail("expected a vehicle number from 0 to " + std::to_string(vehicleCount - 1) +
                ", found " + Quoted(value));
  }
  return static_cast<std::size_t>(*number);
}

// A record as the game writes it: its own labels, CR LF, a plain kind and time, a one-digit
// vehicle number. Such a record is written from the reader's buffer as it stands, but for its
// number; anything else is left to the line-by-line path, which decides about errors.
bool ReadPlainRecord(LineReader& reader, int vehicleCount, StateRecord& record) {
  // Far more than a record of the game's; a longer one takes the other path.
  constexpr std::size_t kLookAhead = std::size_t{64} << 10;
  const std::string_view in = reader.Ahead(kLookAhead);
  std::size_t pos = 0;
  const auto label = [&](std::string_view text) {
    if (in.size() - pos < text.size() || in.compare(pos, text.size(), text) != 0) return false;
    pos += text.size();
    return true;
  };
  const auto value = [&](std::string_view& line) {
    const auto* cr = static_cast<const char*>(std::memchr(in.data() + pos, '\r', in.size() - pos));
    if (cr == nullptr || cr + 1 == in.data() + in.size() || cr[1] != '\n') return false;
    line = std::string_view(in.data() + pos, static_cast<std::size_t>(cr - (in.data() + pos)));
    pos += line.size() + 2;
    return true;
  };

  const Texts& texts = RecordTexts();
  std::string_view kindTime;
  if (!label("type,time\r\n") || !value(kindTime) || !IsPlainKindTime(kindTime)) return false;
  const bool shared = kindTime[0] == '1';
  const std::size_t fields = shared ? kSharedFields : kLabels.size();
  std::size_t numberStart = 0, numberEnd = 0;
  std::size_t vehicle = 0;
  for (std::size_t i = 0; i < fields; ++i) {
    std::string_view line;
    if (!label(texts.line[i]) || !value(line)) return false;
    if (i == kNumberField && !shared) {
      if (line.size() != 1 || line[0] < '0' || line[0] >= '0' + vehicleCount) return false;
      vehicle = static_cast<std::size_t>(line[0] - '0');
      numberEnd = pos;
      numberStart = numberEnd - 3;  // the one digit and its CR LF
    }
  }
  record.shared = shared;
  record.vehicle = vehicle;
  if (shared) {
    record.pieces = {in.substr(0, pos), {}, {}};
  } else {
    record.pieces = {in.substr(0, numberStart), "0\r\n", in.substr(numberEnd, pos - numberEnd)};
  }
  reader.Consume(pos, 2 + 2 * fields);
  return true;
}

}  // namespace

void ReadRecord(LineReader& reader, int vehicleCount, StateRecord& record) {
  if (ReadPlainRecord(reader, vehicleCount, record)) return;
  const Texts& texts = RecordTexts();
  std::string& lines = record.storage;
  if (!reader.Skip("type,time\r\n")) reader.Read("the \"type,time\" label line");
  lines.assign("type,time\r\n", 11);
  record.shared = AppendKindTime(reader, reader.Read("the \"type,time\" value line"), lines);

  const std::size_t fields = record.shared ? kSharedFields : kLabels.size();
  for (std::size_t i = 0; i < fields; ++i) {
    // Labels are not checked, but a label as the game writes it is passed over cheaply.
    if (!reader.Skip(texts.line[i])) reader.Read(texts.label[i]);
    const std::string_view value = reader.Read(texts.value[i]);
    lines += texts.line[i];
    if (i != kNumberField || record.shared) {
      AppendLine(lines, value);
    } else {
      record.vehicle = VehicleNumber(reader, value, vehicleCount);
      // Each output holds one vehicle, so its records are all vehicle 0.
      AppendLine(lines, "0");
    }
  }
  record.pieces = {lines, {}, {}};
}

}  // namespace vehisect
