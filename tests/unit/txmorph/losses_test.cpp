// What a run loses, from the input stage through the output stage to the
// report: the loss line with the count and the first place, the list of lost
// characters, and when they are shown.
#include "tests/unit/txmorph/txmorph_test_support.h"

namespace txmorph {
namespace {

class Losses : public StageTest {
 protected:
  // The text converted; what the loss report prints, and the verdict.
  std::string report(const std::string& bytes, TextEncoding input, TextEncoding output,
                     uint32_t listed = 100, uint8_t askMode = 0, bool* lossy = nullptr,
                     uint32_t outputPage = 0) {
    RunSettings settings = settingsFor(input, output);
    settings.listLosses = listed;
    settings.askMode = askMode;
    MemoryConversion conversion(bytes, settings);
    if (outputPage != 0) {
      uint8_t head[3];
      settleEncodings(&conversion.c, head, peekInput(&conversion.input, head, sizeof head));
      EXPECT_TRUE(readPageInfo(&conversion.c.outputPage, outputPage));
    }
    EXPECT_EQ(conversion.run(StageNone), 0);
    if (lossy != nullptr) *lossy = isLossy(&conversion.c);
    capturedMessages().clear();
    conversion.reportLosses();
    return messages();
  }
};

TEST_F(Losses, BestFitAndReplacementsByLineAndColumn) {
  // A pair is one character; only line feeds start lines.
  std::string text = "a\n\xE2\x88\x9E b\r\n\xE4\xB8\x80\xF0\x9F\x98\x80z\xC4\x80";
  bool lossy = false;
  EXPECT_EQ(report(text, Utf8, Ansi, 100, 0, &lossy),
            "  Warning! characters lost: 4, the first at line 2, column 1\n"
            "    line 2, column 1: U+221E became 0x38\n"
            "    line 3, column 1: U+4E00 became 0x0F\n"
            "    line 3, column 2: U+1F600 became 0x0F0F\n"
            "    line 3, column 4: U+0100 became 0x41\n");
  EXPECT_TRUE(lossy);
  EXPECT_EQ(report(text, Utf8, Ansi, 2),
            "  Warning! characters lost: 4, the first at line 2, column 1\n"
            "    line 2, column 1: U+221E became 0x38\n"
            "    line 3, column 1: U+4E00 became 0x0F\n");
  EXPECT_EQ(report(text, Utf8, Ansi, 0),
            "  Warning! characters lost: 4, the first at line 2, column 1\n");
  // 437 has the infinity sign.
  EXPECT_EQ(report(text, Utf8, Oem, 1),
            "  Warning! characters lost: 3, the first at line 3, column 1\n"
            "    line 3, column 1: U+4E00 became 0x0F\n");
}

TEST_F(Losses, MalformedInputInEveryOutput) {
  // C3 before "(" and the overlong E0 80 are malformed; the U+FFFD of the
  // input is a character like any other. The byte order mark does not count.
  std::string text =
      "\xEF\xBB\xBF"
      "ab\xC3(\n\xE0\x80x\xEF\xBF\xBD";
  const char* kUnicode =
      "  Warning! characters lost: 2, the first at line 1, column 3\n"
      "    line 1, column 3: malformed input\n"
      "    line 2, column 1: malformed input\n";
  EXPECT_EQ(report(text, Utf8, Utf8), kUnicode);
  EXPECT_EQ(report(text, Utf8, Wide), kUnicode);
  // In a code page the U+FFFD of the input is lost too; the malformed ones
  // count once.
  EXPECT_EQ(report(text, Utf8, Ansi),
            "  Warning! characters lost: 3, the first at line 1, column 3\n"
            "    line 1, column 3: malformed input\n"
            "    line 2, column 1: malformed input\n"
            "    line 2, column 3: U+FFFD became 0x0F\n");
}

TEST_F(Losses, TheDroppedOddByteComesAfterTheLastCharacter) {
  std::string text(
      "\xFF\xFE"
      "a\0\n\0b\0\x43",
      9);
  bool lossy = false;
  EXPECT_EQ(report(text, Wide, Utf8, 100, 0, &lossy),
            "  Warning! characters lost: 1, the first at line 2, column 2\n"
            "    line 2, column 2: malformed input\n");
  EXPECT_TRUE(lossy);
  EXPECT_EQ(report(std::string("\xFF\xFE\x01\xD8\x43", 5), Wide, Ansi),
            "  Warning! characters lost: 2, the first at line 1, column 1\n"
            "    line 1, column 1: U+D801 became 0x0F\n"
            "    line 1, column 2: malformed input\n");
}

TEST_F(Losses, NothingLostNothingSaid) {
  bool lossy = true;
  EXPECT_EQ(report("caf\xC3\xA9 \xEF\xBF\xBD", Utf8, Utf8, 100, 1, &lossy), "");
  EXPECT_FALSE(lossy);
  EXPECT_EQ(report("caf\xC3\xA9", Utf8, Ansi, 100, 1, &lossy), "");
  EXPECT_FALSE(lossy);
}

TEST_F(Losses, AWarningThatAPromptAlwaysShows) {
  const std::string text = "x\xE2\x88\x9E";
  const char* kLine = "  Warning! characters lost: 1, the first at line 1, column 2\n";
  quietLevel = 1;
  EXPECT_EQ(report(text, Utf8, Ansi, 0), kLine);
  quietLevel = 2;
  EXPECT_EQ(report(text, Utf8, Ansi, 0), "");
  EXPECT_EQ(report(text, Utf8, Ansi, 0, 1), kLine);
  EXPECT_EQ(report(text, Utf8, Ansi, 5, 2),
            std::string(kLine) + "    line 1, column 2: U+221E became 0x38\n");
  quietLevel = -1;
  EXPECT_EQ(report(text, Utf8, Ansi, 0), kLine);
}

TEST_F(Losses, ManyLossesAcrossChunksAndLines) {
  // Long lines of ASCII and best fit, so that the walk takes many chunks and
  // passes whole ones over.
  std::string text;
  for (int line = 0; line < 300; line++) {
    text += std::string(line * 7 % 2000, 'x');
    if (line % 3 == 0) text += "\xC4\x80";  // U+0100, best fit "A"
    text += '\n';
  }
  std::string shown = report(text, Utf8, Ansi, 3);
  EXPECT_EQ(shown,
            "  Warning! characters lost: 100, the first at line 1, column 1\n"
            "    line 1, column 1: U+0100 became 0x41\n"
            "    line 4, column 22: U+0100 became 0x41\n"
            "    line 7, column 43: U+0100 became 0x41\n");
}

TEST_F(Losses, PiecesCountedWholeAndPairsAcrossTheirEnds) {
  // A pair across the end of the first piece, a piece of nothing but losses
  // (pairs and lone surrogates among them), and pieces with none in between.
  std::string text(4095, 'x');
  text += "\xF0\x9F\x98\x80";  // units 4095 and 4096
  text += std::string(5000, 'y');
  std::string lost;
  uint32_t expected = 1;
  for (int i = 0; i < 3000; i++) {
    lost += i % 3 == 0 ? "\xF0\x9F\x98\x80" : i % 3 == 1 ? "\xE4\xB8\x80" : "\xC4\x80";
    expected++;
  }
  text += lost + std::string(9000, 'z') + "\xE2\x88\x9E";
  expected++;
  std::string shown = report(text, Utf8, Ansi, 2);
  EXPECT_EQ(shown, "  Warning! characters lost: " + std::to_string(expected) +
                       ", the first at line 1, column 4096\n"
                       "    line 1, column 4096: U+1F600 became 0x0F0F\n"
                       "    line 1, column 9097: U+1F600 became 0x0F0F\n");
  // The list, a character at a time, agrees with the count.
  shown = report(text, Utf8, Ansi, 0xFFFFFFFF);
  size_t lines = 0;
  for (char c : shown) lines += c == '\n';
  EXPECT_EQ(lines, expected + 1);
}

TEST_F(Losses, DoubleBytePagesShowTheirCodes) {
  EXPECT_EQ(report("x\xC2\xA2\xE4\xB8\x82\xE3\x81\x82", Utf8, Ansi, 100, 0, nullptr, 932),
            "  Warning! characters lost: 2, the first at line 1, column 2\n"
            "    line 1, column 2: U+00A2 became 0x8191\n"
            "    line 1, column 3: U+4E02 became 0x0F\n");
}

}  // namespace
}  // namespace txmorph
