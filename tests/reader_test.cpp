#include <gtest/gtest.h>

#include <sstream>

#include "replay/base/buffer.h"
#include "replay/base/error.h"
#include "replay/format/items.h"
#include "replay/format/numbers.h"
#include "replay/format/reader.h"

namespace vehisect {
namespace {

class LineReaderTest : public ::testing::Test {
 protected:
  // Every line of `text`, read until the reader reports the end.
  static std::vector<std::string> Lines(const std::string& text) {
    std::istringstream in(text);
    LineReader reader(in, "race.rpl");
    std::vector<std::string> lines;
    for (;;) {
      try {
        lines.emplace_back(reader.Read("a line"));
      } catch (const ReplayError&) {
        return lines;
      }
    }
  }

  static std::string ErrorOf(const std::string& text, int reads) {
    std::istringstream in(text);
    LineReader reader(in, "race.rpl");
    try {
      for (int i = 0; i < reads; ++i) reader.Read("the next line");
    } catch (const ReplayError& e) {
      return e.what();
    }
    return "no error";
  }
};

TEST_F(LineReaderTest, EndsLinesAtCrOrCrLfAndKeepsALoneLf) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Lines("a\r\nb\rc\nd\r\n\r\ne"), (V{"a", "b", "c\nd", "", "e"}));
  EXPECT_EQ(Lines("\r\r\n\r"), (V{"", "", ""}));
  EXPECT_EQ(Lines(std::string("n\0l\xff \r\n", 7)), (V{std::string("n\0l\xff ", 5)}));
  EXPECT_EQ(Lines(""), V{});
}

TEST_F(LineReaderTest, ReportsTheEndOfTheFileAtTheLineThatIsMissing) {
  EXPECT_EQ(ErrorOf("a\r\nb\r\n", 3), "race.rpl:3: expected the next line, found the end of the file");
  EXPECT_EQ(ErrorOf("", 1), "race.rpl:1: expected the next line, found the end of the file");
}

TEST_F(LineReaderTest, KeepsCrLfTogetherWhereverTheBufferBreaks) {
  // Lines of 1001 bytes with terminator, then one line whose CR falls at each offset around
  // the end of the reader's first fill, followed by LF or by the next line's first byte.
  const std::string filler = std::string(999, 'x') + "\r\n";
  std::string body;
  for (int i = 0; i < 2095; ++i) body += filler;
  for (std::size_t tail = 40; tail < 80; ++tail) {
    for (const char* after : {"\r\nnext\r\n", "\rnext\r\n"}) {
      const auto lines = Lines(body + std::string(tail, 'y') + after);
      ASSERT_EQ(lines.size(), 2097u) << tail;
      EXPECT_EQ(lines[2095], std::string(tail, 'y'));
      EXPECT_EQ(lines[2096], "next") << tail;
    }
  }
}

TEST_F(LineReaderTest, RefusesLinesLongerThanOneMebibyte) {
  const std::string longest(LineReader::kMaxLine, 'a');
  EXPECT_EQ(Lines("x\r\n" + longest + "\r\ny").size(), 3u);
  const std::string message =
      "race.rpl:2: expected a line of at most 1048576 bytes, found a longer one";
  EXPECT_EQ(ErrorOf("x\r\n" + longest + "a\r\n", 2), message);
  // Without a terminator in sight the reader stops early instead of reading on.
  EXPECT_EQ(ErrorOf("x\r\n" + std::string(5 * LineReader::kMaxLine, 'a'), 2), message);
}

// Kept memory is handed out again, but never to two holders at once.
TEST(BufferTest, HandsKeptMemoryToOneHolderAtATime) {
  constexpr std::size_t kSize = 12345;  // no other buffer of the program has this size
  Buffer a(kSize), b(kSize);
  char* const first = a.data();
  EXPECT_NE(first, b.data());
  a = Buffer(kSize);  // keeps the memory it held
  EXPECT_NE(a.data(), b.data());
  const Buffer c(kSize);
  EXPECT_EQ(c.data(), first);
  EXPECT_NE(c.data(), a.data());
}

