// Initialiser order, the heap's null and size-0 rules, allocate-or-die.
#include <gtest/gtest.h>

#include <string>

#include "platform/test_switches.h"
#include "runtime/rt.h"

namespace {

std::string order;
void init_a() { order += 'a'; }
void init_b() { order += 'b'; }
void init_c() { order += 'c'; }
void init_d() { order += 'd'; }

TEST(InitTable, LowestPriorityFirstAndLaterEntryWinsTies) {
  order.clear();
  rt_init_entry table[] = {
      {RT_PENDING, 64, init_a},
      {RT_PENDING, 31, init_b},
      {RT_PENDING, 64, init_c},
      {RT_PENDING, 255, init_d},
  };
  rt_run_table(table, 4);
  EXPECT_EQ(order, "bcad");
  for (const rt_init_entry& e : table) EXPECT_EQ(e.state, RT_DONE);
  rt_run_table(table, 4);  // each runs exactly once
  EXPECT_EQ(order, "bcad");
}

TEST(InitTable, NullRoutineIsSkippedAndDoneEntriesStayDone) {
  order.clear();
  rt_init_entry table[] = {
      {RT_DONE, 0, init_a},
      {RT_PENDING, 10, nullptr},
      {RT_PENDING, 20, init_b},
  };
  rt_run_table(table, 3);
  EXPECT_EQ(order, "b");
  EXPECT_EQ(table[1].state, RT_DONE);
}

class Heap : public ::testing::Test {
 protected:
  void SetUp() override { rt_heap_init(); }
};

TEST_F(Heap, SizeZeroAndNullRules) {
  EXPECT_EQ(rt_alloc(0), nullptr);
  EXPECT_EQ(rt_xalloc(0), nullptr);
  rt_free(nullptr);
  void* block = rt_realloc(nullptr, 16);  // acts as rt_alloc
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 4, 0u);
  EXPECT_EQ(rt_realloc(block, 0), nullptr);  // frees
  block = rt_xalloc(8);
  EXPECT_EQ(rt_xrealloc(block, 0), nullptr);
}

TEST_F(Heap, ReallocKeepsContents) {
  char* block = static_cast<char*>(rt_xalloc(4));
  memcpy(block, "abcd", 4);
  block = static_cast<char*>(rt_xrealloc(block, 3u << 20));  // large: moves to its own mapping
  EXPECT_EQ(memcmp(block, "abcd", 4), 0);
  block[(3u << 20) - 1] = 'z';
  block = static_cast<char*>(rt_xrealloc(block, 9u << 20));
  EXPECT_EQ(memcmp(block, "abcd", 4), 0);
  EXPECT_EQ(block[(3u << 20) - 1], 'z');
  rt_free(block);
  // A released large block is reused.
  char* again = static_cast<char*>(rt_xalloc(8u << 20));
  again[0] = 1;
  rt_free(again);
}

TEST_F(Heap, StrlenCountsBytesBeforeNul) {
  EXPECT_EQ(rt_strlen(""), 0u);
  EXPECT_EQ(rt_strlen("abc"), 3u);
  EXPECT_EQ(rt_strlen("\xFF\x80"), 2u);
}

TEST_F(Heap, PlainOperationsReportExhaustionAsNull) {
  plat_heap_fail_above = 1000;
  EXPECT_EQ(rt_alloc(1001), nullptr);
  void* block = rt_alloc(10);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(rt_realloc(block, 2000), nullptr);  // the old block stays intact
  plat_heap_fail_above = 0;
  rt_free(block);
}

TEST(HeapDeathTest, ExhaustionCallsTheHookWithTheSize) {
  rt_heap_init();
  // The test hook prints like txmorph's and exits with 1.
  auto exhausted = [](uint32_t size, bool grow) {
    plat_heap_fail_above = 1000;
    if (grow)
      rt_xrealloc(rt_xalloc(8), size);
    else
      rt_xalloc(size);
  };
  EXPECT_EXIT(exhausted(0xFFFFFFF0u, false), ::testing::ExitedWithCode(1),
              "\nOut of memory \\(-16\\)\n");
  EXPECT_EXIT(exhausted(5000, true), ::testing::ExitedWithCode(1), "\nOut of memory \\(5000\\)\n");
}

}  // namespace
