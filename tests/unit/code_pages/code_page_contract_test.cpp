// The Win32 contract of the code-page functions where Windows' documented
// behaviour is checked here rather than through the recorded digests: the
// rules for UTF-8, the flags that are refused, and the reading of a caller's
// default character. Plus the everyday cases, spelled out.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "platform/code_pages/code_page.h"

namespace {

constexpr DWORD kInvalidFlags = 1004;

class CodePages : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("LC_ALL", "C", 1);
    SetLastError(0);
  }
};

std::string narrow(UINT page, DWORD flags, std::u16string units, const char* fallback = nullptr,
                   BOOL* used = nullptr) {
  char out[64];
  int n = WideCharToMultiByte(page, flags, reinterpret_cast<LPCWSTR>(units.data()),
                              static_cast<int>(units.size()), out, sizeof out, fallback, used);
  return std::string(out, n > 0 ? n : 0);
}

std::u16string wide(UINT page, DWORD flags, std::string bytes) {
  WCHAR out[64];
  int n = MultiByteToWideChar(page, flags, bytes.data(), static_cast<int>(bytes.size()), out, 64);
  return std::u16string(reinterpret_cast<char16_t*>(out), n > 0 ? n : 0);
}

TEST_F(CodePages, BestFitCountsAsConvertedAndOnlyUnmappedAsDefault) {
  BOOL used = 7;
  EXPECT_EQ(narrow(1252, 0, u"\u0101\u0141", nullptr, &used), "aL");
  EXPECT_EQ(used, FALSE);
  EXPECT_EQ(narrow(1252, 0, u"a\u4E00", "\x0F", &used), "a\x0F");
  EXPECT_EQ(used, TRUE);
  EXPECT_EQ(narrow(1252, WC_NO_BEST_FIT_CHARS, u"\u0101", nullptr, &used), "?");
  EXPECT_EQ(used, TRUE);
  EXPECT_EQ(narrow(1252, 0, u"?", nullptr, &used), "?");  // the default's own character
  EXPECT_EQ(used, FALSE);
  EXPECT_EQ(narrow(437, 0, u"\u00E9\u2500", nullptr, &used), "\x82\xC4");
  EXPECT_EQ(used, FALSE);
}

TEST_F(CodePages, EveryByteDecodesUndefinedOnesToo) {
  EXPECT_EQ(wide(1252, 0, "\x80\x81\xFF"), u"\u20AC\u0081\u00FF");
  EXPECT_EQ(wide(874, 0, "\xDB"), u"\uF8C1");
  SetLastError(0);
  EXPECT_EQ(wide(874, MB_ERR_INVALID_CHARS, "a\xDB"), u"");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST_F(CodePages, TerminatorSizeQueryAndShortRoom) {
  WCHAR units[8];
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, units, 8), 4);
  EXPECT_EQ(units[3], 0);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, nullptr, 0), 4);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, units, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  char bytes[8];
  const WCHAR text[] = {'a', 0x4E00, 0};
  BOOL used = 7;
  EXPECT_EQ(WideCharToMultiByte(1252, 0, text, -1, nullptr, 0, nullptr, &used), 3);
  EXPECT_EQ(used, TRUE);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr), 5);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(CodePages, SystemPagesAndUnknownPages) {
  EXPECT_EQ(wide(CP_ACP, 0, "\x80"), u"\u20AC");    // 1252
  EXPECT_EQ(wide(CP_OEMCP, 0, "\x80"), u"\u00C7");  // 437
  for (UINT page : {12345u, 1200u, 20127u, 65000u}) {
    SetLastError(0);
    WCHAR unit;
    EXPECT_EQ(MultiByteToWideChar(page, 0, "a", 1, &unit, 1), 0) << page;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << page;
    const WCHAR a = 'a';
    char byte;
    EXPECT_EQ(WideCharToMultiByte(page, 0, &a, 1, &byte, 1, nullptr, nullptr), 0) << page;
  }
}

TEST_F(CodePages, Utf8HasNoDefaultCharacterAndFewFlags) {
  const WCHAR text[] = {'a', 0};
  char out[8];
  BOOL used;
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, out, 8, "?", nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, out, 8, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, text, -1, out, 8, nullptr, nullptr),
            0);
  EXPECT_EQ(GetLastError(), kInvalidFlags);
  WCHAR units[8];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, units, 8), 0);
  EXPECT_EQ(GetLastError(), kInvalidFlags);
}

