#include "replay/format/header.h"

#include "replay/base/error.h"
#include "replay/format/items.h"
#include "replay/format/numbers.h"
#include "replay/base/text.h"

namespace vehisect {
namespace {

// Every line of the header is read through here, so that its size stays bounded.
std::string_view ReadHeaderLine(LineReader& reader, const std::string& expected) {
  const std::string_view line = reader.Read(expected);
  if (reader.offset() > kMaxHeaderBytes) {
    reader.Fail("at most 4 MiB before the first record", "more by this line");
  }
  return line;
}

std::string ReadValue(LineReader& reader, const char* label) {
  ReadHeaderLine(reader, std::string("the \"") + label + "\" label line");
  return std::string(ReadHeaderLine(reader, std::string("the \"") + label + "\" value line"));
}

// ReplaceText knows no file; tie its overflow to the line the text came from.
std::string ReplaceOnLine(const LineReader& reader, std::uint64_t line, const std::string& text,
                          const std::string& find) {
  try {
    return ReplaceText(text, find, "");
  } catch (const ReplayError& e) {
    throw e.At(reader.name(), line);
  }
}

}  // namespace

ReplayHeader ReadHeader(LineReader& reader) {
  ReplayHeader h;
  h.level = UpperAscii(TrimSpaces(ReadValue(reader, "demoLevel")));
  h.levelName = ReplaceOnLine(reader, reader.line(), h.level, ".SIT");
  h.weather = ReadValue(reader, "weather");

  const std::string countLine = ReadValue(reader, "vehicleCount");
  std::string_view item;
  if (SplitItems(countLine, &item, 1) != 1) {
    reader.Fail("one vehicle count", Quoted(countLine));
  }
  const auto count = ParseWholeNumber(item, 1, kMaxVehicles);
  if (!count) reader.Fail("a vehicle count from 1 to 8", Quoted(item));
  h.vehicleCount = static_cast<int>(*count);
  if (h.vehicleCount > 1) ReadRestOfHeader(reader, h);
  return h;
}

void ReadRestOfHeader(LineReader& reader, ReplayHeader& h) {
  for (int i = 1; i <= h.vehicleCount; ++i) {
    VehicleEntry entry;
    entry.vehicle = ReadHeaderLine(reader, "the vehicle line of vehicle " + std::to_string(i));
    const std::uint64_t vehicleLine = reader.line();
    entry.driver = ReadHeaderLine(reader, "the driver line of vehicle " + std::to_string(i));
    // Several computer drivers share these names; the position tells them apart.
    if (entry.driver == "Computer") {
      entry.driver =
          ReplaceOnLine(reader, vehicleLine, UpperAscii(TrimSpaces(entry.vehicle)), ".TRK") +
          std::to_string(i);
    }
    if (entry.driver == "DriverX") entry.driver += std::to_string(i);
    h.vehicles.push_back(std::move(entry));
  }

  h.detailLevel = ReadValue(reader, "detailLevel");
  h.recordPtr = ReadValue(reader, "demoRecordPtr");
  h.recordCount = ReadValue(reader, "demoRecordCount");
  const auto records = ParseWholeNumber(h.recordCount, 0, kMaxRecords);
  if (!records) {
    reader.Fail("a record count from 0 to " + std::to_string(kMaxRecords), Quoted(h.recordCount));
  }
  h.records = static_cast<std::uint64_t>(*records);

  h.objectCount = ReadValue(reader, "Original object locations");
  const auto objects = ParseWholeNumber(h.objectCount, 0, kMaxObjects);
  if (!objects) {
    reader.Fail("an object-location count from 0 to 541", Quoted(h.objectCount));
  }
  for (std::int64_t j = 1; j <= *objects; ++j) {
    h.objects.emplace_back(ReadHeaderLine(reader, "object-location line " + std::to_string(j)));
  }
}

std::vector<std::string_view> OutputHeaderLines(const ReplayHeader& header, std::size_t k,
                                                bool useRecordPtr) {
  const VehicleEntry& entry = header.vehicles.at(k);
  std::vector<std::string_view> lines = {
      "demoLevel", header.level,
      "weather", header.weather,
      "vehicleCount", "1",
      entry.vehicle, entry.driver,
      "detailLevel", header.detailLevel,
      "demoRecordPtr", useRecordPtr ? header.recordPtr : header.recordCount,
      "demoRecordCount", header.recordCount,
      "Original object locations", header.objectCount,
  };
  lines.insert(lines.end(), header.objects.begin(), header.objects.end());
  return lines;
}

}  // namespace vehisect
