#pragma once

#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "replay/run/listing.h"

namespace vehisect::cli {

/// Prints the listing `listing` of the replay `file` (UTF-8) for a reader, as a table.
void PrintListing(std::ostream& out, const std::string& file, const ReplayListing& listing);

/// The listing `listing` of the replay `file` as one JSON object, for --json.
nlohmann::json ListingJson(const std::string& file, const ReplayListing& listing);

/// `json` on one line; text that is not UTF-8 is replaced, never thrown for.
std::string Dump(const nlohmann::json& json);

}  // namespace vehisect::cli
