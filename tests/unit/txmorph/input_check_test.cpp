// The input checks: detection, the checks and their messages at each message
// level, the removal of one leading U+FEFF, and the units decoding makes.
#include "tests/unit/txmorph/txmorph_test_support.h"

namespace txmorph {
namespace {

constexpr int32_t InputReady = 0;
constexpr int32_t InputStopped = ExitStopped;

class InputCheck : public StageTest {
 protected:
  struct Outcome {
    int32_t result;
    TextEncoding encoding;
    uint8_t stopMode;
    std::u16string units;
    bool malformed;
    bool markRemoved;
    bool oddByte;
    bool lossy;
  };

  // The checks' messages and "input length"; the units, as raw UTF-16LE output.
  Outcome run(const std::string& bytes, TextEncoding encoding = Auto, uint8_t stopMode = 1) {
    RunSettings settings = settingsFor(encoding, Wide, stopMode);
    settings.rawOutput = true;
    MemoryConversion conversion(bytes, settings);
    const Conversion& c = conversion.c;
    Outcome outcome;
    outcome.result = conversion.run(StageLength);
    outcome.encoding = c.input;
    outcome.stopMode = c.stopMode;
    std::string out = conversion.output();
    outcome.units = std::u16string(reinterpret_cast<const char16_t*>(out.data()), out.size() / 2);
    outcome.malformed = c.malformed;
    outcome.markRemoved = c.markRemoved;
    outcome.oddByte = c.oddByte;
    outcome.lossy = isLossy(&c);
    return outcome;
  }
};

TEST_F(InputCheck, OnlyFfFeMakesWide) {
  auto detect = [](const std::string& bytes) {
    return detectEncoding(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  };
  EXPECT_EQ(detect("\xFF\xFE"), Wide);
  EXPECT_EQ(detect("\xFF\xFE\x41"), Wide);
  EXPECT_EQ(detect(""), Utf8);
  EXPECT_EQ(detect("\xFF"), Utf8);
  EXPECT_EQ(detect("\xFE\xFF"), Utf8);
  EXPECT_EQ(detect("\xEF\xBB\xBF"), Utf8);
}

TEST_F(InputCheck, EmptyInputIsValidUtf8WithAWarning) {
  Outcome o = run("");
  EXPECT_EQ(o.result, InputReady);
  EXPECT_EQ(o.encoding, Utf8);
  EXPECT_EQ(o.stopMode, 0);
  EXPECT_EQ(o.units, u"");
  EXPECT_EQ(messages(),
            "  Warning! first character of unicode file is not 0xFEFF\n"
            "  input length [UTF8] = 0\n");
}

TEST_F(InputCheck, EmptyWideInputStops) {
  Outcome o = run("", Wide);
  EXPECT_EQ(o.result, InputStopped);
  EXPECT_EQ(messages(),
            "  Stopped! first character of unicode file is not 0xFEFF\n"
            "  Hint! -s- converts it anyway\n");
}

TEST_F(InputCheck, WideWithByteOrderMark) {
  Outcome o = run(std::string("\xFF\xFE\x41\x00", 4));
  EXPECT_EQ(o.result, InputReady);
  EXPECT_EQ(o.encoding, Wide);
  EXPECT_EQ(o.units, u"A");
  EXPECT_EQ(messages(),
            "  NOTE! Leading 0xFEFF removed\n"
            "  input length [WIDE] = 1\n");
}

TEST_F(InputCheck, OddWideSizeStopsOrWarns) {
  EXPECT_EQ(run("\xFF\xFE\x41").result, InputStopped);
  EXPECT_EQ(messages(),
            "  Stopped! filesize is not even for wide unicode file\n"
            "  Hint! -s- converts it anyway\n");

  capturedMessages().clear();
  Outcome o = run("\xFF\xFE\x41", Auto, 0);
  EXPECT_EQ(o.result, InputReady);
  EXPECT_EQ(o.units, u"");  // the odd byte dropped, U+FEFF removed
  EXPECT_EQ(messages(),
            "  Warning! filesize is not even for wide unicode file\n"
            "  NOTE! Leading 0xFEFF removed\n"
            "  input length [WIDE] = 0\n");
}

TEST_F(InputCheck, WideWithoutByteOrderMarkWarnsWithoutStopMode) {
  Outcome o = run("AB", Wide, 0);
  EXPECT_EQ(o.result, InputReady);
  EXPECT_EQ(o.units, u"\u4241");
  EXPECT_EQ(messages(),
            "  Warning! first character of unicode file is not 0xFEFF\n"
            "  input length [WIDE] = 1\n");
}

TEST_F(InputCheck, Utf8ByteOrderMarkIsRemovedOnce) {
  Outcome o =
      run("\xEF\xBB\xBF\xEF\xBB\xBF"
          "A");
  EXPECT_EQ(o.result, InputReady);
  EXPECT_EQ(o.units,
            u"\uFEFF"
            "A");
  EXPECT_EQ(messages(),
            "  NOTE! Leading 0xFEFF removed\n"
            "  input length [UTF8] = 2\n");
}

TEST_F(InputCheck, InvalidUtf8WarnsAndThenStopsWithoutByteOrderMark) {
  Outcome o = run("A\xC3");
  EXPECT_EQ(o.result, InputStopped);
  EXPECT_EQ(o.stopMode, 1);
  EXPECT_EQ(messages(),
            "  Warning! not valid UTF8 text at offset 2\n"
            "  Stopped! first character of unicode file is not 0xFEFF\n"
            "  Hint! the text reads as ANSI (1252): add -ia\n");  // C3 is a letter there
}

TEST_F(InputCheck, InvalidUtf8WithByteOrderMarkIsDecodedAnyway) {
  Outcome o =
      run("\xEF\xBB\xBF"
          "A\xC0"
          "B",
          Utf8, 2);
  EXPECT_EQ(o.result, InputReady);
  EXPECT_EQ(o.units.size(), 3u);
  EXPECT_EQ(o.units[0], u'A');
  EXPECT_EQ(o.units[2], u'B');
  // The mark's bytes make most of those from 0x80 up UTF-8: no code page.
  EXPECT_EQ(messages(),
            "  Warning! not valid UTF8 text at offset 5\n"
            "  NOTE! Leading 0xFEFF removed\n"
            "  input length [UTF8] = 3\n");
}

TEST_F(InputCheck, NoValidationWithoutStopMode) {
  Outcome o = run("A\xC3", Utf8, 0);
  EXPECT_EQ(o.result, InputReady);
  EXPECT_EQ(messages(),
            "  Warning! first character of unicode file is not 0xFEFF\n"
            "  input length [UTF8] = 2\n");
}

TEST_F(InputCheck, CodePageInputIsNotChecked) {
  Outcome o = run("\xEF\xBB\xBF\xE9", Ansi);
  EXPECT_EQ(o.result, InputReady);
  EXPECT_EQ(o.units, u"\u00EF\u00BB\u00BF\u00E9");  // the mark is three characters of 1252
  EXPECT_EQ(messages(), "  input length [ANSI 1252] = 4\n");

  capturedMessages().clear();
  EXPECT_EQ(run("\x82", Oem).units, u"\u00E9");
  EXPECT_EQ(messages(), "  input length [OEM 437] = 1\n");
}

TEST_F(InputCheck, AStopSaysHowToGoOn) {
  const std::string kNotValid = "  Warning! not valid UTF8 text at offset ";
  const std::string kNoMark = "  Stopped! first character of unicode file is not 0xFEFF\n";
  const std::string kAnyway = "  Hint! -s- converts it anyway\n";
  const std::string kAnsi = "  Hint! the text reads as ANSI (1252): add -ia\n";
  const std::string kGerman =
      "Gr\xF6\xDF"
      "e f\xFCr \xC4rger\n";
  struct Case {
    std::string bytes;
    TextEncoding encoding;
    std::string messages;
  };
  const Case kCases[] = {
      // The hint at what the bytes are is the way on, after the stop...
      {kGerman, Auto, kNotValid + "3\n" + kNoMark + kAnsi},
      {std::string("A\0B\0", 4), Auto,
       kNotValid + "2\n" + kNoMark +
           "  Hint! the text is UTF-16LE without a byte order mark: add -iw -s-\n"},
      {std::string("\xFF\xFE"
                   "A\0",
                   4),
       Utf8,
       kNotValid + "1\n" + kNoMark +
           "  Hint! the text is UTF-16LE (it begins with FF FE): leave out -iu\n"},
      // ... or right after the warning when the run goes on.
      {"\xEF\xBB\xBF" + kGerman + kGerman, Utf8,
       kNotValid + "6\n" + kAnsi + "  NOTE! Leading 0xFEFF removed\n"},
      // No clear hint: -s-, as for the stops of wide input.
      {"\xB0\xE9\xB1", Auto, kNotValid + "1\n" + kNoMark + kAnyway},
      {"AB", Wide, kNoMark + kAnyway},
      {"\xFF\xFE\x41", Auto, "  Stopped! filesize is not even for wide unicode file\n" + kAnyway},
  };
  for (const Case& c : kCases) {
    capturedMessages().clear();
    run(c.bytes, c.encoding);
    std::string shown = messages();
    EXPECT_EQ(shown.substr(0, shown.find("  input length")), c.messages) << c.bytes;
  }
}

TEST_F(InputCheck, CodePageInputThatIsValidUtf8StopsOrIsWarnedAbout) {
  std::string utf8 = "caf\xC3\xA9";
  EXPECT_EQ(run(utf8, Ansi, 0).units, u"caf\u00C3\u00A9");
  EXPECT_EQ(messages(),
            "  Warning! the input is also valid UTF-8 (-iu)\n"
            "  input length [ANSI 1252] = 5\n");
  for (const std::string& other : {std::string("plain ascii"), std::string("caf\xE9"),
                                   std::string("\xE0\x80\x80"),  // an overlong form
                                   std::string("\xC3\xA9\0", 3)}) {
    capturedMessages().clear();
    run(other, Oem);
    EXPECT_EQ(messages().find("also valid"), std::string::npos) << other;
  }
  // With stopMode on, a stop like the other checks, also when quiet (the
  // exit code tells).
  for (int8_t level : {int8_t{1}, int8_t{2}}) {
    quietLevel = level;
    capturedMessages().clear();
    Outcome o = run(utf8, Oem);
    EXPECT_EQ(o.units, u"");
    EXPECT_EQ(messages(), level == 1 ? "  Stopped! the input is also valid UTF-8 (-iu)\n" : "");
  }
}

TEST_F(InputCheck, DecodingNotesWhatItLoses) {
  // Malformed UTF-8 after a byte order mark, which is removed.
  Outcome o =
      run("\xEF\xBB\xBF"
          "caf\xE9 ok",
          Utf8, 0);
  EXPECT_TRUE(o.malformed);
  EXPECT_TRUE(o.markRemoved);
  EXPECT_FALSE(o.oddByte);
  EXPECT_EQ(o.units, u"caf\uFFFD ok");

  // U+FFFD of the input itself is no loss.
  o = run("\xEF\xBF\xBD", Utf8, 0);
  EXPECT_FALSE(o.malformed);
  EXPECT_FALSE(o.lossy);

  EXPECT_TRUE(run("\xFF\xFE\x41", Auto, 0).oddByte);
  EXPECT_FALSE(run(std::string("\xFF\xFE\x41\x00", 4), Auto, 0).lossy);

  // Single-byte pages decode every byte to a character of its own.
  EXPECT_FALSE(run("\x81\x8D\xFF", Ansi).lossy);
}

TEST_F(InputCheck, DoubleBytePagesLoseWhatTheyCannotDecode) {
  PageInfo page;
  ASSERT_TRUE(readPageInfo(&page, 932));
  auto malformedOf = [&page](const std::string& bytes) {
    uint16_t units[16];
    uint32_t bits[1] = {0};
    bool any = false;
    EXPECT_NE(decodeNotingLosses(&page, reinterpret_cast<const uint8_t*>(bytes.data()),
                                 static_cast<uint32_t>(bytes.size()), units, bits, &any),
              0u);
    EXPECT_EQ(any, bits[0] != 0);
    return bits[0];
  };
  // A lead byte at the end, a lead byte before a zero byte, a pair the page
  // does not define; the page's own default character (81 45 is U+30FB) is
  // none, and neither is A0, which the strict decoding refuses but which
  // decodes to a character of its own.
  EXPECT_EQ(malformedOf("\x81\x45x\x82"), 1u << 2);
  EXPECT_EQ(malformedOf(std::string("\x82\0\x81\x45", 4)), 1u << 0);
  EXPECT_EQ(malformedOf("a\x85\x40"), 1u << 1);
  EXPECT_EQ(malformedOf("\x81\x45\xA0"), 0u);
  EXPECT_EQ(malformedOf("\x82\xA0"), 0u);
}

TEST_F(InputCheck, MessageLevels) {
  quietLevel = 1;  // only the "Stopped" forms of the checks, and warnings
  EXPECT_EQ(run("A\xB0").result, InputStopped);
  EXPECT_EQ(messages(),
            "  Warning! not valid UTF8 text at offset 2\n"
            "  Stopped! first character of unicode file is not 0xFEFF\n"
            "  Hint! -s- converts it anyway\n");
  capturedMessages().clear();
  EXPECT_EQ(run("AB", Wide, 0).result, InputReady);
  EXPECT_EQ(messages(), "");

  quietLevel = 2;
  capturedMessages().clear();
  EXPECT_EQ(run("A\xC3").result, InputStopped);
  EXPECT_EQ(messages(), "");

  quietLevel = -1;  // "-q-" prints like 0
  capturedMessages().clear();
  run("\xFF\xFE");
  EXPECT_EQ(messages(),
            "  NOTE! Leading 0xFEFF removed\n"
            "  input length [WIDE] = 0\n");
}

}  // namespace
}  // namespace txmorph
