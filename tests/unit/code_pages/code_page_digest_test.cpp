// Every supported code page converts every byte, byte pair and unit as
// Windows does: the dump of our functions must give the digests that the
// probe recorded from Windows' own (tests/data/code_pages/digests.txt). On a
// mismatch, diff `code_page_probe SECTION` of this build against the Windows
// build run under Wine.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <map>
#include <string>

#include "tests/win/code_page_dump.h"

namespace {

std::map<std::string, std::string> recorded_digests() {
  const char* data = getenv("RT_TEST_DATA");
  std::map<std::string, std::string> digests;
  std::ifstream file(std::string(data ? data : "tests/data") + "/code_pages/digests.txt");
  std::string name;
  std::string digest;
  while (file >> name >> digest) digests[name] = digest;
  return digests;
}

class CodePageDigest : public ::testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    // The digests were recorded with ANSI 1252 and OEM 437.
    setenv("LC_ALL", "C", 1);
    ASSERT_EQ(GetACP(), 1252u);
    ASSERT_EQ(GetOEMCP(), 437u);
  }
};

TEST_P(CodePageDigest, MatchesWindows) {
  static const std::map<std::string, std::string> digests = recorded_digests();
  const cp_dump_section& section = cp_dump_sections[GetParam()];
  auto want = digests.find(section.name);
  ASSERT_NE(want, digests.end()) << "no digest recorded for " << section.name;
  cp_dump_out out{nullptr, nullptr, 0};
  char got[17];
  cp_dump_hex64(cp_dump_run(&section, &out), got);
  EXPECT_EQ(want->second, got) << section.name;
}

std::string section_name(const ::testing::TestParamInfo<uint32_t>& info) {
  std::string name = cp_dump_sections[info.param].name;
  for (char& c : name) {
    if (c == '.') c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Sections, CodePageDigest, ::testing::Range(0u, cp_dump_section_count),
                         section_name);

TEST(CodePageDigests, EverySectionIsRecorded) {
  EXPECT_EQ(recorded_digests().size(), cp_dump_section_count);
}

}  // namespace
