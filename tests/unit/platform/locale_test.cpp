// Which code pages a locale stands for: the variable that decides, the
// default for C, POSIX, unset and unknown locales, and each language group
// with Windows' own pairing of ANSI and OEM pages.
#include "platform/posix/locale.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

namespace {

struct Expected {
  const char* locale;
  UINT ansi;
  UINT oem;
};

void expect_pages(const Expected& e) {
  plat_locale_pages pages = plat_pages_for_locale(e.locale);
  EXPECT_EQ(pages.ansi, e.ansi) << (e.locale ? e.locale : "(null)");
  EXPECT_EQ(pages.oem, e.oem) << (e.locale ? e.locale : "(null)");
}

TEST(LocalePages, DefaultsAreUnitedStatesEnglish) {
  for (const Expected& e :
       {Expected{nullptr, 1252, 437}, Expected{"", 1252, 437}, Expected{"C", 1252, 437},
        Expected{"POSIX", 1252, 437}, Expected{"C.UTF-8", 1252, 437}, Expected{"xx_YY", 1252, 437},
        Expected{"en_US.UTF-8", 1252, 437}, Expected{"en_ZA", 1252, 437},
        Expected{"english", 1252, 437}, Expected{"_DE", 1252, 437}}) {
    expect_pages(e);
  }
}

TEST(LocalePages, LanguageGroups) {
  for (const Expected& e : {
           Expected{"de_DE.UTF-8", 1252, 850},
           Expected{"fr_CA", 1252, 850},
           Expected{"pt_BR.utf8", 1252, 850},
           Expected{"en_GB.UTF-8", 1252, 850},
           Expected{"en_AU", 1252, 850},
           Expected{"pl_PL", 1250, 852},
           Expected{"cs_CZ.ISO-8859-2", 1250, 852},
           Expected{"ru_RU.KOI8-R", 1251, 866},
           Expected{"uk_UA", 1251, 866},
           Expected{"sr_RS", 1251, 855},
           Expected{"sr_RS@latin", 1250, 852},
           Expected{"uz_UZ", 1254, 857},
           Expected{"uz_UZ@cyrillic", 1251, 866},
           Expected{"el_GR", 1253, 737},
           Expected{"tr_TR", 1254, 857},
           Expected{"he_IL", 1255, 862},
           Expected{"ar_EG", 1256, 720},
           Expected{"fa_IR", 1256, 720},
           Expected{"lt_LT", 1257, 775},
           Expected{"vi_VN", 1258, 1258},
           Expected{"th_TH", 874, 874},
           Expected{"ja_JP.eucJP", 932, 932},
           Expected{"ko_KR", 949, 949},
           Expected{"zh_CN.GB18030", 936, 936},
           Expected{"zh_SG", 936, 936},
           Expected{"zh_TW.Big5", 950, 950},
           Expected{"zh_HK", 950, 950},
           Expected{"ZH_mo", 950, 950},
           Expected{"DE", 1252, 850},
           Expected{"sah_RU", 1251, 866},
       }) {
    expect_pages(e);
  }
}

TEST(LocalePages, Utf8Codeset) {
  EXPECT_TRUE(plat_pages_for_locale("de_DE.UTF-8").utf8);
  EXPECT_TRUE(plat_pages_for_locale("de_DE.utf8@euro").utf8);
  EXPECT_TRUE(plat_pages_for_locale("C.UTF-8").utf8);
  EXPECT_FALSE(plat_pages_for_locale("de_DE@euro").utf8);
  EXPECT_FALSE(plat_pages_for_locale("de_DE.ISO-8859-15").utf8);
  EXPECT_FALSE(plat_pages_for_locale("C").utf8);
}

// Sets the three variables for one test and puts them back afterwards.
class LocaleVariables : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 3; i++) {
      const char* value = getenv(kNames[i]);
      saved_[i] = value ? value : "";
      had_[i] = value != nullptr;
    }
  }
  void TearDown() override {
    for (int i = 0; i < 3; i++) {
      if (had_[i])
        setenv(kNames[i], saved_[i].c_str(), 1);
      else
        unsetenv(kNames[i]);
    }
  }
  void set(const char* all, const char* ctype, const char* lang) {
    const char* values[] = {all, ctype, lang};
    for (int i = 0; i < 3; i++) {
      if (values[i])
        setenv(kNames[i], values[i], 1);
      else
        unsetenv(kNames[i]);
    }
  }
  static constexpr const char* kNames[3] = {"LC_ALL", "LC_CTYPE", "LANG"};
  std::string saved_[3];
  bool had_[3] = {};
};

TEST_F(LocaleVariables, AllThenCtypeThenLang) {
  set("ru_RU", "de_DE", "ja_JP");
  EXPECT_STREQ(plat_locale_value(), "ru_RU");
  set(nullptr, "de_DE", "ja_JP");
  EXPECT_STREQ(plat_locale_value(), "de_DE");
  set(nullptr, nullptr, "ja_JP");
  EXPECT_STREQ(plat_locale_value(), "ja_JP");
  set("", "", "ja_JP");  // empty counts as unset
  EXPECT_STREQ(plat_locale_value(), "ja_JP");
  set(nullptr, nullptr, nullptr);
  EXPECT_EQ(plat_locale_value(), nullptr);
}

}  // namespace
