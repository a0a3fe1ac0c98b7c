#include "replay/format/record.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "replay/base/error.h"
#include "replay/format/items.h"
#include "replay/format/numbers.h"
#include "replay/base/text.h"
#include "replay/format/lines.h"

namespace vehisect {
namespace {

constexpr std::size_t kSharedFields = 5;
constexpr std::size_t kPositionField = 0;
constexpr std::size_t kVelocityField = 1;
constexpr std::size_t kNumberField = 4;

// The label lines as written, CR LF included: "type,time", then those of the fields in turn.
constexpr char kTypeTime[] = "type,time\r\n";
constexpr std::array<std::string_view, 9> kLabelLines = {
    "ipos\r\n",
    "bvel\r\n",
    "theta,phi,psi\r\n",
    "p,q,r\r\n",
    "number\r\n",
    "fsteering_angle,rsteering_angle\r\n",
    "frtire_theta,fltire_theta,rrtire_theta,rltire_theta\r\n",
    "eng_throttle,faxle_brake_pct,raxle_brake_pct,ap_cnumber\r\n",
    "damageCode,gear\r\n",
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
  // A loop of its own: the time is a few bytes, too short for a library search to pay.
  for (std::size_t i = 2; i < line.size(); ++i) {
    if (line[i] == ',' || line[i] == '"') return false;
  }
  return line[2] != ' ' && line[2] != '\t' && line.back() != ' ';
}

// Whether the `n` bytes at `a` and `b` are equal, compared eight at a time: the labels a plain
// record is checked against are a few words long.
bool SameBytes(const char* a, const char* b, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) return false;
  }
  for (; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
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
// Finds the CR bytes of a buffer in order, 64 bytes at a time: a line of a record is some
// twenty bytes, too short for a memchr call per line to pay.
class CrFinder {
 public:
  CrFinder(std::string_view in, std::size_t from)
      : in_(in), block_(from & ~std::size_t{63}), mask_(from < in.size() ? Mask(block_) >> (from & 63) << (from & 63) : 0) {}

  /// The position of the next CR, or npos when the buffer has no more.
  std::size_t Next() {
    while (mask_ == 0) {
      block_ += 64;
      if (block_ >= in_.size()) return std::string_view::npos;
      mask_ = Mask(block_);
    }
    const std::size_t at = block_ + static_cast<std::size_t>(std::countr_zero(mask_));
    mask_ &= mask_ - 1;
    return at;
  }

 private:
  // Bit i set when byte `at` + i is a CR.
  std::uint64_t Mask(std::size_t at) const {
    const char* p = in_.data() + at;
    if (in_.size() - at < 64) {
      std::uint64_t mask = 0;
      for (std::size_t i = 0; i < in_.size() - at; ++i) mask |= std::uint64_t{p[i] == '\r'} << i;
      return mask;
    }
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi8('\r');
    std::uint64_t mask = 0;
    for (int i = 0; i < 4; ++i) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      mask |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, cr)))} << (16 * i);
    }
    return mask;
#else
    std::uint64_t mask = 0;
    for (int i = 0; i < 64; ++i) mask |= std::uint64_t{p[i] == '\r'} << i;
    return mask;
#endif
  }

  std::string_view in_;
  std::size_t block_;
  std::uint64_t mask_;
};

// Where a record as the game writes it lies in a buffer: its own labels (when they are
// checked), CR LF line ends, a plain kind and time, and a one-digit vehicle number.
struct PlainRecord {
  RecordFields fields;
  std::size_t numberStart = 0, numberEnd = 0;  // the "number" value line, CR LF included
  std::size_t end = 0;                         // just past the record
  std::uint64_t lines = 0;
};

