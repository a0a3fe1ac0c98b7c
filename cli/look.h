#pragma once

#include "cli/options.h"
#include "replay/base/file_system.h"

namespace vehisect::cli {

/// --list: prints what each replay holds through `files`, writing nothing; the exit status.
int List(FileSystem& files, const Options& options);

/// --map: draws the race of the replay into the picture the options name; the exit status.
int Draw(FileSystem& files, const Options& options);

}  // namespace vehisect::cli
