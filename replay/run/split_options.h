#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vehisect {

/// The message that refuses a one-vehicle replay, as the game's players know it, and its title.
inline constexpr std::string_view kRefusal = "Only 1 Vehical\r\nNothing to Rip";
inline constexpr std::string_view kRefusalTitle = "Aborting";

/// The refusal on one line, for lists of failures: "Only 1 Vehical, Nothing to Rip".
std::string RefusalOnOneLine();

/// How a run splits, beyond the replay and where its outputs go.
struct SplitOptions {
  bool useRecordPtr = false;          ///< what the "Use demoRecordPtr" check box does
  std::vector<std::string> vehicles;  ///< positions or drivers (UTF-8) to write; empty: all
  bool plainRecords = true;           ///< take the fast path for records as the game writes them
  /// As a listing compares: a one-vehicle replay is written too, and a stream that ends at a
  /// record's start ends there, as in one of these outputs, which holds only its own records.
  bool asListed = false;
};

}  // namespace vehisect
