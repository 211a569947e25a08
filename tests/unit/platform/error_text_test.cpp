// The system's text for an error code: Windows' own, or the errno's where
// Windows' would tell something else, for as long as the code stands.
#include <string>

#include "platform/platform.h"
#include "tests/unit/platform/file_test_dir.h"

namespace {

using ErrorText = FileTestDir;

std::string text_of(DWORD code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string result = length == 0 ? "(none)" : std::string(text, length);
  LocalFree(text);
  return result;
}

TEST_F(ErrorText, TheReasonAsTheSystemKnowsIt) {
  std::string file = make_file("f");
  std::string folder = path("d");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  struct Case {
    std::string name;
    DWORD disposition;
    DWORD code;
    const char* text;
  };
  const Case kCases[] = {
      {path("missing"), OPEN_EXISTING, ERROR_FILE_NOT_FOUND,
       "The system cannot find the file specified.\n"},
      {folder, OPEN_EXISTING, ERROR_ACCESS_DENIED, "Is a directory\n"},
      {file + "/x", OPEN_EXISTING, ERROR_PATH_NOT_FOUND,
       "The system cannot find the path specified.\n"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(open_with(c.name, GENERIC_READ, c.disposition), INVALID_HANDLE_VALUE) << c.name;
    DWORD code = GetLastError();
    EXPECT_EQ(code, c.code) << c.name;
    SetLastError(code);  // kept and set again, as callers do
    EXPECT_EQ(text_of(code), c.text) << c.name;
  }
  // Once the thread's code is another, a code's text is Windows' again.
  SetLastError(ERROR_INVALID_PARAMETER);
  EXPECT_EQ(text_of(ERROR_ACCESS_DENIED), "Access is denied.\n");
  EXPECT_EQ(text_of(54321), "(none)");
}

TEST(CodePages, ThePagesOfTheTables) {
  for (UINT page : {437u, 850u, 866u, 1250u, 1251u, 1252u, 932u, 950u, 65001u}) {
    EXPECT_TRUE(IsValidCodePage(page)) << page;
  }
  for (UINT page : {0u, 1u, 42u, 851u, 1200u, 20127u}) EXPECT_FALSE(IsValidCodePage(page)) << page;
}

}  // namespace
