#include "cli/look.h"

#include <iostream>

#include "cli/console.h"
#include "cli/listing_print.h"
#include "replay/base/error.h"
#include "replay/base/paths.h"
#include "replay/run/listing.h"
#include "replay/run/race_picture.h"

namespace vehisect::cli {

int List(FileSystem& files, const Options& options) {
  int status = 0;
  bool first = true;
  for (const std::string& replay : options.replays) {
    try {
      const ReplayListing listing = ListReplay(files, PathFromUtf8(replay), PathFromUtf8(options.outputFolder));
      if (!options.json && !first) std::cout << "\n";
      if (options.json) std::cout << Dump(ListingJson(replay, listing)) << "\n";
      if (!options.json) PrintListing(std::cout, replay, listing);
      first = false;
    } catch (const std::exception& e) {
      status = 1;
      if (options.json) std::cout << Dump({{"file", replay}, {"error", e.what()}}) << "\n";
      FlushOutput();
      if (!options.json) std::cerr << "vehisect-cli: " << e.what() << "\n";
    }
    FlushOutput();
  }
  return status;
}

int Draw(FileSystem& files, const Options& options) {
  try {
    DrawRace(files, PathFromUtf8(options.replays[0]), PathFromUtf8(options.map), options.split.vehicles, options.replace);
  } catch (const ReplayError& e) {
    std::cerr << "vehisect-cli: " << e.what() << (e.found() == "a file there" ? "; use --replace to replace it" : "") << "\n";
    return 1;
  }
  std::cout << options.map << "\n";
  return 0;
}

}  // namespace vehisect::cli
