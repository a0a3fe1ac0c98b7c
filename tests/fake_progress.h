#pragma once

#include <string>
#include <vector>

#include "replay/run/progress_sink.h"

namespace vehisect::testing {

// Records the progress a run reports, one entry per call.
class FakeProgress : public ProgressSink {
 public:
  std::vector<std::string> calls;
  float value = -1;

  void SetProgressMax(float maximum) override { calls.push_back("max " + Number(maximum)); }
  void SetProgressValue(float v) override {
    // Per-record values would drown the other calls; keep the last and the resets.
    value = v;
    if (v == 0) calls.push_back("value 0");
  }

 private:
  static std::string Number(float f) { return std::to_string(static_cast<long long>(f)); }
};

}  // namespace vehisect::testing
