#include "replay/record.h"

#include <array>

#include "replay/error.h"
#include "replay/text.h"
#include "replay/writer.h"

namespace vehisect {
namespace {

constexpr std::size_t kSharedFields = 5;
constexpr std::size_t kNumberField = 4;
constexpr std::array<const char*, 9> kLabels = {
    "ipos",
    "bvel",
    "theta,phi,psi",
    "p,q,r",
    "number",
    "fsteering_angle,rsteering_angle",
    "frtire_theta,fltire_theta,rrtire_theta,rltire_theta",
    "eng_throttle,faxle_brake_pct,raxle_brake_pct,ap_cnumber",
    "damageCode,gear",
};

struct Expectations {
  std::array<std::string, kLabels.size()> label, value;
  Expectations() {
    for (std::size_t i = 0; i < kLabels.size(); ++i) {
      label[i] = std::string("the \"") + kLabels[i] + "\" label line";
      value[i] = std::string("the \"") + kLabels[i] + "\" value line";
    }
  }
};

// Built once: the hot loop must not build a message for every line it reads.
const Expectations& Expected() {
  static const Expectations expected;
  return expected;
}

}  // namespace

void ReadRecord(LineReader& reader, int vehicleCount, StateRecord& record) {
  const Expectations& expected = Expected();
  reader.Read("the \"type,time\" label line");
  const std::string_view kindTime = reader.Read("the \"type,time\" value line");
  std::array<std::string_view, 2> items;
  if (SplitItems(kindTime, items.data(), items.size()) != items.size()) {
    reader.Fail("expected a record kind and time as two items, found " + Quoted(kindTime));
  }
  const std::string_view kind = TrimSpaces(items[0]);
  const std::optional<double> kindValue = ParseNumber(kind);
  if (!kindValue) reader.Fail("expected a record kind that is a number, found " + Quoted(kind));

  record.shared = *kindValue == 1;
  record.lines.clear();
  AppendLine(record.lines, "type,time");
  record.lines += kind;
  record.lines += ',';
  AppendLine(record.lines, TrimSpaces(items[1]));

  const std::size_t fields = record.shared ? kSharedFields : kLabels.size();
  for (std::size_t i = 0; i < fields; ++i) {
    reader.Read(expected.label[i]);
    const std::string_view value = reader.Read(expected.value[i]);
    AppendLine(record.lines, kLabels[i]);
    if (i != kNumberField || record.shared) {
      AppendLine(record.lines, value);
      continue;
    }
    const auto number = ParseWholeNumber(value, 0, vehicleCount - 1);
    if (!number) {
      reader.Fail("expected a vehicle number from 0 to " + std::to_string(vehicleCount - 1) +
                  ", found " + Quoted(value));
    }
    record.vehicle = static_cast<std::size_t>(*number);
    // Each output holds one vehicle, so its records are all vehicle 0.
    AppendLine(record.lines, "0");
  }
}

}  // namespace vehisect
