#include <gtest/gtest.h>

#include "replay/base/error.h"
#include "replay/base/text.h"

namespace vehisect {
namespace {

TEST(ReplaceTextTest, ReplacesEveryOccurrenceLeftToRightWithoutOverlap) {
  EXPECT_EQ(ReplaceText("CANYON.SIT", ".SIT", ""), "CANYON");
  EXPECT_EQ(ReplaceText("A.SIT.SIT", ".SIT", ""), "A");
  EXPECT_EQ(ReplaceText("aaa", "aa", "b"), "ba");
  EXPECT_EQ(ReplaceText("x.SITy.SIT", ".SIT", "-"), "x-y-");
  // The replacement is never searched again.
  EXPECT_EQ(ReplaceText("ab", "a", "aa"), "aab");
}

TEST(ReplaceTextTest, ReturnsSourceUnchangedForTheShortCuts) {
  EXPECT_EQ(ReplaceText("X.sit", ".SIT", ""), "X.sit");
  EXPECT_EQ(ReplaceText("abc", "", "z"), "abc");
  EXPECT_EQ(ReplaceText("", ".SIT", ""), "");
  EXPECT_EQ(ReplaceText("abc", "b", "b"), "abc");
}

TEST(ReplaceTextTest, OverflowsBeyondTheSixteenBitPosition) {
  // The position after the match must fit too: ".SIT" may end at character 32766 at most.
  const std::string fits = std::string(32762, 'A') + ".SIT";
  EXPECT_EQ(ReplaceText(fits, ".SIT", ""), std::string(32762, 'A'));
  try {
    ReplaceText(std::string(32763, 'A') + ".SIT", ".SIT", "");
    FAIL() << "no overflow";
  } catch (const ReplayError& e) {
    EXPECT_STREQ(e.what(),
                 "expected text to replace ending before character 32767, found \".SIT\" "
                 "ending at character 32767");
  }
  // Positions count from the rest after the last match, not from the start of the text.
  const std::string chunk = std::string(30000, 'A') + ".SIT";
  EXPECT_EQ(ReplaceText(chunk + chunk, ".SIT", "").size(), 60000u);
  // With no match there is no position to overflow.
  EXPECT_EQ(ReplaceText(std::string(40000, 'A'), ".SIT", "").size(), 40000u);
}

TEST(TextTest, TrimsSpacesOnlyAndUpperCasesAsciiOnly) {
  EXPECT_EQ(TrimSpaces("  canyon.sit "), "canyon.sit");
  EXPECT_EQ(TrimSpaces("\tx \t"), "\tx \t");
  EXPECT_EQ(TrimSpaces("   "), "");
  EXPECT_EQ(UpperAscii("canyon\xe9.sit"), "CANYON\xe9.SIT");
}

}  // namespace
}  // namespace vehisect
