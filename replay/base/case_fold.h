#pragma once

#include <string>
#include <string_view>

namespace vehisect {

/// `utf8` in its full Unicode case folding for the Latin, Greek and Cyrillic letters (ß as
/// "ss", K as "k"), so that file names a case-blind file system takes for one compare equal.
std::string FoldUtf8(std::string_view utf8);

}  // namespace vehisect
