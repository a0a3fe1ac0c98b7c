#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "replay/format/reader.h"

namespace vehisect {

/// One record of the record stream, held as the bytes an output receives.
struct StateRecord {
  bool shared = false;      ///< kind 1: every output gets it
  std::size_t vehicle = 0;  ///< for a vehicle record, its vehicle number
  /// The record as written, CR LF terminated, in up to three pieces; a vehicle record's
  /// number reads "0". Valid until the next read.
  std::array<std::string_view, 3> pieces;
  std::string storage;  ///< holds the pieces of a record that had to be rebuilt
};

/// Reads the next record into `record`, reusing its storage; raises ReplayError on a missing
/// line, a malformed kind, or a vehicle number outside 0 to `vehicleCount` - 1. `plain` takes
/// the fast path for a record as the game writes it; both paths give the same record.
void ReadRecord(LineReader& reader, int vehicleCount, StateRecord& record, bool plain = true);

/// What a listing reads of a record: its kind and vehicle number, and the value lines it
/// draws and counts by, as the file holds them, without their line ends. Valid in the call.
struct RecordFields {
  bool shared = false;        ///< kind 1
  std::size_t vehicle = 0;    ///< for a vehicle record, its vehicle number
  std::string_view time;      ///< the time item of the "type,time" line
  std::string_view position;  ///< the "ipos" value line: x,y,z
  std::string_view velocity;  ///< the "bvel" value line: x,y,z in the vehicle's own axes
};

/// Reads records `first` to `count` of the stream with the checks of ReadRecord, handing
/// `take` the fields of each one, without building its pieces; with `toEnd`, a stream that
/// ends at a record's start ends there. Returns the records read.
std::uint64_t ScanRecords(LineReader& reader, int vehicleCount, std::uint64_t first, std::uint64_t count,
                          const std::function<void(const RecordFields& record)>& take, bool toEnd = false);

/// Reads record `r` of the `count` records of the stream as ReadRecord does; a replay that
/// ends inside it says so: "…, found the end of the file, in record r of count".
void ReadRecordOf(LineReader& reader, int vehicleCount, std::uint64_t r, std::uint64_t count, StateRecord& record,
                  bool plain = true);

}  // namespace vehisect
