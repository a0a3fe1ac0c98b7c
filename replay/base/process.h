#pragma once

namespace vehisect {

/// The number of this process, as the system gives it.
unsigned long ThisProcess();

}  // namespace vehisect
