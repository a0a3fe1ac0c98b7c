#include "replay/format/writer.h"

#include <gtest/gtest.h>

#include <sstream>

#include "replay/base/error.h"

namespace vehisect {
namespace {

// Pieces small and large, across many buffers and two outputs at once, arrive whole and in
// order; a stream that fails is named in the error.
TEST(WriterTest, WritesEveryPieceInOrderAndNamesAFailingOutput) {
  std::ostringstream a, b, expected;
  {
    BackgroundWriter background;
    OutputWriter first(a, "a.rpl", background), second(b, "b.rpl", background);
    for (int i = 0; i < 20000; ++i) {
      const std::string piece = std::to_string(i) + (i % 997 == 0 ? std::string(300000, 'x') : "") + "\r\n";
      first.Write(piece);
      second.Write(piece);
      expected << piece;
    }
    first.Flush();
    second.Flush();
    background.Wait();
  }
  EXPECT_EQ(a.str(), expected.str());
  EXPECT_EQ(b.str(), expected.str());

  std::ostringstream broken;
  broken.setstate(std::ios::badbit);
  BackgroundWriter background;
  OutputWriter writer(broken, "c.rpl", background);
  writer.Write("line\r\n");
  writer.Flush();
  try {
    background.Wait();
    FAIL() << "no error";
  } catch (const ReplayError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("c.rpl: expected to write the output, found ", 0), 0u) << e.what();
  }
}

}  // namespace
}  // namespace vehisect
