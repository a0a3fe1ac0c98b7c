#include "replay/listing.h"

#include "replay/header.h"
#include "replay/names.h"
#include "replay/reader.h"
#include "replay/record.h"

namespace vehisect {

ReplayListing ListReplay(std::istream& replay, const std::string& replayName) {
  LineReader reader(replay, replayName);
  ReplayHeader header = ReadHeader(reader);
  if (header.vehicleCount == 1) ReadRestOfHeader(reader, header);
  const std::vector<std::string> names = OutputNames(header, replayName);

  ReplayListing listing{header.level, header.weather, header.detailLevel, header.recordPtr,
                        header.records, static_cast<int>(header.objects.size()), 0, {}};
  for (std::size_t k = 0; k < header.vehicles.size(); ++k) {
    listing.vehicles.push_back({static_cast<int>(k + 1), header.vehicles[k].vehicle,
                                header.vehicles[k].driver, names[k], 0});
  }
  StateRecord record;
  for (std::uint64_t r = 1; r <= header.records; ++r) {
    ReadRecord(reader, header.vehicleCount, record);
    ++(record.shared ? listing.sharedRecords : listing.vehicles[record.vehicle].records);
  }
  return listing;
}

ReplayListing ListReplay(const std::filesystem::path& replayPath) {
  const std::string shown = PathToUtf8(replayPath);
  std::ifstream replay = OpenReplay(replayPath, shown);
  return ListReplay(replay, shown);
}

}  // namespace vehisect