// Reads the plain record that starts at `pos` of `in`, with `crs` at `pos`, into `record`;
// false for anything else, which the line-by-line path then reads and judges.
bool ScanPlainRecord(std::string_view in, CrFinder& crs, std::size_t pos, int vehicleCount, bool checkLabels,
                     PlainRecord& record) {
  std::string_view line;
  const auto next = [&]() {
    const std::size_t cr = crs.Next();
    if (cr == std::string_view::npos || cr + 1 >= in.size() || in[cr + 1] != '\n') return false;
    line = in.substr(pos, cr + 2 - pos);
    pos = cr + 2;
    return true;
  };
  const auto label = [&](std::string_view expected) {
    return next() && (!checkLabels || (line.size() == expected.size() && SameBytes(line.data(), expected.data(), line.size())));
  };
  if (!label(kTypeTime) || !next() || !IsPlainKindTime(line.substr(0, line.size() - 2))) return false;
  RecordFields& f = record.fields;
  f.shared = line[0] == '1';
  f.time = line.substr(2, line.size() - 4);
  const std::size_t fields = f.shared ? kSharedFields : kLabelLines.size();
  for (std::size_t i = 0; i < fields; ++i) {
    if (!label(kLabelLines[i]) || !next()) return false;
    if (i == kPositionField) f.position = line.substr(0, line.size() - 2);
    if (i == kVelocityField) f.velocity = line.substr(0, line.size() - 2);
    if (i == kNumberField && !f.shared) {
      if (line.size() != 3 || line[0] < '0' || line[0] >= '0' + vehicleCount) return false;
      f.vehicle = static_cast<std::size_t>(line[0] - '0');
      record.numberEnd = pos;
      record.numberStart = pos - line.size();
    }
  }
  record.end = pos;
  record.lines = 2 + 2 * fields;
  return true;
}

// A record as the game writes it is written from the reader's buffer as it stands, but for
// its number.
bool ReadPlainRecord(LineReader& reader, int vehicleCount, StateRecord& record) {
  // Far more than a record of the game's; a longer one takes the other path, which also
  // holds lines to their longest.
  constexpr std::size_t kLookAhead = std::size_t{64} << 10;
  const std::string_view in = reader.Ahead(kLookAhead).substr(0, kLookAhead);
  CrFinder crs(in, 0);
  PlainRecord plain;
  if (!ScanPlainRecord(in, crs, 0, vehicleCount, true, plain)) return false;
  record.shared = plain.fields.shared;
  if (plain.fields.shared) {
    record.pieces = {in.substr(0, plain.end), {}, {}};
  } else {
    record.vehicle = plain.fields.vehicle;
    record.pieces = {in.substr(0, plain.numberStart), "0\r\n", in.substr(plain.numberEnd, plain.end - plain.numberEnd)};
  }
  reader.Consume(plain.end, plain.lines);
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

namespace {

// The fields of a record read line by line, from the lines it was rebuilt into.
RecordFields FieldsOf(const StateRecord& record) {
  RecordFields f{record.shared, record.vehicle, {}, {}, {}};
  std::string_view lines = record.pieces[0];
  std::array<std::string_view, 6> line;  // type,time label and value, ipos, bvel
  for (std::string_view& l : line) {
    const std::size_t end = lines.find("\r\n");
    l = lines.substr(0, end);
    lines.remove_prefix(end + 2);
  }
  std::array<std::string_view, 2> items;
  if (SplitItems(line[1], items.data(), items.size()) == items.size()) f.time = items[1];
  f.position = line[3];
  f.velocity = line[5];
  return f;
}

}  // namespace

std::uint64_t ScanRecords(LineReader& reader, int vehicleCount, std::uint64_t first, std::uint64_t count,
                          const std::function<void(const RecordFields& record)>& take, bool toEnd) {
  // Bounded, so that no line a plain record takes can be longer than a line may be.
  constexpr std::size_t kLookAhead = std::size_t{256} << 10;
  StateRecord record;
  for (std::uint64_t r = first; r <= count;) {
    const std::string_view in = reader.Ahead(kLookAhead).substr(0, kLookAhead);
    CrFinder crs(in, 0);
    std::size_t pos = 0;
    std::uint64_t lines = 0;
    PlainRecord plain;
    for (; r <= count && ScanPlainRecord(in, crs, pos, vehicleCount, false, plain); ++r) {
      take(plain.fields);
      pos = plain.end;
      lines += plain.lines;
    }
    reader.Consume(pos, lines);
    if (pos == 0 && r <= count) {
      if (toEnd && reader.AtEnd()) return r - first;
      ReadRecordOf(reader, vehicleCount, r, count, record, false);
      take(FieldsOf(record));
      ++r;
    }
  }
  return count - first + 1;
}

}  // namespace vehisect
