#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vehisect {

/// The value of decimal text (optional sign, digits, optional fraction and exponent, spaces
/// around allowed), or nothing when `text` is not such a number.
std::optional<double> ParseNumber(std::string_view text);

/// The value of decimal text as ParseNumber takes it, within a unit in its last place: for
/// measures, read far more often than ParseNumber can afford to read them exactly.
std::optional<double> ParseMeasure(std::string_view text);

/// The first `n` items of the value line `line` into `values`, as ParseMeasure reads them,
/// where each is a number as the game prints it (an optional minus and at most 15 digits, with
/// an optional point) and commas alone part them; false for any other line, which the caller
/// then reads item by item.
bool ParsePlainMeasures(std::string_view line, double* values, std::size_t n);

/// The value of `text`, decimal text as ParseNumber takes it, when it is exactly a whole
/// number from `min` to `max` ("2.0" and "2e0" are 2; "2.000000000000000001" is not whole),
/// or nothing.
std::optional<std::int64_t> ParseWholeNumber(std::string_view text, std::int64_t min, std::int64_t max);

}  // namespace vehisect