TEST_F(CodePages, LoneSurrogatesToUtf8) {
  EXPECT_EQ(narrow(CP_UTF8, 0,
                   u"\xD800"
                   u"a\xDC00"),
            "\xEF\xBF\xBD"
            "a\xEF\xBF\xBD");
  EXPECT_EQ(narrow(CP_UTF8, 0, u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(narrow(CP_UTF8, WC_ERR_INVALID_CHARS, u"\U0001F600"), "\xF0\x9F\x98\x80");
  SetLastError(0);
  EXPECT_EQ(narrow(CP_UTF8, WC_ERR_INVALID_CHARS, u"a\xD800"), "");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST_F(CodePages, CompositeFormsAreRefused) {
  EXPECT_EQ(wide(1252, MB_COMPOSITE, "\xE9"), u"");
  EXPECT_EQ(GetLastError(), kInvalidFlags);
  SetLastError(0);
  EXPECT_EQ(narrow(1252, WC_COMPOSITECHECK, u"e\u0301"), "");
  EXPECT_EQ(GetLastError(), kInvalidFlags);
  // The flags that only shape a composite check are accepted on their own.
  EXPECT_EQ(narrow(1252, WC_DEFAULTCHAR | WC_DISCARDNS, u"e\u0301"), "e\xB4");
}

TEST_F(CodePages, DefaultCharacterIsReadOnlyAsFarAsItGoes) {
  // A single byte on its own: a second byte is never read for it, not even
  // for a double-byte page.
  std::unique_ptr<char[]> one(new char[1]{'\x0F'});
  BOOL used = FALSE;
  EXPECT_EQ(narrow(932, 0, u"\u0101a", one.get(), &used),
            "\x0F"
            "a");
  EXPECT_EQ(used, TRUE);
  EXPECT_EQ(narrow(1252, 0, u"\u4E00", one.get(), &used), "\x0F");
  // A lead byte and its trail make a double-byte default.
  EXPECT_EQ(narrow(932, 0, u"\u0101", "\x81\x40", &used), "\x81\x40");
}

TEST_F(CodePages, DoubleBytePages) {
  EXPECT_EQ(wide(932, 0,
                 "\x82\xA0"
                 "a"),
            u"\u3042a");
  EXPECT_EQ(wide(932, 0, "a\x82"), u"a\u30FB");  // a lead byte at the end
  EXPECT_EQ(narrow(932, 0, u"\u3042\u2160"), "\x82\xA0\x87\x54");
  EXPECT_EQ(narrow(936, 0, u"\u0101"), "\xA8\xA1");
  EXPECT_EQ(wide(949, 0, "\xB0\xA1"), u"\uAC00");
  EXPECT_EQ(wide(950, 0, "\xA4\x40"), u"\u4E00");
}

TEST_F(CodePages, PageInfoForWalkingBytesByCharacter) {
  CPINFOEXA info;
  ASSERT_TRUE(GetCPInfoExA(CP_ACP, 0, &info));
  EXPECT_EQ(info.CodePage, 1252u);
  EXPECT_EQ(info.MaxCharSize, 1u);
  EXPECT_EQ(info.DefaultChar[0], '?');
  EXPECT_EQ(info.UnicodeDefaultChar, u'?');
  EXPECT_EQ(info.LeadByte[0], 0);

  ASSERT_TRUE(GetCPInfoExA(932, 0, &info));
  EXPECT_EQ(info.MaxCharSize, 2u);
  EXPECT_EQ(info.UnicodeDefaultChar, 0x30FB);  // what a byte pair it cannot decode becomes
  const BYTE kLeads[] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0};
  EXPECT_EQ(std::string(info.LeadByte, info.LeadByte + 6), std::string(kLeads, kLeads + 6));
  ASSERT_TRUE(GetCPInfoExA(936, 0, &info));
  EXPECT_EQ(info.LeadByte[0], 0x81);
  EXPECT_EQ(info.LeadByte[1], 0xFE);
  EXPECT_EQ(info.LeadByte[2], 0);

  ASSERT_TRUE(GetCPInfoExA(CP_UTF8, 0, &info));
  EXPECT_EQ(info.MaxCharSize, 4u);
  EXPECT_EQ(info.UnicodeDefaultChar, 0xFFFD);
  EXPECT_EQ(info.LeadByte[0], 0);

  EXPECT_FALSE(GetCPInfoExA(12345, 0, &info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(GetCPInfoExA(1252, 1, &info));
  EXPECT_EQ(GetLastError(), kInvalidFlags);
}

TEST_F(CodePages, CharToOemInPlaceAndApart) {
  char text[] = "caf\xE9 \x80\xBD";  // 1252: cafe with e-acute, euro sign, one half
  char apart[sizeof text];
  EXPECT_TRUE(CharToOemA(text, apart));
  EXPECT_TRUE(CharToOemA(text, text));
  EXPECT_STREQ(apart, text);
  EXPECT_STREQ(text, "caf\x82 ?\xAB");  // 437: no euro sign
  EXPECT_FALSE(CharToOemA(nullptr, apart));
  EXPECT_FALSE(CharToOemA(text, nullptr));
}

}  // namespace
