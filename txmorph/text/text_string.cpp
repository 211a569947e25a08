// TextString: views, sharing, reading and the operations built on rebuild.
// The storage engine, rebuild and resize, is in text_string_rebuild.cpp.
#include "txmorph/text/text_string.h"

#include "runtime/rt.h"

namespace txmorph {

namespace {

// An empty terminated string of either width.
alignas(4) const uint16_t kEmptyUnits[2] = {0, 0};

uint8_t* bytesOf(const TextString* s) { return static_cast<uint8_t*>(s->data); }

}  // namespace

uint32_t growSlack = 16;

void init(TextString* s) {
  s->length = 0;
  s->data = const_cast<uint16_t*>(kEmptyUnits);
  s->flags = kTerminatedView;
}

void release(TextString* s) {
  TextBlock* block = blockOf(s);
  if (block != nullptr && --block->refCount == 0) rt_free(block);
}

void initFromCString(TextString* s, const char* text) {
  s->length = rt_strlen(text);
  s->data = const_cast<char*>(text);
  s->flags = kTerminatedView;
}

void assignCString(TextString* s, const char* text) {
  release(s);
  initFromCString(s, text);
}

TextString* assign(TextString* target, const TextString* source) {
  // The reference is added first, so that a string assigned to itself (or to
  // a string of the same block) keeps its block.
  if (TextBlock* block = blockOf(source)) block->refCount++;
  release(target);
  *target = *source;
  return target;
}

TextString* initCopy(TextString* target, const TextString* source) {
  init(target);
  return assign(target, source);
}

void makeEmpty(TextString* s, uint32_t width) {
  release(s);
  init(s);
  s->flags |= width;
}

int32_t unitAt(const TextString* s, uint32_t index) {
  if (index >= s->length) return -1;
  const uint8_t* unit = bytesOf(s) + (static_cast<size_t>(index) << widthOf(s));
  if (widthOf(s) == kNarrow) return unit[0];
  uint16_t wide;
  __builtin_memcpy(&wide, unit, sizeof wide);
  return wide;
}

bool isTerminated(const TextString* s) {
  const TextBlock* block = blockOf(s);
  if (block == nullptr) return (s->flags & kTerminatedView) != 0;
  uint32_t width = widthOf(s);
  size_t after = static_cast<size_t>(bytesOf(s) - reinterpret_cast<const uint8_t*>(block)) +
                 (static_cast<size_t>(s->length) << width);
  if (after + (size_t{1} << width) > block->capacity) return false;
  const uint8_t* unit = reinterpret_cast<const uint8_t*>(block) + after;
  return unit[0] == 0 && (width == kNarrow || unit[1] == 0);
}

void ownCopy(TextString* s) { rebuild(s, s->data, s->length, widthOf(s), kSourceWidth, 0); }

void makeOwn(TextString* s) {
  if (blockOf(s) == nullptr) ownCopy(s);
}

void makeTerminated(TextString* s) {
  if (!isTerminated(s)) ownCopy(s);
}

TextString* terminatedCopy(TextString* target, const TextString* source) {
  initCopy(target, source);
  makeTerminated(target);
  return target;
}

TextString* append(TextString* target, const TextString* source) {
  uint32_t width = widthOf(target) | widthOf(source);
  rebuild(target, source->data, source->length, widthOf(source), width, kKeep);
  return target;
}

TextString* initConcat(TextString* target, const TextString* first, const TextString* second) {
  initCopy(target, first);
  return append(target, second);
}

TextString* initRepeat(TextString* target, uint16_t unit, uint32_t count) {
  init(target);
  if (count != 0) rebuild(target, &unit, count, kWide, kWide, kFill);
  return target;
}

uint32_t erase(TextString* s, int32_t index, uint32_t count) {
  if (count == 0) return 0;
  int64_t first = index;
  if (first < 0) first += s->length;
  if (first < 0) first = 0;
  if (first >= s->length) return 0;

  uint32_t at = static_cast<uint32_t>(first);
  uint32_t rest = s->length - at;
  if (count >= rest) {
    s->length = at;
    // A view cut short is no longer followed by its zero.
    if (blockOf(s) == nullptr) s->flags &= ~kTerminatedView;
    return rest;
  }
  uint32_t width = widthOf(s);
  if (at == 0) {
    s->length -= count;
    s->data = bytesOf(s) + (static_cast<size_t>(count) << width);
    return count;
  }
  const uint8_t* tail = bytesOf(s) + (static_cast<size_t>(at + count) << width);
  s->length = at;
  rebuild(s, tail, rest - count, width, kSourceWidth, kKeep);
  return count;
}

void reinterpretWidth(TextString* s, uint32_t width) {
  if (width == widthOf(s)) return;
  s->length = width == kWide ? s->length / 2 : s->length * 2;
  s->flags = (s->flags & ~kWideUnits) | width;
  // A view's zero byte is no zero unit of the other width (only the static
  // empty string is zero in both).
  if (blockOf(s) == nullptr && s->data != kEmptyUnits) s->flags &= ~kTerminatedView;
}

bool toWide(TextString* s) {
  if (widthOf(s) == kWide) return true;
  return rebuild(s, s->data, s->length, kNarrow, kWide, 0);
}

bool toNarrow(TextString* s) {
  if (widthOf(s) == kNarrow) return true;
  return rebuild(s, s->data, s->length, kWide, kNarrow, 0);
}

}  // namespace txmorph
