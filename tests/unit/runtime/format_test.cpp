// The format engine: every row of the examples table, and the edge cases.
#include <gtest/gtest.h>

#include <string>

#include "runtime/rt.h"

namespace {

uint8_t capture(uint32_t ch, rt_fmt_ctx* ctx) {
  reinterpret_cast<std::string*>(ctx->user)->push_back(static_cast<char>(ch & 0xFF));
  ctx->count++;
  return 0;
}

std::string format(const char* f, ...) {
  std::string out;
  va_list args;
  va_start(args, f);
  int32_t count = rt_format(capture, f, args, reinterpret_cast<uintptr_t>(&out));
  va_end(args);
  EXPECT_EQ(count, static_cast<int32_t>(out.size()));
  return out;
}

TEST(Format, ExamplesTable) {
  EXPECT_EQ(format("|%d|", 0), "|0|");
  EXPECT_EQ(format("|%i|", 7), "|+7|");
  EXPECT_EQ(format("|%i|", 0), "|0|");
  EXPECT_EQ(format("|%ld|", INT64_MIN), "|-9223372036854775808|");
  EXPECT_EQ(format("|%x|", 255), "|FF|");
  EXPECT_EQ(format("|%b|", 5), "|101|");
  EXPECT_EQ(format("|%3,u|", 1234567), "|1,234,567|");
  EXPECT_EQ(format("|%3,d|", -1234567), "|-1,234,567|");
  EXPECT_EQ(format("|%,u|", 123), "|1,2,3,|");
  EXPECT_EQ(format("|%5d|", 42), "|   42|");
  EXPECT_EQ(format("|%-6u|", 42), "|42    |");
  EXPECT_EQ(format("|%05d|", -42), "|00-42|");
  EXPECT_EQ(format("|%2u|", 12345), "|12345|");
  EXPECT_EQ(format("|%.2u|", 12345), "|12|");
  EXPECT_EQ(format("|%.;2u|", 12345), "|45|");
  EXPECT_EQ(format("|%5s|", "abcdefgh"), "|abcde|");
  EXPECT_EQ(format("|%-5s|", "ab"), "|ab   |");
  EXPECT_EQ(format("|%.3c|", 'x'), "|xxx|");
  EXPECT_EQ(format("|%.3%|"), "|%%%|");
  EXPECT_EQ(format("|%q|"), "|q|");
  EXPECT_EQ(format("|%**d|", 0x501, 42), "|   42|");
  EXPECT_EQ(format("|%*d|", 6, 7), "|7|");
  EXPECT_EQ(format("|%-*d|", 4, 7), "|7   |");
  EXPECT_EQ(format("|%5.3d|", 42), "| 42|");
  EXPECT_EQ(format("|%2,b|", 10), "|10,10|");
  EXPECT_EQ(format("|%.;3s|", "abcdef"), "|abc|");
  EXPECT_EQ(format("|%0s|", "xyz"), "||");
  EXPECT_EQ(format("|%010u|", 7), "|0000000007|");
  EXPECT_EQ(format("|%l5d|", int64_t{1}), "|1|");
  EXPECT_EQ(format("|%5ld|", int64_t{1}), "|    1|");
}

TEST(Format, Strings) {
  EXPECT_EQ(format("[%s]", ""), "[]");
  EXPECT_EQ(format("[%4s]", ""), "[    ]");
  EXPECT_EQ(format("[%-4s]", ""), "[    ]");
  // A string is only limited while counted, never cut from its tail.
  EXPECT_EQ(format("[%.;3s]", "abcdef"), "[abc]");
  EXPECT_EQ(format("[%3s]", "ab"), "[ ab]");
}

TEST(Format, UnrecognisedLetterUsesNoArgument) {
  EXPECT_EQ(format("%q%d %s", 5, "x"), "q5 x");
  EXPECT_EQ(format("%lq%d", 9), "q9");
}

TEST(Format, WidthBeforeAndAfterLongModifier) {
  EXPECT_EQ(format("[%l5d]", int64_t{12}), "[12]");
  EXPECT_EQ(format("[%5ld]", int64_t{12}), "[   12]");
  EXPECT_EQ(format("[%lu]", uint64_t{18446744073709551615u}), "[18446744073709551615]");
  // A 64-bit argument takes its place; what follows still lines up.
  EXPECT_EQ(format("%lx %d", uint64_t{0x123456789A}, 3), "123456789A 3");
}

TEST(Format, FormatEndingInsideConversion) {
  EXPECT_EQ(format("abc%"), "abc");
  EXPECT_EQ(format("abc%5"), "abc");
  EXPECT_EQ(format("abc%-l"), "abc");
}

TEST(Format, Numbers) {
  EXPECT_EQ(format("%d", -1), "-1");
  EXPECT_EQ(format("%u", 0xFFFFFFFFu), "4294967295");
  EXPECT_EQ(format("%i", -3), "-3");
  EXPECT_EQ(format("%li", int64_t{5}), "+5");
  EXPECT_EQ(format("%x", 0xABCDEFu), "ABCDEF");
  EXPECT_EQ(format("%b", 0), "0");
  EXPECT_EQ(format("%lb", ~uint64_t{0}), std::string(64, '1'));
  // The longest text there is: 64 binary digits, each followed by a separator.
  std::string grouped;
  for (int i = 0; i < 64; i++) grouped += "1,";
  EXPECT_EQ(format("%,lb", ~uint64_t{0}), grouped);
  EXPECT_EQ(format("%,ld", int64_t{-5}), "-5,");
  EXPECT_EQ(format("%3,u", 123), "123");
  EXPECT_EQ(format("%3,u", 1234), "1,234");
  // A number after the comma is a width again.
  EXPECT_EQ(format("[%3,8u]", 1234), "[   1,234]");
  // Zero fill goes in front of the sign, and cutting counts the sign.
  EXPECT_EQ(format("%06i", 42), "000+42");
  EXPECT_EQ(format("%.2d", -123), "-1");
  EXPECT_EQ(format("%.;2d", -123), "23");
}

TEST(Format, CharactersAndPercent) {
  EXPECT_EQ(format("%c", 'A'), "A");
  EXPECT_EQ(format("%0c", 'A'), "");
  EXPECT_EQ(format("%3c", 0x141), "AAA");  // low 8 bits only
  EXPECT_EQ(format("%%"), "%");
  EXPECT_EQ(format("%lc%d", 'z', 4), "z4");  // c takes one slot even with l
}

TEST(Format, StarSplitSetsFlagsAndNumber) {
  // 0x0209: flags 0x09 (fill left, cut), N = 2
  EXPECT_EQ(format("[%**u]", 0x209, 12345), "[12]");
  // 0x0602: fill right in 6 columns
  EXPECT_EQ(format("[%**s]", 0x602, "ab"), "[ab    ]");
}

// A sink that answers an unknown letter with a replacement byte.
uint8_t replacing(uint32_t ch, rt_fmt_ctx* ctx) {
  if (ch & RT_FMT_UNKNOWN) {
    if ((ch & 0xFF) == 'Q') return 'd';
    if ((ch & 0xFF) == 'W') return '-';
  }
  return capture(ch, ctx);
}

TEST(Format, SinkMayReplaceUnknownLetter) {
  std::string out;
  auto run = [&](const char* f, ...) {
    out.clear();
    va_list args;
    va_start(args, f);
    rt_format(replacing, f, args, reinterpret_cast<uintptr_t>(&out));
    va_end(args);
    return out;
  };
  EXPECT_EQ(run("[%5Q]", 42), "[   42]");
  EXPECT_EQ(run("[%W5d]", 42), "[42   ]");
}

uint8_t refusing(uint32_t, rt_fmt_ctx*) { return 0; }

int32_t format_refused(const char* f, ...) {
  va_list args;
  va_start(args, f);
  int32_t count = rt_format(refusing, f, args, 0);
  va_end(args);
  return count;
}

TEST(Format, CountsOnlyWhatTheSinkWrote) { EXPECT_EQ(format_refused("hello %d", 5), 0); }

int32_t format_into(rt_buffer* buffer, const char* f, ...) {
  va_list args;
  va_start(args, f);
  int32_t count = rt_format(rt_sink_buffer, f, args, reinterpret_cast<uintptr_t>(buffer));
  va_end(args);
  return count;
}

TEST(Format, BufferSinkKeepsEveryByteAsItGrows) {
  rt_heap_init();
  rt_buffer buffer = {nullptr, 0, 0};
  std::string expected;
  for (int i = 0; i < 100; i++) {
    EXPECT_EQ(format_into(&buffer, "%5d|%s\n", i, "abc"), 10);
    expected += format("%5d|%s\n", i, "abc");
  }
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.bytes), buffer.length), expected);
  EXPECT_GE(buffer.room, buffer.length);
  rt_free(buffer.bytes);
}

}  // namespace
