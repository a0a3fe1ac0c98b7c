#pragma once

namespace vehisect {

/// The tooltip of "Use demoRecordPtr", in both windows (UTF-8).
inline constexpr const char* kCheck1Tooltip =
    "Unticked (the usual choice), every output's \"demoRecordPtr\" is set to the race's "
    "record count.\nTicked, every output keeps the race replay's own \"demoRecordPtr\" value "
    "instead: tick it if the outputs do not play back in the game as the race did.";

}  // namespace vehisect
