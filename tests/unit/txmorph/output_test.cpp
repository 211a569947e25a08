// The output stage: each output encoding with and without a byte order mark,
// the lossy verdict, the "converted" line, and the console copies of names.
#include "tests/unit/txmorph/txmorph_test_support.h"

namespace txmorph {
namespace {

class Output : public StageTest {
 protected:
  // The bytes of `units` converted to `output`; the verdict in *lossy.
  std::string convert(const std::u16string& units, TextEncoding output, bool raw,
                      bool* lossy = nullptr) {
    TextString text = ownedWide(units);
    bool verdict = true;
    EXPECT_TRUE(convertOutput(&text, output, raw, &verdict));
    if (lossy != nullptr) *lossy = verdict;
    std::string bytes = bytesOf(text);
    release(&text);
    return bytes;
  }
};

TEST_F(Output, UnicodeOutputsGetAByteOrderMarkUnlessRaw) {
  bool lossy = true;
  EXPECT_EQ(convert(u"A", Utf8, false, &lossy),
            "\xEF\xBB\xBF"
            "A");
  EXPECT_FALSE(lossy);
  EXPECT_EQ(convert(u"A", Utf8, true), "A");
  EXPECT_EQ(convert(u"A", Wide, false), std::string("\xFF\xFE"
                                                    "A\0",
                                                    4));
  EXPECT_EQ(convert(u"A", Wide, true), std::string("A\0", 2));
  EXPECT_EQ(convert(u"", Utf8, false), "\xEF\xBB\xBF");
  EXPECT_EQ(convert(u"", Utf8, true), "");
  EXPECT_EQ(convert(u"", Wide, false), "\xFF\xFE");
  EXPECT_EQ(convert(u"\xD83D\xDE00", Utf8, true, &lossy), "\xF0\x9F\x98\x80");
  EXPECT_FALSE(lossy);
}

TEST_F(Output, CodePagesAreLossyWhenACharacterIsNotHeldAsItself) {
  bool lossy = true;
  EXPECT_EQ(convert(u"", Ansi, false, &lossy), "");
  EXPECT_FALSE(lossy);
  EXPECT_EQ(convert(u"caf\u00E9", Ansi, false, &lossy), "caf\xE9");
  EXPECT_FALSE(lossy);  // no byte order mark is added
  EXPECT_EQ(convert(u"x\u4E00", Ansi, false, &lossy), "x\x0F");
  EXPECT_TRUE(lossy);
  EXPECT_EQ(convert(u"\u00E9\u2591", Oem, false, &lossy), "\x82\xB0");
  EXPECT_FALSE(lossy);
  EXPECT_EQ(convert(u"\u20AC", Oem, true, &lossy), "\x0F");
  EXPECT_TRUE(lossy);
  EXPECT_EQ(conversionState.replacementByte, 0x0F);
}

TEST_F(Output, BestFitKeepsItsBytesAndIsLossy) {
  bool lossy = false;
  // The infinity sign shows as "8" and A with macron as "A": gone all the same.
  EXPECT_EQ(convert(u"x \u221E \u0100", Ansi, false, &lossy), "x 8 A");
  EXPECT_TRUE(lossy);
  EXPECT_TRUE(textLosses.replaced);
  // Best fit and replacement in one text: the bytes of the conversion with best fit.
  EXPECT_EQ(convert(u"\u0101\u4E00", Ansi, false, &lossy), "a\x0F");
  EXPECT_TRUE(lossy);
  EXPECT_EQ(conversionState.wcFlags, 0u);  // names still print with best fit
  lossy = true;
  EXPECT_EQ(convert(u"\u0101", Utf8, true, &lossy), "\xC4\x81");
  EXPECT_FALSE(lossy);
}

TEST_F(Output, EveryOutputIsLossyAfterLossesOfTheInput) {
  for (TextEncoding output : {Ansi, Oem, Utf8, Wide}) {
    bool lossy = false;
    textLosses.oddByte = true;
    convert(u"A", output, false, &lossy);
    EXPECT_TRUE(lossy) << output;
    // The decoded units are kept for the report, without the byte order mark.
    EXPECT_EQ(wideText(textLosses.decoded), u"A") << output;
    releaseLosses();
    convert(u"A", output, false, &lossy);
    EXPECT_FALSE(lossy) << output;
    EXPECT_EQ(textLosses.decoded.length, 0u) << output;
  }
}

TEST_F(Output, AByteOrderMarkGoesInFrontOfADecodedTextWithoutMovingIt) {
  // The input stage leaves room in front of the units it decodes.
  TextString text = ownedNarrow("hello");
  TextEncoding encoding = Utf8;
  uint8_t stopMode = 0;
  ASSERT_EQ(checkInput(&text, &encoding, &stopMode), InputReady);
  const void* units = text.data;
  TextBlock* block = blockOf(&text);
  bool lossy;
  ASSERT_TRUE(convertOutput(&text, Wide, false, &lossy));
  EXPECT_EQ(blockOf(&text), block);
  EXPECT_EQ(static_cast<const char*>(text.data) + 2, units);
  EXPECT_EQ(wideText(text), u"\uFEFFhello");
  release(&text);
}

TEST_F(Output, ConvertedLineAtLevelZeroOrBeforeAPrompt) {
  TextString text = ownedNarrow("abcd");
  reportConversion(&text, Ansi, false, 0);
  reportConversion(&text, Oem, true, 0);
  quietLevel = 2;
  reportConversion(&text, Utf8, false, 0);  // not shown
  reportConversion(&text, Ansi, true, 1);   // a prompt follows
  EXPECT_EQ(messages(),
            "  converted (4) to ANSI 1252 -- REVERSIBLE\n"
            "  converted (4) to OEM 437 -- LOSSY (to \\x0F)\n"
            "  converted (4) to ANSI 1252 -- LOSSY (to \\x0F)\n");
  release(&text);

  capturedMessages().clear();
  quietLevel = 0;
  TextString wide = ownedWide(u"\uFEFFab");
  reportConversion(&wide, Wide, false, 0);
  EXPECT_EQ(messages(), "  converted (6) to WIDE -- REVERSIBLE\n");
  release(&wide);
}

// A POSIX console shows the file names' own code page: a name prints as its
// bytes, whatever the code pages would make of it, and whatever the output
// conversion left in the conversion state.
TEST_F(Output, NamesPrintAsTheirBytes) {
  TextString name = ownedNarrow("caf\xE9 \x80\x81.txt");
  TextString shown = displayName(&name);
  EXPECT_EQ(narrowText(shown), "caf\xE9 \x80\x81.txt");
  EXPECT_TRUE(isTerminated(&shown));
  release(&shown);

  conversionState.codePage = CP_OEMCP;
  conversionState.replacementByte = 0x0F;
  shown = displayName(&name);
  EXPECT_EQ(narrowText(shown), "caf\xE9 \x80\x81.txt");
  EXPECT_EQ(conversionState.codePage, static_cast<uint32_t>(CP_OEMCP));
  release(&shown);
  release(&name);
}

}  // namespace
}  // namespace txmorph
