// TextString under random sequences of its operations, four strings at a
// time, each against a plain model (a vector of units and a width):
// - after every operation each string holds the model's units in the model's
//   width, read through unitAt (past the end: -1);
// - every block's reference count is the number of strings that use it, so
//   it never drops below zero and a block is freed exactly when unused;
// - a string that says it is terminated has a zero unit after its units,
//   and every operation that goes through rebuild leaves one;
// - the used-replacement report is the one the conversions of the model
//   leave;
// - at the end every string is released and nothing may leak.
// Width changes convert through the unit converter, which the model calls
// itself: what is tested is the string, not the code pages.
//
// Input: the code-page byte, the replacement byte, the report byte (bit 0:
// ask for the report), the slack byte; three view texts (a length byte, low 5
// bits, then the bytes); the pool (a length byte, then the bytes) that
// rebuild may take units from; then operations, an opcode byte and its
// operand bytes each (see run_operation).
#include <string.h>

#include <vector>

#include "platform/platform.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_input.h"
#include "txmorph/text/conversion_state.h"
#include "txmorph/text/text_string.h"

namespace {

using namespace txmorph;

using Units = std::vector<uint16_t>;

constexpr int kStrings = 4;
constexpr int kViews = 3;
constexpr int kMaxOperations = 256;
// Strings are kept short, or appending a string to itself a few hundred
// times would ask for more memory than there is.
constexpr size_t kMaxUnits = 4096;

const uint32_t kCodePages[] = {1252, 437, CP_UTF8, 932, 936, CP_ACP, CP_OEMCP, 1253};

struct Slot {
  TextString s;
  Units units;  // the model: bytes (narrow) or 16-bit units (wide)
  uint32_t width;
};

struct World {
  Slot slots[kStrings];
  char* views[kViews];
  uint8_t* pool;
  size_t pool_size;
};

// ---------------------------------------------------------------------------
// The model's conversions, piece by piece as a rebuild converts.

Units units_at(const void* data, uint32_t count, uint32_t width) {
  Units units(count);
  for (uint32_t i = 0; i < count; i++) {
    if (width == kNarrow) {
      units[i] = static_cast<const uint8_t*>(data)[i];
    } else {
      memcpy(&units[i], static_cast<const uint8_t*>(data) + 2 * i, 2);
    }
  }
  return units;
}

std::vector<uint8_t> bytes_of(const Units& units, uint32_t width) {
  std::vector<uint8_t> bytes(units.size() << width);
  for (size_t i = 0; i < units.size(); i++) {
    if (width == kNarrow) {
      bytes[i] = static_cast<uint8_t>(units[i]);
    } else {
      memcpy(&bytes[2 * i], &units[i], 2);
    }
  }
  return bytes;
}

Units convert(const Units& units, uint32_t from, uint32_t to) {
  if (from == to || units.empty()) return units;
  std::vector<uint8_t> source = bytes_of(units, from);
  uint32_t count = static_cast<uint32_t>(units.size());
  uint32_t needed = convertUnitsInto(source.data(), count, from, nullptr, 0, to);
  FUZZ_CHECK(needed > 0, "the model's conversion from width %u", from);
  std::vector<uint8_t> dest(static_cast<size_t>(needed) << to);
  uint32_t written = convertUnitsInto(source.data(), count, from, dest.data(), needed, to);
  FUZZ_CHECK(written == needed, "the model's conversion: %u of %u", written, needed);
  return units_at(dest.data(), written, to);
}

// ---------------------------------------------------------------------------
// The checks after every operation.

void check_slot(const Slot& slot, int index) {
  const TextString* s = &slot.s;
  FUZZ_CHECK(widthOf(s) == slot.width, "string %d: width %u, model %u", index, widthOf(s),
             slot.width);
  FUZZ_CHECK(s->length == slot.units.size(), "string %d: length %u, model %zu", index, s->length,
             slot.units.size());
  for (uint32_t i = 0; i < s->length; i++) {
    FUZZ_CHECK(unitAt(s, i) == slot.units[i], "string %d: unit %u is %d, model %u", index, i,
               unitAt(s, i), slot.units[i]);
  }
  FUZZ_CHECK(unitAt(s, s->length) == -1, "string %d: unitAt past the end", index);
  if (TextBlock* block = blockOf(s)) {
    const uint8_t* start = reinterpret_cast<const uint8_t*>(block) + sizeof(TextBlock);
    const uint8_t* data = static_cast<const uint8_t*>(s->data);
    size_t end = static_cast<size_t>(data - reinterpret_cast<const uint8_t*>(block)) +
                 (static_cast<size_t>(s->length) << slot.width);
    FUZZ_CHECK(data >= start && end <= block->capacity, "string %d: units inside the block", index);
  }
  if (isTerminated(s)) {
    const uint8_t* after =
        static_cast<const uint8_t*>(s->data) + (static_cast<size_t>(s->length) << slot.width);
    FUZZ_CHECK(after[0] == 0 && (slot.width == kNarrow || after[1] == 0),
               "string %d: terminated without a zero unit", index);
  }
}

void check_world(const World& w) {
  for (int i = 0; i < kStrings; i++) check_slot(w.slots[i], i);
  for (int i = 0; i < kStrings; i++) {
    TextBlock* block = blockOf(&w.slots[i].s);
    if (block == nullptr) continue;
    uint32_t users = 0;
    for (const Slot& other : w.slots) users += blockOf(&other.s) == block;
    FUZZ_CHECK(block->refCount == users, "string %d: %u references, %u users", i, block->refCount,
               users);
  }
}

void check_terminated(const Slot& slot, const char* after) {
  FUZZ_CHECK(isTerminated(&slot.s), "not terminated after %s", after);
}

// The model converts first, which leaves the report its conversions make;
// the string's conversions, run from the same start, must leave the same.
int32_t model_report(int32_t start) {
  int32_t report = conversionState.usedReplacement;
  conversionState.usedReplacement = start;
  return report;
}

void check_report(int32_t expected, const char* after) {
  FUZZ_CHECK(conversionState.usedReplacement == expected, "used-replacement %d after %s, model %d",
             conversionState.usedReplacement, after, expected);
}

// ---------------------------------------------------------------------------
// The operations, each on the strings and on the model.

void reset(Slot* slot) {
  release(&slot->s);
  init(&slot->s);
  slot->units.clear();
  slot->width = kNarrow;
}

void same_model(Slot* slot, const Slot& other) {
  slot->units = other.units;
  slot->width = other.width;
}

// The model of two strings joined: the wider width, a narrow side converted.
Slot joined_model(const Slot& first, const Slot& second) {
  Slot joined;
  joined.width = first.width | second.width;
  joined.units = convert(first.units, first.width, joined.width);
  Units tail = convert(second.units, second.width, joined.width);
  joined.units.insert(joined.units.end(), tail.begin(), tail.end());
  return joined;
}

void view_model(Slot* slot, const char* text) {
  slot->units = units_at(text, static_cast<uint32_t>(strlen(text)), kNarrow);
  slot->width = kNarrow;
}

// The units a string left unwritten (resize, a reserving rebuild) are filled
// by the caller; here with a pattern, in the string and the model.
void fill_new_units(Slot* slot, size_t from, uint8_t seed) {
  for (size_t i = from; i < slot->units.size(); i++) {
    uint16_t unit = static_cast<uint16_t>(seed + i * 7);
    if (slot->width == kNarrow) unit &= 0xFF;
    uint8_t* at = static_cast<uint8_t*>(slot->s.data) + (i << slot->width);
    if (slot->width == kNarrow) {
      *at = static_cast<uint8_t>(unit);
    } else {
      memcpy(at, &unit, 2);
    }
    slot->units[i] = unit;
  }
}

Units model_erase(const Units& units, int32_t index, uint32_t count, uint32_t* removed) {
  *removed = 0;
  int64_t at = index;
  if (count == 0) return units;
  if (at < 0) at += static_cast<int64_t>(units.size());
  if (at < 0) at = 0;
  if (at >= static_cast<int64_t>(units.size())) return units;
  size_t rest = units.size() - static_cast<size_t>(at);
  size_t n = count < rest ? count : rest;
  *removed = static_cast<uint32_t>(n);
  Units left(units.begin(), units.begin() + at);
  left.insert(left.end(), units.begin() + at + n, units.end());
  return left;
}

// 16-bit units are read where they are aligned, as the platform's
// conversions expect them: a narrow string moved on by an odd count is not
// taken as wide.
bool aligned(const void* data) { return (reinterpret_cast<uintptr_t>(data) & 1) == 0; }

// Where rebuild takes its units: the pool, or a string's own units from an
// offset on (the string being rebuilt included).
struct Source {
  const void* data;
  size_t bytes;  // available from data on
};

Source source_of(World* w, uint8_t pick, uint8_t offset) {
  if (pick % (kStrings + 1) == kStrings) {
    size_t at = w->pool_size ? offset % (w->pool_size + 1) : 0;
    return Source{w->pool + at, w->pool_size - at};
  }
  Slot& slot = w->slots[pick % (kStrings + 1)];
  size_t length = slot.units.size();
  size_t at = offset % (length + 1);
  const uint8_t* data = static_cast<const uint8_t*>(slot.s.data) + (at << slot.width);
  return Source{data, (length - at) << slot.width};
}

void rebuild_operation(World* w, Slot* slot, FuzzInput* in) {
  int32_t start = conversionState.usedReplacement;
  uint8_t pick = take_byte(in);
  uint8_t offset = take_byte(in);
  uint8_t widths = take_byte(in);
  uint32_t mode = take_byte(in) & (kKeep | kFill | kReserve);
  uint32_t count = take_u16(in) & 0x3FF;
  uint8_t seed = take_byte(in);
  uint32_t source_width = widths & 1;
  uint32_t target_width = (widths & 2) ? kSourceWidth : (widths >> 2) & 1;
  uint32_t width = target_width == kSourceWidth ? source_width : target_width;

  Source source = source_of(w, pick, offset);
  if (source_width == kWide && !aligned(source.data) && source.bytes > 0) {
    source.data = static_cast<const uint8_t*>(source.data) + 1;
    source.bytes--;
  }
  size_t available = source.bytes >> source_width;
  bool reserve = mode & kReserve;
  bool fill = (mode & kFill) && !reserve;
  if (fill && available == 0) return;
  if (!fill && !reserve && count > available) count = static_cast<uint32_t>(available);
  if (slot->units.size() + count > kMaxUnits) return;

  Units kept = (mode & kKeep) ? convert(slot->units, slot->width, width) : Units();
  Units added;
  if (!reserve && count > 0) {
    Units first = units_at(source.data, fill ? 1 : count, source_width);
    Units piece = convert(first, source_width, width);
    for (uint32_t k = 0; k < (fill ? count : 1); k++) {
      added.insert(added.end(), piece.begin(), piece.end());
    }
  }
  size_t before = kept.size() + added.size();
  int32_t report = model_report(start);
  FUZZ_CHECK(rebuild(&slot->s, source.data, count, source_width, target_width, mode),
             "rebuild failed");
  slot->units = kept;
  slot->units.insert(slot->units.end(), added.begin(), added.end());
  if (reserve) slot->units.resize(kept.size() + count);
  slot->width = width;
  fill_new_units(slot, before, seed);
  check_terminated(*slot, "rebuild");
  check_report(report, "rebuild");
}

void run_operation(World* w, FuzzInput* in) {
  uint8_t op = take_byte(in);
  Slot* a = &w->slots[take_byte(in) % kStrings];
  Slot* b = &w->slots[take_byte(in) % kStrings];
  uint32_t removed;
  switch (op % 21) {
    case 0: reset(a); break;
    case 1: {
      const char* text = w->views[take_byte(in) % kViews];
      release(&a->s);
      initFromCString(&a->s, text);
      view_model(a, text);
      break;
    }
    case 2: {
      const char* text = w->views[take_byte(in) % kViews];
      assignCString(&a->s, text);
      view_model(a, text);
      break;
    }
    case 3:
      assign(&a->s, &b->s);
      same_model(a, *b);
      break;
    case 4:
    case 9:
      if (a == b) break;
      release(&a->s);
      if (op % 21 == 4) {
        initCopy(&a->s, &b->s);
      } else {
        terminatedCopy(&a->s, &b->s);
        FUZZ_CHECK(isTerminated(&a->s), "not terminated after terminatedCopy");
      }
      same_model(a, *b);
      break;
    case 5: {
      uint32_t width = take_byte(in) & 1;
      makeEmpty(&a->s, width);
      a->units.clear();
      a->width = width;
      FUZZ_CHECK(isTerminated(&a->s), "an empty string is terminated");
      break;
    }
    case 6: ownCopy(&a->s); break;
    case 7: makeOwn(&a->s); break;
    case 8:
      makeTerminated(&a->s);
      check_terminated(*a, "makeTerminated");
      break;
    case 10: {
      if (a->units.size() + b->units.size() > kMaxUnits) break;
      Slot joined = joined_model(*a, *b);
      append(&a->s, &b->s);
      same_model(a, joined);
      check_terminated(*a, "append");
      break;
    }
    case 11: {
      Slot* c = &w->slots[take_byte(in) % kStrings];
      if (a == b || a == c || b->units.size() + c->units.size() > kMaxUnits) break;
      Slot joined = joined_model(*b, *c);
      release(&a->s);
      initConcat(&a->s, &b->s, &c->s);
      same_model(a, joined);
      check_terminated(*a, "initConcat");
      break;
    }
    case 12: {
      uint16_t unit = static_cast<uint16_t>(take_u32(in));
      uint32_t count = take_u16(in) & 0x3FF;
      release(&a->s);
      initRepeat(&a->s, unit, count);
      a->units.assign(count, unit);
      a->width = count ? kWide : kNarrow;
      check_terminated(*a, "initRepeat");
      break;
    }
    case 13: {
      int32_t index = static_cast<int32_t>(take_u32(in) % 1024) - 512;
      uint32_t count = take_byte(in) & 0x3F;
      a->units = model_erase(a->units, index, count, &removed);
      FUZZ_CHECK(erase(&a->s, index, count) == removed, "erase removed other than %u", removed);
      break;
    }
    case 14: {
      uint32_t width = take_byte(in) & 1;
      if (width == kWide && !aligned(a->s.data)) break;
      reinterpretWidth(&a->s, width);
      if (width != a->width) {
        std::vector<uint8_t> bytes = bytes_of(a->units, a->width);
        if (width == kWide) bytes.resize(bytes.size() / 2 * 2);
        a->units = units_at(bytes.data(), static_cast<uint32_t>(bytes.size() >> width), width);
        a->width = width;
      }
      break;
    }
    case 15: {
      uint32_t length = take_u16(in) & 0x3FF;
      uint32_t hint = take_u16(in) & 0x3FF;
      uint8_t seed = take_byte(in);
      size_t before = a->units.size() < length ? a->units.size() : length;
      void* data = resize(&a->s, length, hint);
      FUZZ_CHECK(data == a->s.data, "resize returns the data");
      FUZZ_CHECK(blockOf(&a->s) && blockOf(&a->s)->refCount == 1, "resize leaves an own block");
      a->units.resize(length);
      fill_new_units(a, before, seed);
      break;
    }
    case 16: rebuild_operation(w, a, in); break;
    case 17:
    case 18: {
      uint32_t width = op % 21 == 17 ? kWide : kNarrow;
      int32_t start = conversionState.usedReplacement;
      Units units = convert(a->units, a->width, width);
      int32_t report = model_report(start);
      FUZZ_CHECK(width == kWide ? toWide(&a->s) : toNarrow(&a->s), "the width change failed");
      check_report(report, "a width change");
      bool changed = width != a->width;
      a->units = units;
      a->width = width;
      if (changed && !units.empty()) check_terminated(*a, "a width change");
      break;
    }
    case 19:
      conversionState.codePage = kCodePages[take_byte(in) % (sizeof kCodePages / 4)];
      conversionState.replacementByte = static_cast<char>(take_byte(in));
      conversionState.usedReplacement = take_byte(in) & 1 ? 0 : 2;
      break;
    default: {
      uint32_t index = take_byte(in);
      int32_t expected = index < a->units.size() ? a->units[index] : -1;
      FUZZ_CHECK(unitAt(&a->s, index) == expected, "unitAt(%u)", index);
    }
  }
}

char* exact_text(FuzzInput* in, size_t most) {
  const uint8_t* bytes;
  size_t length = take_bytes(in, most, &bytes);
  char* text = static_cast<char*>(malloc(length + 1));
  memcpy(text, bytes, length);
  text[length] = 0;
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in = fuzz_input(data, size);
  conversionState.codePage = kCodePages[take_byte(&in) % (sizeof kCodePages / 4)];
  conversionState.replacementByte = static_cast<char>(take_byte(&in));
  conversionState.usedReplacement = take_byte(&in) & 1 ? 0 : 2;
  growSlack = take_byte(&in) % 33;

  World w;
  for (char*& view : w.views) view = exact_text(&in, take_byte(&in) & 0x1F);
  const uint8_t* pool;
  w.pool_size = take_bytes(&in, take_byte(&in), &pool);
  w.pool = static_cast<uint8_t*>(malloc(w.pool_size + 1));
  memcpy(w.pool, pool, w.pool_size);
  for (Slot& slot : w.slots) {
    init(&slot.s);
    slot.width = kNarrow;
  }
  check_world(w);
  for (int n = 0; n < kMaxOperations && in.left > 0; n++) {
    run_operation(&w, &in);
    check_world(w);
  }
  for (Slot& slot : w.slots) release(&slot.s);
  for (char* view : w.views) free(view);
  free(w.pool);
  growSlack = 16;
  return 0;
}
