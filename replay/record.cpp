#include "replay/record.h"

#include <array>
#include <cstring>

#include "replay/error.h"
#include "replay/items.h"
#include "replay/numbers.h"
#include "replay/text.h"
#include "replay/writer.h"

namespace vehisect {
namespace {

constexpr std::size_t kSharedFields = 5;
constexpr std::size_t kNumberField = 4;

// The label lines as written, CR LF included; arrays, so that their sizes are constants
// where the fast path compares them.
constexpr char kTypeTime[] = "type,time\r\n";
constexpr char kIpos[] = "ipos\r\n";
constexpr char kBvel[] = "bvel\r\n";
constexpr char kAngles[] = "theta,phi,psi\r\n";
constexpr char kRates[] = "p,q,r\r\n";
constexpr char kNumber[] = "number\r\n";
constexpr char kSteering[] = "fsteering_angle,rsteering_angle\r\n";
constexpr char kTires[] = "frtire_theta,fltire_theta,rrtire_theta,rltire_theta\r\n";
constexpr char kControls[] = "eng_throttle,faxle_brake_pct,raxle_brake_pct,ap_cnumber\r\n";
constexpr char kDamage[] = "damageCode,gear\r\n";
constexpr std::array<std::string_view, 9> kLabelLines = {
    kIpos, kBvel, kAngles, kRates, kNumber, kSteering, kTires, kControls, kDamage,
};

// What each line read is expected to be, for the messages; built once, outside the hot loop.
struct Texts {
  std::array<std::string, kLabelLines.size()> label, value;
  Texts() {
    for (std::size_t i = 0; i < kLabelLines.size(); ++i) {
      const std::string name(kLabelLines[i].substr(0, kLabelLines[i].size() - 2));
      label[i] = "the \"" + name + "\" label line";
      value[i] = "the \"" + name + "\" value line";
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

// An item without the blanks around it, as reading it back would see it: leading spaces and
// tabs, and trailing spaces, go; they may have stood inside the quotes.
std::string_view ItemAsWritten(std::string_view item) { return Trim(item, " \t", " "); }

// Appends the kind and time as they stood, and tells whether the record is shared (kind 1).
bool AppendKindTime(LineReader& reader, std::string_view line, std::string& out) {
  if (IsPlainKindTime(line)) {
    AppendLine(out, line);
    return line[0] == '1';
  }
  std::array<std::string_view, 2> items;
  if (SplitItems(line, items.data(), items.size()) != items.size()) {
    reader.Fail("a record kind and time as two items", Quoted(line));
  }
  const std::string_view kind = ItemAsWritten(items[0]);
  const std::optional<double> value = ParseNumber(kind);
  if (!value) reader.Fail("a record kind that is a number", Quoted(kind));
  out.append(kind.data(), kind.size());
  out += ',';
  const std::string_view time = ItemAsWritten(items[1]);
  // A time that held a comma keeps its quotes, or the line would read back as three items.
  if (time.find(',') != std::string_view::npos) {
    out.append("\"").append(time).append("\"\r\n");
  } else {
    AppendLine(out, time);
  }
  return *value == 1;
}

std::size_t VehicleNumber(const LineReader& reader, std::string_view value, int vehicleCount) {
  if (value.size() == 1 && value[0] >= '0' && value[0] < '0' + vehicleCount) {
    return static_cast<std::size_t>(value[0] - '0');
  }
  const auto number = ParseWholeNumber(value, 0, vehicleCount - 1);
  if (!number) {
    reader.Fail("a vehicle number from 0 to " + std::to_string(vehicleCount - 1), Quoted(value));
  }
  return static_cast<std::size_t>(*number);
}

// Walks the lines of a record in the reader's buffer, accepting only CR LF line ends.
class PlainScanner {
 public:
  explicit PlainScanner(std::string_view in) : in_(in) {}

  std::size_t pos() const { return pos_; }

  // Passes over `line` (CR LF included) if it comes next. Compared word by word with a
  // constant length, which the compiler unrolls: this is the innermost loop of a split.
  template <std::size_t N>
  bool Label(const char (&line)[N]) {
    constexpr std::size_t size = N - 1;
    if (in_.size() - pos_ < size) return false;
    const char* at = in_.data() + pos_;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
      std::uint64_t have, want;
      std::memcpy(&have, at + i, 8);
      std::memcpy(&want, line + i, 8);
      if (have != want) return false;
    }
    for (; i < size; ++i) {
      if (at[i] != line[i]) return false;
    }
    pos_ += size;
    return true;
  }

  bool Value(std::string_view& line) {
    const char* at = in_.data() + pos_;
    const char* end = in_.data() + in_.size();
    const auto* cr = static_cast<const char*>(std::memchr(at, '\r', static_cast<std::size_t>(end - at)));
    if (cr == nullptr || cr + 1 == end || cr[1] != '\n') return false;
    line = std::string_view(at, static_cast<std::size_t>(cr - at));
    pos_ += line.size() + 2;
    return true;
  }

  bool Value() {
    std::string_view ignored;
    return Value(ignored);
  }

 private:
  std::string_view in_;
  std::size_t pos_ = 0;
};

// A record as the game writes it: its own labels, CR LF, a plain kind and time, a one-digit
// vehicle number. Such a record is written from the reader's buffer as it stands, but for its
// number; anything else is left to the line-by-line path, which decides about errors.
bool ReadPlainRecord(LineReader& reader, int vehicleCount, StateRecord& record) {
  // Far more than a record of the game's; a longer one takes the other path, which also
  // holds lines to their longest.
  constexpr std::size_t kLookAhead = std::size_t{64} << 10;
  const std::string_view in = reader.Ahead(kLookAhead).substr(0, kLookAhead);
  PlainScanner s(in);
  std::string_view kindTime, number;
  if (!(s.Label(kTypeTime) && s.Value(kindTime) && IsPlainKindTime(kindTime) && s.Label(kIpos) &&
        s.Value() && s.Label(kBvel) && s.Value() && s.Label(kAngles) && s.Value() &&
        s.Label(kRates) && s.Value() && s.Label(kNumber))) {
    return false;
  }
  const std::size_t numberStart = s.pos();
  if (!s.Value(number)) return false;
  record.shared = kindTime[0] == '1';
  if (record.shared) {
    record.pieces = {in.substr(0, s.pos()), {}, {}};
    reader.Consume(s.pos(), 2 + 2 * kSharedFields);
    return true;
  }
  const std::size_t numberEnd = s.pos();
  if (number.size() != 1 || number[0] < '0' || number[0] >= '0' + vehicleCount) return false;
  if (!(s.Label(kSteering) && s.Value() && s.Label(kTires) && s.Value() && s.Label(kControls) &&
        s.Value() && s.Label(kDamage) && s.Value())) {
    return false;
  }
  record.vehicle = static_cast<std::size_t>(number[0] - '0');
  record.pieces = {in.substr(0, numberStart), "0\r\n", in.substr(numberEnd, s.pos() - numberEnd)};
  reader.Consume(s.pos(), 2 + 2 * kLabelLines.size());
  return true;
}

}  // namespace

void ReadRecord(LineReader& reader, int vehicleCount, StateRecord& record, bool plain) {
  if (plain && ReadPlainRecord(reader, vehicleCount, record)) return;
  const Texts& texts = RecordTexts();
  std::string& lines = record.storage;
  if (!reader.Skip(kTypeTime)) reader.Read("the \"type,time\" label line");
  lines.assign(kTypeTime);
  record.shared = AppendKindTime(reader, reader.Read("the \"type,time\" value line"), lines);

  const std::size_t fields = record.shared ? kSharedFields : kLabelLines.size();
  for (std::size_t i = 0; i < fields; ++i) {
    // Labels are not checked, but a label as the game writes it is passed over cheaply.
    if (!reader.Skip(kLabelLines[i])) reader.Read(texts.label[i]);
    const std::string_view value = reader.Read(texts.value[i]);
    lines += kLabelLines[i];
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

void ReadRecordOf(LineReader& reader, int vehicleCount, std::uint64_t r, std::uint64_t count, StateRecord& record,
                  bool plain) {
  try {
    ReadRecord(reader, vehicleCount, record, plain);
  } catch (const ReplayError& e) {
    if (e.kind() != ReplayError::Kind::kEndOfFile) throw;
    throw e.With(", in record " + std::to_string(r) + " of " + std::to_string(count));
  }
}

}  // namespace vehisect
