#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "replay/reader.h"

namespace vehisect {

/// One record of the record stream, held as the lines an output receives.
struct StateRecord {
  bool shared = false;       ///< kind 1: every output gets it
  std::size_t vehicle = 0;   ///< for a vehicle record, its vehicle number
  std::string lines;         ///< the record as written, CR LF terminated; a vehicle record's number reads "0"
};

/// Reads the next record into `record`, reusing its storage; raises ReplayError on a missing
/// line, a malformed kind, or a vehicle number outside 0 to `vehicleCount` - 1.
void ReadRecord(LineReader& reader, int vehicleCount, StateRecord& record);

}  // namespace vehisect
