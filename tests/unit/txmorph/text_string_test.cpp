// TextString without code-page conversions: views, sharing, reading, erasing,
// the block reuse, slack and terminator rules of rebuild, and resize's sizes.
#include <gtest/gtest.h>

#include "platform/test_switches.h"
#include "runtime/rt.h"
#include "tests/unit/txmorph/text_string_support.h"

namespace txmorph {
namespace {

TEST(TextStringViews, InitIsAnEmptyTerminatedNarrowView) {
  TextString s;
  init(&s);
  EXPECT_EQ(s.length, 0u);
  EXPECT_EQ(blockOf(&s), nullptr);
  EXPECT_EQ(widthOf(&s), kNarrow);
  EXPECT_TRUE(isTerminated(&s));
  EXPECT_EQ(unitAt(&s, 0), -1);
  makeEmpty(&s, kWide);
  EXPECT_EQ(widthOf(&s), kWide);
  EXPECT_TRUE(isTerminated(&s));
  EXPECT_EQ(*static_cast<const uint16_t*>(s.data), 0);
  release(&s);
}

TEST(TextStringViews, CStringIsViewedNotCopied) {
  const char* text = "abc";
  TextString s;
  initFromCString(&s, text);
  EXPECT_EQ(s.data, text);
  EXPECT_EQ(s.length, 3u);
  EXPECT_EQ(blockOf(&s), nullptr);
  EXPECT_TRUE(isTerminated(&s));
  EXPECT_EQ(unitAt(&s, 2), 'c');
  EXPECT_EQ(unitAt(&s, 3), -1);

  // makeOwn copies a view into a block of its own; a block is kept as it is.
  makeOwn(&s);
  ASSERT_NE(blockOf(&s), nullptr);
  EXPECT_NE(s.data, text);
  EXPECT_EQ(narrowText(s), "abc");
  TextBlock* block = blockOf(&s);
  makeOwn(&s);
  EXPECT_EQ(blockOf(&s), block);

  // Assigning a C string drops the block.
  assignCString(&s, "<");
  EXPECT_EQ(blockOf(&s), nullptr);
  EXPECT_EQ(narrowText(s), "<");
  release(&s);
}

TEST(TextStringViews, UnitsAreZeroExtendedAndMinusOneIsPastTheEnd) {
  TextString narrow = ownedNarrow("\xFF");
  EXPECT_EQ(unitAt(&narrow, 0), 0xFF);
  EXPECT_EQ(unitAt(&narrow, 1), -1);
  EXPECT_EQ(unitAt(&narrow, 0xFFFFFFFFu), -1);
  TextString wide = ownedWide(u"\xFFFF");
  EXPECT_EQ(unitAt(&wide, 0), 0xFFFF);
  EXPECT_EQ(unitAt(&wide, 1), -1);
  release(&narrow);
  release(&wide);
}

TEST(TextStringSharing, AssignSharesTheBlockAndSelfAssignKeepsIt) {
  TextString a = ownedNarrow("hello");
  TextBlock* block = blockOf(&a);
  assign(&a, &a);
  EXPECT_EQ(blockOf(&a), block);
  EXPECT_EQ(refsOf(a), 1u);
  EXPECT_EQ(narrowText(a), "hello");  // under the sanitizer: not freed

  TextString b;
  initCopy(&b, &a);
  EXPECT_EQ(blockOf(&b), block);
  EXPECT_EQ(refsOf(a), 2u);
  assign(&b, &a);  // the same block again
  EXPECT_EQ(refsOf(a), 2u);
  release(&b);
  EXPECT_EQ(refsOf(a), 1u);
  release(&a);
}

TEST(TextStringSharing, ChangingASharedBlockTakesANewOne) {
  TextString a = ownedNarrow("hello");
  TextString b;
  initCopy(&b, &a);
  TextString tail;
  initFromCString(&tail, "!");
  append(&b, &tail);
  EXPECT_NE(blockOf(&b), blockOf(&a));
  EXPECT_EQ(narrowText(a), "hello");
  EXPECT_EQ(narrowText(b), "hello!");
  EXPECT_EQ(refsOf(a), 1u);
  EXPECT_EQ(refsOf(b), 1u);
  release(&a);
  release(&b);
}

TEST(TextStringErase, FromTheFrontOfASharedBlockMovesOnlyThePointer) {
  TextString a = ownedNarrow("hello");
  TextString b;
  initCopy(&b, &a);
  EXPECT_EQ(erase(&b, 0, 1), 1u);
  EXPECT_EQ(blockOf(&b), blockOf(&a));
  EXPECT_EQ(b.data, static_cast<char*>(a.data) + 1);
  EXPECT_EQ(narrowText(b), "ello");
  EXPECT_EQ(narrowText(a), "hello");
  EXPECT_EQ(refsOf(a), 2u);
  release(&a);
  release(&b);
}

TEST(TextStringErase, IndexAndCountRules) {
  TextString s = ownedNarrow("hello");
  EXPECT_EQ(erase(&s, 1, 0), 0u);
  EXPECT_EQ(erase(&s, 5, 1), 0u);  // at the end: nothing
  EXPECT_EQ(erase(&s, 9, 1), 0u);
  EXPECT_EQ(narrowText(s), "hello");

  EXPECT_EQ(erase(&s, -2, 9), 2u);  // counted from the end, cut at the end
  EXPECT_EQ(narrowText(s), "hel");
  EXPECT_FALSE(isTerminated(&s));    // the cut writes no terminator
  EXPECT_EQ(erase(&s, -10, 1), 1u);  // before the start: from 0
  EXPECT_EQ(narrowText(s), "el");
  release(&s);
}

TEST(TextStringErase, FromTheMiddleJoinsInPlaceOrCopiesASharedBlock) {
  TextString s = ownedNarrow("abcdef");
  TextBlock* block = blockOf(&s);
  EXPECT_EQ(erase(&s, 2, 2), 2u);
  EXPECT_EQ(blockOf(&s), block);
  EXPECT_EQ(narrowText(s), "abef");
  EXPECT_TRUE(isTerminated(&s));

  // After a removal from the front, the head moves back to the block's start.
  erase(&s, 0, 1);
  erase(&s, 1, 1);
  EXPECT_EQ(blockOf(&s), block);
  EXPECT_EQ(s.data, reinterpret_cast<char*>(block) + kHeader);
  EXPECT_EQ(narrowText(s), "bf");

  TextString w = ownedWide(u"0123456");
  TextString other;
  initCopy(&other, &w);
  erase(&w, -4, 2);
  EXPECT_EQ(wideText(w), u"01256");
  EXPECT_EQ(wideText(other), u"0123456");
  EXPECT_NE(blockOf(&w), blockOf(&other));
  release(&s);
  release(&w);
  release(&other);
}

TEST(TextStringErase, AViewCutShortIsNoLongerTerminated) {
  TextString s;
  initFromCString(&s, "name.txt");
  erase(&s, 0, 5);  // the front: still followed by the zero
  EXPECT_EQ(blockOf(&s), nullptr);
  EXPECT_TRUE(isTerminated(&s));
  erase(&s, 1, 5);
  EXPECT_EQ(narrowText(s), "t");
  EXPECT_FALSE(isTerminated(&s));
  makeTerminated(&s);
  ASSERT_NE(blockOf(&s), nullptr);
  EXPECT_EQ(narrowText(s), "t");
  EXPECT_TRUE(isTerminated(&s));
  release(&s);
}

TEST(TextStringTerminated, CopiesShareWhatIsTerminatedAndCopyTheRest) {
  TextString view;
  initFromCString(&view, "a.txt");
  TextString copy;
  terminatedCopy(&copy, &view);
  EXPECT_EQ(copy.data, view.data);
  release(&copy);

  TextString owned = ownedNarrow("a.txt");
  terminatedCopy(&copy, &owned);
  EXPECT_EQ(blockOf(&copy), blockOf(&owned));
  release(&copy);

  erase(&owned, 1, 9);  // "a", followed by '.'
  terminatedCopy(&copy, &owned);
  EXPECT_NE(blockOf(&copy), blockOf(&owned));
  EXPECT_STREQ(static_cast<const char*>(copy.data), "a");
  EXPECT_EQ(static_cast<const char*>(owned.data)[1], '.');  // the source untouched
  release(&copy);
  release(&owned);
}

TEST(TextStringTerminated, TheUnitAfterMustLieInsideTheBlock) {
  TextString s;
  init(&s);
  char* units = static_cast<char*>(resize(&s, 4, 0));  // exactly 4 units and one more
  memcpy(units, "abcd", 4);
  units[4] = 'x';
  EXPECT_FALSE(isTerminated(&s));
  units[4] = 0;
  EXPECT_TRUE(isTerminated(&s));
  // As two wide units: a wide unit after them would pass the block's end.
  reinterpretWidth(&s, kWide);
  EXPECT_EQ(capacityOf(s), kHeader + 5);
  EXPECT_FALSE(isTerminated(&s));
  release(&s);
}

TEST(TextStringWidth, ReinterpretHalvesAndDoubles) {
  TextString s = ownedNarrow("ABC");
  reinterpretWidth(&s, kWide);
  EXPECT_EQ(s.length, 1u);
  EXPECT_EQ(widthOf(&s), kWide);
  EXPECT_EQ(unitAt(&s, 0), 0x4241);  // little-endian pairs
  reinterpretWidth(&s, kWide);
  EXPECT_EQ(s.length, 1u);
  reinterpretWidth(&s, kNarrow);
  EXPECT_EQ(s.length, 2u);
  EXPECT_EQ(narrowText(s), "AB");
  release(&s);

  // A view's zero byte is no wide zero unit.
  TextString view;
  initFromCString(&view, "ABC");
  reinterpretWidth(&view, kWide);
  EXPECT_FALSE(isTerminated(&view));
  makeEmpty(&view, kNarrow);
  reinterpretWidth(&view, kWide);
  EXPECT_TRUE(isTerminated(&view));
  release(&view);
}

TEST(TextStringRebuild, AllocatesWithSlackAndATerminator) {
  TextString s;
  initFromCString(&s, "0123456789");
  ownCopy(&s);
  EXPECT_EQ(capacityOf(s), kHeader + 10 + 1 + 16);
  EXPECT_EQ(refsOf(s), 1u);
  EXPECT_TRUE(isTerminated(&s));

  // A small append fits the slack: the block stays.
  TextBlock* block = blockOf(&s);
  TextString more;
  initFromCString(&more, "0123456789abcdef");
  append(&s, &more);
  EXPECT_EQ(blockOf(&s), block);
  EXPECT_EQ(s.length, 26u);
  EXPECT_TRUE(isTerminated(&s));
  // One more unit: enlarged to what is needed plus the slack.
  initFromCString(&more, "!");
  append(&s, &more);
  EXPECT_EQ(capacityOf(s), kHeader + 27 + 1 + 16);
  EXPECT_EQ(narrowText(s), "01234567890123456789abcdef!");
  release(&s);
}

TEST(TextStringRebuild, InsideItsOwnBlockInTheSameWidthReusesIt) {
  TextString s = ownedNarrow("abcdef");
  TextBlock* block = blockOf(&s);
  rebuild(&s, static_cast<char*>(s.data) + 2, 3, kNarrow, kSourceWidth, 0);
  EXPECT_EQ(blockOf(&s), block);
  EXPECT_EQ(narrowText(s), "cde");
  EXPECT_TRUE(isTerminated(&s));
  release(&s);
}

TEST(TextStringRebuild, AStringAppendedToItself) {
  TextString s = ownedNarrow("xyzabc");
  erase(&s, 0, 3);  // the units no longer start the block
  append(&s, &s);
  EXPECT_EQ(narrowText(s), "abcabc");

  // Enlarging the block on the way.
  TextString w = ownedWide(u"0123456789abcdef");
  erase(&w, 0, 1);
  append(&w, &w);
  append(&w, &w);
  EXPECT_EQ(wideText(w), u"123456789abcdef123456789abcdef123456789abcdef123456789abcdef");
  release(&s);
  release(&w);
}

TEST(TextStringRebuild, ReserveAndFillModes) {
  TextString s = ownedNarrow("ab");
  rebuild(&s, "x", 3, kNarrow, kSourceWidth, kKeep | kFill);
  EXPECT_EQ(narrowText(s), "abxxx");
  rebuild(&s, nullptr, 4, kNarrow, kSourceWidth, kKeep | kReserve);
  EXPECT_EQ(s.length, 9u);
  EXPECT_EQ(narrowText(s).substr(0, 5), "abxxx");
  EXPECT_TRUE(isTerminated(&s));
  rebuild(&s, nullptr, 0, kNarrow, kWide, 0);  // nothing: an empty view
  EXPECT_EQ(blockOf(&s), nullptr);
  EXPECT_EQ(widthOf(&s), kWide);
  release(&s);
}

TEST(TextStringRebuild, RepeatAndConcat) {
  TextString bom;
  initRepeat(&bom, 0xFEFF, 1);
  EXPECT_EQ(widthOf(&bom), kWide);
  EXPECT_EQ(bom.length, 1u);
  EXPECT_EQ(unitAt(&bom, 0), 0xFEFF);
  EXPECT_EQ(static_cast<const uint16_t*>(bom.data)[1], 0);
  EXPECT_TRUE(isTerminated(&bom));

  TextString many;
  initRepeat(&many, 0x1234, 1000);
  EXPECT_EQ(wideText(many), std::u16string(1000, u'\x1234'));
  release(&many);
  initRepeat(&many, 0x41, 0);
  EXPECT_EQ(many.length, 0u);
  EXPECT_EQ(blockOf(&many), nullptr);

  TextString text = ownedWide(u"text");
  TextString joined;
  initConcat(&joined, &bom, &text);
  EXPECT_EQ(wideText(joined), u"\xFEFFtext");
  EXPECT_EQ(wideText(bom), u"\xFEFF");
  release(&bom);
  release(&text);
  release(&joined);
}

TEST(TextStringResize, GrowsToExactlyWhatIsAsked) {
  TextString s;
  init(&s);
  void* data = resize(&s, 100, 0);
  EXPECT_EQ(data, s.data);
  EXPECT_EQ(s.length, 100u);
  EXPECT_EQ(capacityOf(s), kHeader + 101);
  EXPECT_EQ(refsOf(s), 1u);
  resize(&s, 65636, 0);
  EXPECT_EQ(capacityOf(s), kHeader + 65637);
  resize(&s, 50, 0);  // shorter: the block stays
  EXPECT_EQ(s.length, 50u);
  EXPECT_EQ(capacityOf(s), kHeader + 65637);
  resize(&s, 60, 100000);  // the hint sizes the block
  EXPECT_EQ(s.length, 60u);
  EXPECT_EQ(capacityOf(s), kHeader + 100001);
  release(&s);

  TextString w;
  init(&w);
  makeEmpty(&w, kWide);
  resize(&w, 10, 0);
  EXPECT_EQ(capacityOf(w), kHeader + 22);
  release(&w);
}

TEST(TextStringResize, CopiesWhenTheBlockIsNotItsOwnOrMoved) {
  TextString view;
  initFromCString(&view, "abc");
  char* units = static_cast<char*>(resize(&view, 5, 0));
  EXPECT_EQ(capacityOf(view), kHeader + 6);
  EXPECT_EQ(std::string(units, 3), "abc");
  EXPECT_EQ(growSlack, 16u);

  TextString shared;
  initCopy(&shared, &view);
  resize(&shared, 2, 7);
  EXPECT_NE(blockOf(&shared), blockOf(&view));
  EXPECT_EQ(capacityOf(shared), kHeader + 8);
  EXPECT_EQ(narrowText(shared), "ab");
  EXPECT_TRUE(isTerminated(&shared));  // copied by rebuild

  erase(&view, 0, 1);  // the units no longer start the block: moved back in it
  TextBlock* block = blockOf(&view);
  resize(&view, 3, 0);
  EXPECT_EQ(blockOf(&view), block);
  EXPECT_EQ(std::string(static_cast<char*>(view.data), 2), "bc");
  release(&view);
  release(&shared);
}

TEST(TextStringRebuild, CopiesBetweenOverlappingRanges) {
  char buffer[] = "abcdef";
  EXPECT_EQ(convertUnits(buffer, 4, kNarrow, buffer + 2, kNarrow), 4u);
  EXPECT_STREQ(buffer, "ababcd");
  EXPECT_EQ(convertUnits(buffer + 2, 4, kNarrow, buffer, kNarrow), 4u);
  EXPECT_STREQ(buffer, "abcdcd");
  char16_t wide[] = u"abcdef";
  EXPECT_EQ(convertUnits(wide, 3, kWide, wide + 1, kWide), 3u);
  EXPECT_EQ(std::u16string(wide), u"aabcef");
}

// Sizes beyond 32 bits end the run as exhaustion would, never as a wrapped,
// smaller request.
TEST(TextStringDeathTest, SizesBeyond32BitsGoToTheOutOfMemoryHook) {
  TextString s;
  init(&s);
  EXPECT_EXIT(resize(&s, 0xFFFFFFFFu, 0), ::testing::ExitedWithCode(1), "Out of memory \\(-1\\)");
  makeEmpty(&s, kWide);
  EXPECT_EXIT(resize(&s, 0x7FFFFFFCu, 0), ::testing::ExitedWithCode(1), "Out of memory \\(-1\\)");
  EXPECT_EXIT(initRepeat(&s, 0x20, 0x7FFFFFF0u), ::testing::ExitedWithCode(1),
              "Out of memory \\(-1\\)");
  TextString big = ownedNarrow("abc");
  EXPECT_EXIT(resize(&big, 0xFFFFFFF7u, 0), ::testing::ExitedWithCode(1), "Out of memory \\(-1\\)");
  release(&big);
}

TEST(TextStringDeathTest, ALargeRequestReachesTheHeapWhole) {
  TextString s;
  init(&s);
  EXPECT_EXIT(
      {
        plat_heap_fail_above = 1u << 20;
        resize(&s, 0xFFFFFFF0u - kHeader - 1, 0);
      },
      ::testing::ExitedWithCode(1), "Out of memory \\(-16\\)");
}

}  // namespace
}  // namespace txmorph
