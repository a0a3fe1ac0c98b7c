#include "replay/base/process.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace vehisect {

unsigned long ThisProcess() {
#ifdef _WIN32
  return static_cast<unsigned long>(_getpid());
#else
  return static_cast<unsigned long>(getpid());
#endif
}

}  // namespace vehisect
