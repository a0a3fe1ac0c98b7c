#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "replay/base/case_fold.h"
#include "replay/base/encoding.h"
#include "replay/base/paths.h"
#include "replay/format/header.h"

namespace vehisect {

/// `text` with every character that Windows forbids in file names (< > : " / \ | ? * and
/// codes 0 to 31) replaced by '_'.
std::string SafeFileName(std::string_view text);

/// The output file names of the vehicles of `header`, in Windows-1252 like the replay:
/// "VH_" + level name + "_" + driver + ".rpl", made safe, a driver too long shortened, and
/// made unique ignoring case by appending the vehicle's position, or the next number free, to
/// a repeated driver part. Raises ReplayError naming `file` for a name still too long.
std::vector<std::string> OutputNames(const ReplayHeader& header, const std::string& file);

/// The 0-based positions of the vehicles of `header`, whose outputs are `names`, that `which`
/// names, in vehicle order: each entry a position from 1, a driver, or the driver part of its
/// output's name (UTF-8, ignoring the case of A to Z); every vehicle when `which` is empty.
/// Raises ReplayError naming `file` and its vehicles for an entry that names none.
std::vector<std::size_t> SelectVehicles(const ReplayHeader& header, const std::vector<std::string>& names,
                                        const std::vector<std::string>& which, const std::string& file);

}  // namespace vehisect
