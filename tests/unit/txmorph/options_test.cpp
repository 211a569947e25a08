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
  // Other words after "--" still mean nothing.
  apply("--losses=3");
  for (const char* other : {"--loss", "--lossesx", "--Losses", "--foo=1"}) {
    EXPECT_EQ(apply(other), OptionTaken) << other;
  }
  EXPECT_EQ(settings.listLosses, 3u);
}

TEST_F(Options, HelpEndAndUnknown) {
  EXPECT_EQ(apply("-?"), OptionAsksHelp);
  EXPECT_EQ(apply("-hello"), OptionAsksHelp);
  EXPECT_EQ(apply("--"), OptionEndsOptions);
  EXPECT_EQ(apply("--foo"), OptionTaken);
  for (const char* bad : {"-", "-z", "-H", "-i", "-o", "-ix", "-oA", "-Q"}) {
    EXPECT_EQ(apply(bad), OptionUnknown) << bad;
  }
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
