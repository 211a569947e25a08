// Views of a file: what they hold at each offset, the offsets and mappings
// refused, and a file cut under a view reading as zeros instead of ending the
// process.
#include <string>

#include "tests/unit/platform/file_test_dir.h"

namespace {

using FileMapping = FileTestDir;

TEST_F(FileMapping, ViewsHoldTheFileFromTheirOffset) {
  std::string text;
  for (int i = 0; text.size() < 200000; i++) text += std::to_string(i) + ",";
  HANDLE file = open_with(make_file("f", text), GENERIC_READ, OPEN_EXISTING);
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(mapping, nullptr);
  struct Case {
    DWORD offset;
    SIZE_T bytes;
    bool mapped;
  };
  const Case kCases[] = {{0, text.size(), true},
                         {65536, 1000, true},
                         {131072, 68928, true},
                         {4096, 10, false},  // not a multiple of 64 KiB
                         {65536 * 2 + 1, 10, false}};
  for (const Case& c : kCases) {
    const char* view =
        static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, c.offset, c.bytes));
    EXPECT_EQ(view != nullptr, c.mapped) << c.offset;
    if (view == nullptr) continue;
    EXPECT_EQ(std::string(view, c.bytes), text.substr(c.offset, c.bytes)) << c.offset;
    EXPECT_TRUE(UnmapViewOfFile(view));
  }
  EXPECT_FALSE(UnmapViewOfFile(text.data()));
  EXPECT_TRUE(CloseHandle(mapping));
  EXPECT_TRUE(CloseHandle(file));

  HANDLE empty = open_with(make_file("empty"), GENERIC_READ, OPEN_EXISTING);
  EXPECT_EQ(CreateFileMappingA(empty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
  CloseHandle(empty);
}

TEST_F(FileMapping, AFileCutUnderAViewReadsAsZeros) {
  std::string text(300000, 'x');
  std::string p = make_file("cut", text);
  HANDLE file = open_with(p, GENERIC_READ, OPEN_EXISTING);
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  const char* view =
      static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, text.size()));
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(truncate(p.c_str(), 100000), 0);
  EXPECT_EQ(view[99999], 'x');
  EXPECT_EQ(view[250000], 0);
  EXPECT_EQ(view[text.size() - 1], 0);
  EXPECT_TRUE(UnmapViewOfFile(view));
  CloseHandle(mapping);
  CloseHandle(file);
}

}  // namespace
