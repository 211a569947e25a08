// The option grammar: each letter and what may follow it, and the message
// levels of -q.
#include "tests/unit/txmorph/txmorph_test_support.h"

namespace txmorph {
namespace {

class Options : public StageTest {
 protected:
  void SetUp() override {
    StageTest::SetUp();
    initRunSettings(&settings);
  }
  OptionResult apply(const char* token) { return applyOption(&settings, token); }
  RunSettings settings;
};

TEST_F(Options, Defaults) {
  EXPECT_EQ(settings.inputEncoding, Auto);
  EXPECT_EQ(settings.outputEncoding, Ansi);
  EXPECT_EQ(settings.stopMode, 1);
  EXPECT_EQ(settings.askMode, 1);
  EXPECT_TRUE(settings.keepTime);
  EXPECT_FALSE(settings.rawOutput);
  EXPECT_EQ(settings.listLosses, 0u);
  EXPECT_FALSE(settings.checkOnly);
}

TEST_F(Options, LossesListAHundredOrAsManyAsAsked) {
  EXPECT_EQ(apply("--losses"), OptionTaken);
  EXPECT_EQ(settings.listLosses, 100u);
  EXPECT_EQ(apply("--losses=7"), OptionTaken);
  EXPECT_EQ(settings.listLosses, 7u);
  EXPECT_EQ(apply("--losses=0"), OptionTaken);
  EXPECT_EQ(settings.listLosses, 0u);
  EXPECT_EQ(apply("--losses=99999999999999999999"), OptionTaken);
  EXPECT_EQ(settings.listLosses, 0xFFFFFFFFu);
  for (const char* bad : {"--losses=", "--losses=x", "--losses=5x", "--losses=-1"}) {
    EXPECT_EQ(apply(bad), OptionUnknown) << bad;
  }
  // A word misspelt is unknown, and changes nothing.
  apply("--losses=3");
  for (const char* other : {"--loss", "--lossesx", "--Losses", "--foo=1"}) {
    EXPECT_EQ(apply(other), OptionUnknown) << other;
  }
  EXPECT_EQ(settings.listLosses, 3u);
}

TEST_F(Options, HelpEndAndUnknown) {
  EXPECT_EQ(apply("-?"), OptionAsksHelp);
  EXPECT_EQ(apply("-hello"), OptionAsksHelp);
  EXPECT_EQ(apply("--"), OptionEndsOptions);
  for (const char* bad : {"-", "-z", "-H", "-i", "-o", "-ix", "-oA", "-Q", "--foo"}) {
    EXPECT_EQ(apply(bad), OptionUnknown) << bad;
  }
}

TEST_F(Options, WordsAreWholeAndCaseSensitive) {
  struct Case {
    const char* word;
    OptionResult result;
  } cases[] = {
      {"--each", OptionEach},        {"--help", OptionAsksHelp},     {"--version", OptionVersion},
      {"--restore", OptionRestores}, {"--check", OptionTaken},       {"--Each", OptionUnknown},
      {"--eachx", OptionUnknown},    {"--chek", OptionUnknown},      {"--check=1", OptionUnknown},
      {"--versions", OptionUnknown}, {"--restore=a", OptionUnknown}, {"---", OptionUnknown},
  };
  for (const Case& c : cases) EXPECT_EQ(apply(c.word), c.result) << c.word;
  EXPECT_TRUE(settings.checkOnly);
}

TEST_F(Options, EncodingsByTheThirdCharacterOnly) {
  EXPECT_EQ(apply("-iux"), OptionTaken);
  EXPECT_EQ(settings.inputEncoding, Utf8);
  apply("-id");
  EXPECT_EQ(settings.inputEncoding, Oem);
  apply("-ow");
  EXPECT_EQ(settings.outputEncoding, Wide);
  apply("-oa");
  EXPECT_EQ(settings.outputEncoding, Ansi);
  apply("-ou");
  EXPECT_EQ(settings.outputEncoding, Utf8);
}

TEST_F(Options, CodePagesByNumber) {
  struct Case {
    const char* token;
    OptionResult result;
    uint32_t input, output;  // the chosen pages after it
    const char* message;
  };
  const Case kCases[] = {
      {"-id850", OptionTaken, 850, 0, ""},
      {"-oa1251", OptionTaken, 850, 1251, ""},
      {"-ia", OptionTaken, 0, 1251, ""},     // the system's again
      {"-od866x", OptionTaken, 0, 866, ""},  // what follows the digits means nothing
      {"-oax1250", OptionTaken, 0, 0, ""},   // nor what follows the letter, as always
      {"-iu850", OptionTaken, 0, 0, ""},     // UTF-8 and UTF-16LE take no page
      {"-id99", OptionRefused, 0, 0, "Unknown code page 99\n"},
      {"-oa65001", OptionRefused, 0, 0, "Unknown code page 65001\n"},
      {"-ia1", OptionRefused, 0, 0, "Unknown code page 1\n"},
      {"-od99999999999", OptionRefused, 0, 0, "Unknown code page 4294967295\n"},
  };
  for (const Case& c : kCases) {
    capturedMessages().clear();
    EXPECT_EQ(apply(c.token), c.result) << c.token;
    EXPECT_EQ(chosenPages.input, c.input) << c.token;
    EXPECT_EQ(chosenPages.output, c.output) << c.token;
    EXPECT_EQ(messages(), c.message) << c.token;
  }
  apply("-id850");
  EXPECT_EQ(inputCodePage(Oem), 850u);
  EXPECT_EQ(inputCodePage(Ansi), 850u);  // the last -i option decides the page
  EXPECT_EQ(inputCodePage(Utf8), static_cast<uint32_t>(CP_UTF8));
  EXPECT_STREQ(encodingLabel(Oem, CP_OEMCP).text, "OEM 437");
  EXPECT_STREQ(encodingLabel(Ansi, 1251).text, "ANSI 1251");
  EXPECT_STREQ(encodingLabel(Wide, 0).text, "WIDE");
}

TEST_F(Options, SwitchesWithAndWithoutMinus) {
  apply("-s-");
  EXPECT_EQ(settings.stopMode, 0);
  apply("-sx");
  EXPECT_EQ(settings.stopMode, 2);
  apply("-r");
  EXPECT_TRUE(settings.rawOutput);
  apply("-r-");
  EXPECT_FALSE(settings.rawOutput);
  apply("-x");
  EXPECT_EQ(settings.askMode, 0);
  apply("-x-");
  EXPECT_EQ(settings.askMode, 2);
  apply("-t");
  EXPECT_FALSE(settings.keepTime);
  apply("-t-");
  EXPECT_TRUE(settings.keepTime);
}

TEST_F(Options, QuietLevels) {
  struct Case {
    const char* token;
    int level;
  };
  for (Case c : {Case{"-q", 2},
                 {"-q-", -1},
                 {"-q-1", -1},
                 {"-q0", 0},
                 {"-q1", 1},
                 {"-q5", 5},
                 {"-q12", 2},
                 {"-q/", -1},
                 {"-qa", 49}}) {
    apply(c.token);
    EXPECT_EQ(quietLevel, c.level) << c.token;
  }
}

}  // namespace
}  // namespace txmorph
