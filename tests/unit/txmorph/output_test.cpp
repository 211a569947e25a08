// The output stage: each output encoding with and without a byte order mark,
// the lossy verdict, the "converted" line, and the console copies of names.
#include "tests/unit/txmorph/txmorph_test_support.h"
#include "txmorph/blocks/conversion_steps.h"

namespace txmorph {
namespace {

class Output : public StageTest {
 protected:
  // The bytes of `units` (UTF-16LE input with a byte order mark, and an odd
  // byte after them when asked) converted to `output`; the verdict in *lossy.
  std::string convert(const std::u16string& units, TextEncoding output, bool raw,
                      bool* lossy = nullptr, bool oddByte = false) {
    std::u16string marked = u"\uFEFF" + units;
    std::string bytes(reinterpret_cast<const char*>(marked.data()), marked.size() * 2);
    if (oddByte) bytes += 'x';
    RunSettings settings = settingsFor(Wide, output);
    settings.rawOutput = raw;
    MemoryConversion conversion(bytes, settings);
    quietLevel = 2;
    EXPECT_EQ(conversion.run(), 0);
    quietLevel = 0;
    if (lossy != nullptr) *lossy = isLossy(&conversion.c);
    replaced = conversion.c.replaced;
    nameReplacement = conversion.c.messages.nameReplacement;
    return conversion.output();
  }
  bool replaced = false;
  char nameReplacement = 0;
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
  EXPECT_EQ(nameReplacement, 0x0F);  // names printed after it show what the console lacks so
}

TEST_F(Output, BestFitKeepsItsBytesAndIsLossy) {
  bool lossy = false;
  // The infinity sign shows as "8" and A with macron as "A": gone all the same.
  EXPECT_EQ(convert(u"x \u221E \u0100", Ansi, false, &lossy), "x 8 A");
  EXPECT_TRUE(lossy);
  EXPECT_TRUE(replaced);
  // Best fit and replacement in one text: the bytes of the conversion with best fit.
  EXPECT_EQ(convert(u"\u0101\u4E00", Ansi, false, &lossy), "a\x0F");
  EXPECT_TRUE(lossy);
  // Each conversion keeps its settings: the process's are as they were.
  EXPECT_EQ(conversionState.codePage, 0u);
  EXPECT_EQ(conversionState.wcFlags, 0u);
  lossy = true;
  EXPECT_EQ(convert(u"\u0101", Utf8, true, &lossy), "\xC4\x81");
  EXPECT_FALSE(lossy);
}

TEST_F(Output, EveryOutputIsLossyAfterLossesOfTheInput) {
  for (TextEncoding output : {Ansi, Oem, Utf8, Wide}) {
    bool lossy = false;
    convert(u"A", output, false, &lossy, true);  // the odd byte is dropped
    EXPECT_TRUE(lossy) << output;
    convert(u"A", output, false, &lossy);
    EXPECT_FALSE(lossy) << output;
  }
}

TEST_F(Output, ConvertedLineAtLevelZeroOrBeforeAPrompt) {
  RunSettings settings = settingsFor(Utf8, Ansi);
  Conversion c;
  initConversion(&c, &settings);
  auto line = [&c](TextEncoding output, bool lossy, uint8_t askMode) {
    c.output = output;
    c.outputPage.codePage = encodingCodePage(output);
    c.replaced = lossy;
    c.askMode = askMode;
    reportConversion(&c);
  };
  c.outputBytes = 4;
  line(Ansi, false, 0);
  line(Oem, true, 0);
  quietLevel = 2;
  line(Utf8, false, 0);  // not shown
  line(Ansi, true, 1);   // a prompt follows
  EXPECT_EQ(messages(),
            "  converted (4) to ANSI 1252 -- REVERSIBLE\n"
            "  converted (4) to OEM 437 -- LOSSY (to \\x0F)\n"
            "  converted (4) to ANSI 1252 -- LOSSY (to \\x0F)\n");
  capturedMessages().clear();
  quietLevel = 0;
  c.outputBytes = 6;
  line(Wide, false, 0);
  EXPECT_EQ(messages(), "  converted (6) to WIDE -- REVERSIBLE\n");
  releaseConversion(&c);
}

// A POSIX console shows the file names' own code page: a name prints as its
// bytes, whatever the code pages would make of it, and whatever the output
// conversion set for names.
TEST_F(Output, NamesPrintAsTheirBytes) {
  TextString name = ownedNarrow("caf\xE9 \x80\x81.txt");
  Messages m;
  initMessages(&m, nullptr);
  for (char replacement : {'^', '\x0F'}) {
    m.nameReplacement = replacement;
    TextString shown = displayName(&m, &name);
    EXPECT_EQ(narrowText(shown), "caf\xE9 \x80\x81.txt");
    EXPECT_TRUE(isTerminated(&shown));
    release(&shown);
  }
  release(&name);
}

}  // namespace
}  // namespace txmorph
