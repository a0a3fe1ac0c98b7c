#include "replay/format/numbers.h"

#include <charconv>
#include <string>

#include "replay/base/text.h"

namespace vehisect {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipDigits(std::string_view s, std::size_t i) {
  while (i < s.size() && IsDigit(s[i])) ++i;
  return i;
}

// Decimal text taken apart: sign, the digits without the point, and the power of ten of
// the last of them.
struct Decimal {
  bool negative = false;
  std::string digits;
  std::int64_t exponent = 0;
};

std::optional<Decimal> ParseDecimal(std::string_view text) {
  text = TrimSpaces(text);
  Decimal d;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) d.negative = text[i++] == '-';
  const std::size_t intStart = i;
  i = SkipDigits(text, i);
  d.digits.assign(text.substr(intStart, i - intStart));
  if (i < text.size() && text[i] == '.') {
    const std::size_t fracStart = ++i;
    i = SkipDigits(text, i);
    d.digits.append(text.substr(fracStart, i - fracStart));
    d.exponent = -static_cast<std::int64_t>(i - fracStart);
  }
  if (d.digits.empty()) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    const bool negative = j < text.size() && text[j] == '-';
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    const std::size_t expStart = j;
    j = SkipDigits(text, j);
    if (j == expStart) return std::nullopt;
    // Beyond a million the exponent decides alone; held saturated, it cannot overflow.
    std::int64_t exponent = 0;
    for (std::size_t k = expStart; k < j; ++k) exponent = std::min<std::int64_t>(exponent * 10 + (text[k] - '0'), 1000000);
    d.exponent += negative ? -exponent : exponent;
    i = j;
  }
  if (i != text.size()) return std::nullopt;
  return d;
}

// A number as the game prints it, an optional minus and at most 15 digits with an optional
// point between them, with no spaces, taken apart: whether `text` is one.
struct Plain {
  bool negative = false;
  std::uint64_t digits = 0;  // all of them, the point left out: below 2^53, exact in a double
  std::ptrdiff_t places = 0;  // after the point
};

// Reads a plain number from `p` up to `end` or the first byte that cannot go on it; where it
// ends, or nullptr when what stands there is no plain number.
const char* ReadPlain(const char* p, const char* const end, Plain& plain) {
  plain.negative = p != end && *p == '-';
  p += plain.negative;
  const auto digit = [](char c) { return static_cast<unsigned>(c - '0') < 10; };
  const char* const whole = p;
  while (p != end && digit(*p)) plain.digits = plain.digits * 10 + static_cast<std::uint64_t>(*p++ - '0');
  std::ptrdiff_t count = p - whole;
  if (p != end && *p == '.') {
    const char* const fraction = ++p;
    while (p != end && digit(*p)) plain.digits = plain.digits * 10 + static_cast<std::uint64_t>(*p++ - '0');
    plain.places = p - fraction;
    count += plain.places;
  }
  return count > 0 && count <= 15 ? p : nullptr;
}

bool ParsePlain(std::string_view text, Plain& plain) {
  return ReadPlain(text.data(), text.data() + text.size(), plain) == text.data() + text.size();
}

constexpr double kInverses[] = {1e-0, 1e-1, 1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,
                                1e-8, 1e-9, 1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15};

double MeasureOf(const Plain& plain) {
  const double value = static_cast<double>(plain.digits) * kInverses[plain.places];
  return plain.negative ? -value : value;
}

constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

}  // namespace

std::optional<double> ParseNumber(std::string_view text) {
  // Exact: one division of two exact doubles rounds as from_chars would.
  if (Plain plain; ParsePlain(text, plain)) {
    const double value = static_cast<double>(plain.digits) / kPowers[plain.places];
    return plain.negative ? -value : value;
  }
  // The grammar is checked first: from_chars alone would take "inf", "nan" and hex digits.
  if (!ParseDecimal(text)) return std::nullopt;
  text = TrimSpaces(text);
  const std::size_t skip = text[0] == '+' ? 1 : 0;
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data() + skip, text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> ParseMeasure(std::string_view text) {
  if (Plain plain; ParsePlain(text, plain)) return MeasureOf(plain);
  return ParseNumber(text);
}

bool ParsePlainMeasures(std::string_view line, double* values, std::size_t n) {
  const char* p = line.data();
  const char* const end = p + line.size();
  for (std::size_t i = 0; i < n; ++i) {
    Plain plain;
    p = ReadPlain(p, end, plain);
    // Each item ends at a comma; the last one read, at the line's end too.
    if (p == nullptr || (p != end ? *p != ',' : i + 1 < n)) return false;
    values[i] = MeasureOf(plain);
    p += p != end;
  }
  return true;
}

std::optional<std::int64_t> ParseWholeNumber(std::string_view text, std::int64_t min, std::int64_t max) {
  std::optional<Decimal> d = ParseDecimal(text);
  if (!d) return std::nullopt;
  const std::size_t first = d->digits.find_first_not_of('0');
  if (first == std::string::npos) return min <= 0 && 0 <= max ? std::optional<std::int64_t>(0) : std::nullopt;
  // Whole when every digit after the point is 0; the point stands `exponent` places from the end.
  std::string_view digits = std::string_view(d->digits).substr(first);
  std::int64_t exponent = d->exponent;
  while (exponent < 0 && digits.back() == '0') {
    digits.remove_suffix(1);
    ++exponent;
  }
  if (exponent < 0) return std::nullopt;
  // More than 18 digits is beyond any range asked for here.
  if (static_cast<std::int64_t>(digits.size()) + exponent > 18) return std::nullopt;
  std::int64_t value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  for (std::int64_t k = 0; k < exponent; ++k) value *= 10;
  if (d->negative) value = -value;
  if (value < min || value > max) return std::nullopt;
  return value;
}

}  // namespace vehisect
