#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

#include "fake_progress.h"
#include "memory_store.h"
#include "replay/base/error.h"
#include "replay/run/splitter.h"
#include "replay_builder.h"

namespace vehisect::testing {

// Splits a replay built in memory into memory, for the tests of the header, the records, the
// names and the run itself.
class SplitterTest : public ::testing::Test {
 protected:
  ReplayBuilder replay;
  FakeProgress progress;
  MemoryOutputStore store;

  SplitResult Split(bool useRecordPtr = false) { return SplitText(replay.Build(), useRecordPtr); }

  SplitResult SplitText(const std::string& text, bool useRecordPtr = false) {
    std::istringstream in(text);
    return SplitReplay(in, "race.rpl", useRecordPtr, progress, store);
  }

  // The message of the error the run raises; the run must leave no output behind.
  std::string ErrorOf(const std::string& text) {
    try {
      SplitText(text);
    } catch (const ReplayError& e) {
      EXPECT_TRUE(store.files().empty());
      for (const std::string& call : progress.calls) EXPECT_EQ(call.rfind("max ", 0), 0u) << call;
      return e.what();
    }
    return "no error";
  }
  std::string ErrorOf() { return ErrorOf(replay.Build()); }

  const std::string& File(const std::string& name) {
    const auto found = store.files().find(name);
    if (found == store.files().end()) throw std::runtime_error("no output " + name);
    return found->second;
  }
};

}  // namespace vehisect::testing
