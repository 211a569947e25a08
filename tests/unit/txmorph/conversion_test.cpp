// Width changes through the platform's code pages: the used-default report in
// its three states, decoding and encoding through TextString, appending
// across widths, narrow results of double-byte pages, and failed conversions.
#include <gtest/gtest.h>

#include "runtime/rt.h"
#include "tests/unit/txmorph/text_string_support.h"
#include "txmorph/text/conversion_state.h"

namespace txmorph {
namespace {

class Conversion : public ::testing::Test {
 protected:
  void SetUp() override { conversionState = ConversionState{0, 0, 0x5E, 2}; }
  void TearDown() override { conversionState = ConversionState{0, 0, 0x5E, 2}; }

  // The narrow form of `text` in `codePage`, through toNarrow.
  std::string narrowed(uint32_t codePage, const std::u16string& text) {
    conversionState.codePage = codePage;
    TextString s = ownedWide(text);
    EXPECT_TRUE(toNarrow(&s));
    EXPECT_TRUE(isTerminated(&s));
    std::string result = narrowText(s);
    release(&s);
    return result;
  }

  std::u16string widened(uint32_t codePage, const std::string& bytes) {
    conversionState.codePage = codePage;
    TextString s = ownedNarrow(bytes);
    EXPECT_TRUE(toWide(&s));
    EXPECT_TRUE(isTerminated(&s));
    std::u16string result = wideText(s);
    release(&s);
    return result;
  }
};

TEST_F(Conversion, UsedReplacementIsAskedForOnlyAtOneOrLess) {
  conversionState.replacementByte = 0x0F;
  conversionState.usedReplacement = 2;
  EXPECT_EQ(narrowed(1252, u"A\u4E00B"),
            "A\x0F"
            "B");
  EXPECT_EQ(conversionState.usedReplacement, 2);

  conversionState.usedReplacement = 0;
  EXPECT_EQ(narrowed(1252, u"A\u4E00B"),
            "A\x0F"
            "B");
  EXPECT_EQ(conversionState.usedReplacement, 1);
  EXPECT_EQ(narrowed(1252, u"AB"), "AB");  // each conversion overwrites it
  EXPECT_EQ(conversionState.usedReplacement, 0);
  conversionState.usedReplacement = 1;
  EXPECT_EQ(narrowed(437, u"\u00E9"), "\x82");
  EXPECT_EQ(conversionState.usedReplacement, 0);

  // Best fit is a conversion, not a replacement.
  conversionState.usedReplacement = 0;
  EXPECT_EQ(narrowed(1252, u"\u0101"), "a");
  EXPECT_EQ(conversionState.usedReplacement, 0);

  // Until the output stage sets 0x0F, names print with '^'.
  conversionState.replacementByte = 0x5E;
  EXPECT_EQ(narrowed(437, u"\u4E00"), "^");
}

TEST_F(Conversion, DecodesWithTheCodePage) {
  EXPECT_EQ(widened(1252, "\x80\xE9z"), u"\u20AC\u00E9z");
  EXPECT_EQ(widened(437, "\x82\xB0"), u"\u00E9\u2591");
  EXPECT_EQ(widened(CP_UTF8, "\xEF\xBB\xBF\xC3\xA9"), u"\uFEFF\u00E9");
  EXPECT_FALSE(widened(CP_UTF8, "A\xC3").empty());  // malformed input is decoded, not refused
}

TEST_F(Conversion, AWidthChangeTakesANewBlockWithSlack) {
  conversionState.codePage = 1252;
  TextString s = ownedNarrow("caf\xE9");
  TextBlock* old = blockOf(&s);
  ASSERT_TRUE(toWide(&s));
  EXPECT_NE(blockOf(&s), old);
  EXPECT_EQ(wideText(s), u"caf\u00E9");
  EXPECT_EQ(capacityOf(s), kHeader + (4 + 1 + 16) * 2);
  EXPECT_EQ(refsOf(s), 1u);
  ASSERT_TRUE(toWide(&s));  // wide already: nothing
  EXPECT_EQ(wideText(s), u"caf\u00E9");

  // In its own block, from its own units, in the other width.
  old = blockOf(&s);
  rebuild(&s, s.data, 2, kWide, kNarrow, 0);
  EXPECT_NE(blockOf(&s), old);
  EXPECT_EQ(narrowText(s), "ca");

  // A shared block stays for its other string.
  TextString other;
  initCopy(&other, &s);
  ASSERT_TRUE(toWide(&s));
  EXPECT_EQ(narrowText(other), "ca");
  release(&other);

  makeEmpty(&s, kNarrow);
  ASSERT_TRUE(toWide(&s));
  EXPECT_EQ(widthOf(&s), kWide);
  EXPECT_EQ(blockOf(&s), nullptr);
  release(&s);
}

TEST_F(Conversion, AppendWidensTheNarrowSide) {
  conversionState.codePage = 1252;
  TextString narrow = ownedNarrow("\xE9");
  TextString wide = ownedWide(u"x");
  append(&narrow, &wide);
  EXPECT_EQ(widthOf(&narrow), kWide);
  EXPECT_EQ(wideText(narrow), u"\u00E9x");

  TextString euro;
  initFromCString(&euro, "\x80");
  append(&wide, &euro);
  EXPECT_EQ(wideText(wide), u"x\u20AC");
  EXPECT_EQ(narrowText(euro), "\x80");
  release(&narrow);
  release(&wide);
}

TEST_F(Conversion, DoubleByteResultsGetTheRoomTheyNeed) {
  EXPECT_EQ(narrowed(932, u"\u65E5\u672C\u8A9E"), "\x93\xFA\x96\x7B\x8C\xEA");

  std::u16string text;
  std::string expected;
  for (int i = 0; i < 1000; i++) {
    text += u"\u65E5\u672C\u8A9E abc\n";
    expected += "\x93\xFA\x96\x7B\x8C\xEA abc\n";
  }
  EXPECT_EQ(narrowed(932, text), expected);
  EXPECT_EQ(widened(932, expected), text);

  // Kept units narrowed on the way, and a fill of a two-byte character.
  TextString s = ownedWide(u"\u65E5\u672C");
  ASSERT_TRUE(rebuild(&s, u"\u8A9E", 1, kWide, kNarrow, kKeep));
  EXPECT_EQ(narrowText(s), "\x93\xFA\x96\x7B\x8C\xEA");
  EXPECT_TRUE(isTerminated(&s));
  ASSERT_TRUE(rebuild(&s, u"\u65E5", 40, kWide, kNarrow, kFill));
  std::string filled;
  for (int i = 0; i < 40; i++) filled += "\x93\xFA";
  EXPECT_EQ(narrowText(s), filled);
  EXPECT_TRUE(isTerminated(&s));
  release(&s);
}

TEST_F(Conversion, UTF8FromThePlatformNeedsNoDefaultCharacter) {
  conversionState.usedReplacement = 0;
  std::u16string text;
  std::string expected;
  for (int i = 0; i < 100; i++) {
    text += u"\u00E9\u65E5";
    expected += "\xC3\xA9\xE6\x97\xA5";
  }
  EXPECT_EQ(narrowed(CP_UTF8, text), expected);
  EXPECT_EQ(conversionState.usedReplacement, 0);
}

TEST_F(Conversion, AFailedConversionLeavesTheTextAsItWas) {
  conversionState.codePage = 12345;  // no such code page
  TextString s = ownedNarrow("text");
  TextBlock* block = blockOf(&s);
  SetLastError(0);
  EXPECT_FALSE(toWide(&s));
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_EQ(blockOf(&s), block);
  EXPECT_EQ(widthOf(&s), kNarrow);
  EXPECT_EQ(narrowText(s), "text");

  TextString wide = ownedWide(u"wide");
  EXPECT_FALSE(toNarrow(&wide));
  EXPECT_EQ(wideText(wide), u"wide");
  append(&s, &wide);
  EXPECT_EQ(narrowText(s), "text");

  // Its own block refilled from elsewhere: what stood there is gone.
  EXPECT_FALSE(rebuild(&s, u"abc", 3, kWide, kNarrow, 0));
  EXPECT_EQ(s.length, 0u);
  EXPECT_TRUE(isTerminated(&s));
  release(&s);
  release(&wide);
}

TEST_F(Conversion, NothingToConvertIsNoFailure) {
  char byte = 'x';
  uint16_t unit = 'y';
  conversionState.usedReplacement = 1;
  EXPECT_EQ(convertUnits(&unit, 0, kWide, &byte, kNarrow), 0u);
  EXPECT_EQ(conversionState.usedReplacement, 0);
  EXPECT_EQ(convertUnits(&byte, 0, kNarrow, &unit, kWide), 0u);
  EXPECT_EQ(byte, 'x');
  EXPECT_EQ(unit, 'y');
}

}  // namespace
}  // namespace txmorph
