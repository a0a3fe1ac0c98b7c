#pragma once

#include <cstddef>
#include <string_view>

namespace vehisect {

/// Splits a value line into its comma-separated data items, as the game writes them: leading
/// blanks skipped, a double-quoted item taken without its quotes, trailing spaces trimmed.
/// Fills at most `max` items and returns how many the line holds.
std::size_t SplitItems(std::string_view line, std::string_view* items, std::size_t max);

}  // namespace vehisect
