#pragma once

#include <filesystem>
#include <functional>
#include <vector>

namespace vehisect {

/// What becomes of an existing file under an output's name that holds another race.
enum class OtherRace {
  kStop,      ///< nothing of the replay is written
  kReplace,   ///< the new output replaces it
  kKeepBoth,  ///< the new output takes the first free name "… (2).rpl", "… (3).rpl", …
};

/// The question put when outputs would replace files that hold another race.
struct OtherRaceQuestion {
  std::vector<std::filesystem::path> files;  ///< those files' paths
  bool canReplace = true;                    ///< false when one of them is an output of this very run
};

/// How the refusal of a file of another race ends its message, where nothing else was asked.
inline constexpr char kAnotherRacesOutput[] = "another race's output";

/// Answers the question; asked before the folder's lock is taken and anything is replaced.
using OtherRaceChoice = std::function<OtherRace(const OtherRaceQuestion&)>;

}  // namespace vehisect