TEST(ItemsTest, SplitsItemsAsTheGameWritesThem) {
  std::string_view items[3];
  ASSERT_EQ(SplitItems(" 2 , 0.50", items, 3), 2u);
  EXPECT_EQ(items[0], "2");
  EXPECT_EQ(items[1], "0.50");
  ASSERT_EQ(SplitItems("\"1\",\t\"a,b\"", items, 3), 2u);
  EXPECT_EQ(items[0], "1");
  EXPECT_EQ(items[1], "a,b");
  EXPECT_EQ(SplitItems("3", items, 3), 1u);
  EXPECT_EQ(SplitItems("", items, 3), 1u);
  EXPECT_EQ(SplitItems("1,", items, 3), 2u);
  EXPECT_EQ(items[1], "");
  EXPECT_EQ(SplitItems("1,2,3,4", items, 3), 4u);
}

TEST(NumberTest, AcceptsDecimalTextOnly) {
  EXPECT_EQ(ParseNumber("2.0"), 2.0);
  EXPECT_EQ(ParseNumber(" -3 "), -3.0);
  EXPECT_EQ(ParseNumber("+1e2"), 100.0);
  EXPECT_EQ(ParseNumber(".5"), 0.5);
  EXPECT_EQ(ParseNumber("5."), 5.0);
  EXPECT_EQ(ParseNumber("1.5E-1"), 0.15);
  for (const char* bad : {"", " ", "abc", "1x", "inf", "nan", "0x10", "1e", "--1", "1 2", ".", "+"}) {
    EXPECT_FALSE(ParseNumber(bad)) << bad;
  }
}

// A line as the game writes it in one pass, read as each item alone would be; any other
// line is left to be read item by item.
TEST(NumberTest, ReadsPlainValueLinesInOnePass) {
  double v[3] = {};
  ASSERT_TRUE(ParsePlainMeasures("1024.5,-0.25,7,9,9", v, 3));
  EXPECT_EQ(v[0], *ParseMeasure("1024.5"));
  EXPECT_EQ(v[1], -0.25);
  EXPECT_EQ(v[2], 7.0);
  for (const char* other : {"1,2", "1,2,", "1, 2,3", "1,2,3x", "1,,3", "1e2,2,3", "1234567890123456,2,3"}) {
    EXPECT_FALSE(ParsePlainMeasures(other, v, 3)) << other;
  }
}

TEST(NumberTest, TakesWholeNumbersWithinTheirRange) {
  EXPECT_EQ(ParseWholeNumber("2.0", 1, 8), 2);
  EXPECT_EQ(ParseWholeNumber(" 8 ", 1, 8), 8);
  EXPECT_FALSE(ParseWholeNumber("2.5", 1, 8));
  EXPECT_FALSE(ParseWholeNumber("9", 1, 8));
  EXPECT_FALSE(ParseWholeNumber("0", 1, 8));
  EXPECT_FALSE(ParseWholeNumber("1e300", 0, 541));
  // Exactly, not through a double: 2^53 + 1 is not 2^53, nor is a hair below 1 the number 1.
  const std::int64_t largest = std::int64_t{1} << 53;
  EXPECT_EQ(ParseWholeNumber("9007199254740992", 0, largest), largest);
  EXPECT_FALSE(ParseWholeNumber("9007199254740993", 0, largest));
  EXPECT_FALSE(ParseWholeNumber("0.99999999999999999999", 0, 7));
  EXPECT_FALSE(ParseWholeNumber("1.00000000000000000001", 0, 7));
  EXPECT_EQ(ParseWholeNumber("3.000000000000000000000", 0, 7), 3);
  EXPECT_EQ(ParseWholeNumber("0.3e1", 0, 7), 3);
  EXPECT_EQ(ParseWholeNumber("300e-2", 0, 7), 3);
  EXPECT_EQ(ParseWholeNumber("-0.0e99999999999", 0, 7), 0);
  EXPECT_FALSE(ParseWholeNumber("1e99999999999", 0, largest));
}

}  // namespace
}  // namespace vehisect
