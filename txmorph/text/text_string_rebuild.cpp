// The storage engine of TextString: rebuild, which every change of units goes
// through, and resize, which makes room for a reader or an encoder to fill.
#include "runtime/rt.h"
#include "txmorph/text/text_string.h"

namespace txmorph {

namespace {

constexpr uint32_t kHeaderBytes = sizeof(TextBlock);

uint8_t* unitsOf(TextBlock* block) { return reinterpret_cast<uint8_t*>(block) + kHeaderBytes; }

// Bytes of a block for `units` units of `width`, a terminator and `slack`
// units more. A size beyond 32 bits is refused as an exhausted heap would
// refuse it, never wrapped to a smaller block.
uint32_t blockBytes(uint64_t units, uint32_t slack, uint32_t width) {
  uint64_t bytes = ((units + 1 + slack) << width) + kHeaderBytes;
  if (bytes > UINT32_MAX) rt_out_of_memory(UINT32_MAX);
  return static_cast<uint32_t>(bytes);
}

TextBlock* newBlock(uint32_t bytes) {
  TextBlock* block = static_cast<TextBlock*>(rt_xalloc(bytes));
  block->capacity = bytes;
  block->refCount = 0;
  return block;
}

TextBlock* growBlock(TextBlock* block, uint32_t bytes) {
  block = static_cast<TextBlock*>(rt_xrealloc(block, bytes));
  block->capacity = bytes;
  return block;
}

bool holds(const TextBlock* block, const void* p) {
  uintptr_t start = reinterpret_cast<uintptr_t>(block);
  uintptr_t at = reinterpret_cast<uintptr_t>(p);
  return p != nullptr && at >= start && at - start < block->capacity;
}

// The block a rebuild writes into: a new one, or the string's own.
struct Target {
  TextBlock* block;
  bool fresh;
  uint32_t width;
  uint32_t length;  // units written
};

uint8_t* endOf(Target* t) {
  return unitsOf(t->block) + (static_cast<size_t>(t->length) << t->width);
}

// Free units after those written, the terminator's unit set aside.
uint32_t roomOf(const Target* t) {
  return ((t->block->capacity - kHeaderBytes) >> t->width) - t->length - 1;
}

// Makes room for `more` units after those written; an enlarged block gets
// growSlack units to spare.
void reserveUnits(Target* t, uint64_t more) {
  if (blockBytes(t->length + more, 0, t->width) <= t->block->capacity) return;
  t->block = growBlock(t->block, blockBytes(t->length + more, growSlack, t->width));
}

// Converts `count` units onto the end of the target. A result that the room
// cannot hold (a double-byte page's narrow form) is measured and converted
// again once the block holds it and the `pending` units still to come.
bool convertPiece(Target* t, const void* source, uint32_t count, uint32_t sourceWidth,
                  uint64_t pending) {
  if (count == 0) return true;
  // A move is told no room, so it gets its room first: the units before it
  // may have taken more than one unit each (kept units encoded to a
  // double-byte page) and used up the room counted for these. A source
  // inside the block moves only in the same width, where the block already
  // holds the total, so it is never moved from under the copy.
  if (sourceWidth == t->width) reserveUnits(t, count + pending);
  // With no room left the platform would only count: that is measured below.
  uint32_t room = roomOf(t);
  uint32_t written =
      room == 0 ? 0 : convertUnitsInto(source, count, sourceWidth, endOf(t), room, t->width);
  if (written == 0) {
    if (room != 0 && GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    uint32_t needed = convertUnitsInto(source, count, sourceWidth, nullptr, 0, t->width);
    if (needed == 0) return false;
    reserveUnits(t, needed + pending);
    written = convertUnitsInto(source, count, sourceWidth, endOf(t), roomOf(t), t->width);
    if (written == 0) return false;
  }
  t->length += written;
  return true;
}

// Repeats the last `patternUnits` units written until they stand `copies`
// times. The pattern is one unit unless a unit converted to several.
void fillPattern(Target* t, uint32_t patternUnits, uint32_t copies) {
  if (copies <= 1) return;
  uint64_t more = static_cast<uint64_t>(patternUnits) * (copies - 1);
  reserveUnits(t, more);
  size_t pattern = static_cast<size_t>(patternUnits) << t->width;
  size_t all = pattern + (static_cast<size_t>(more) << t->width);
  uint8_t* start = endOf(t) - pattern;
  if (pattern == 1) {
    __builtin_memset(start + 1, start[0], all - 1);
  } else {
    for (size_t done = pattern; done < all;) {
      size_t piece = done < all - done ? done : all - done;
      __builtin_memcpy(start + done, start, piece);
      done += piece;
    }
  }
  t->length += static_cast<uint32_t>(more);
}

// Makes the string's own block the target, enlarged when `total` units do
// not fit. Returns where the source is then: a source inside the block moves
// with it, and one among the kept units (the string appended to itself) moves
// with them to the start of the block.
const void* reuseOwnBlock(TextString* s, Target* t, uint64_t total, uint32_t kept,
                          const void* source, bool inside) {
  TextBlock* own = blockOf(s);
  t->block = own;
  t->fresh = false;
  const uint8_t* from = static_cast<const uint8_t*>(source);
  if (blockBytes(total, 0, t->width) > own->capacity) {
    size_t dataAt = static_cast<size_t>(static_cast<uint8_t*>(s->data) - unitsOf(own));
    size_t sourceAt = inside ? static_cast<size_t>(from - unitsOf(own)) : 0;
    t->block = growBlock(own, blockBytes(total, growSlack, t->width));
    s->data = unitsOf(t->block) + dataAt;
    if (inside) from = unitsOf(t->block) + sourceAt;
  }
  const uint8_t* keptAt = static_cast<const uint8_t*>(s->data);
  size_t keptBytes = static_cast<size_t>(kept) << widthOf(s);
  if (inside && from >= keptAt && from < keptAt + keptBytes) {
    from = unitsOf(t->block) + (from - keptAt);
  }
  return from;
}

// Hands the target to the string: a zero unit after the units, the new
// block's reference, the width. After a failure a new block is dropped and
// the string left as it was; its own block keeps what was written (the kept
// units) and GetLastError stays the conversion's.
bool finish(TextString* s, Target* t, bool converted) {
  DWORD error = converted ? 0 : GetLastError();
  if (!converted && t->fresh) {
    rt_free(t->block);
    SetLastError(error);
    return false;
  }
  uint8_t* end = endOf(t);
  end[0] = 0;
  if (t->width == kWide) end[1] = 0;
  if (t->fresh) {
    release(s);
    t->block->refCount = 1;
  }
  s->flags = reinterpret_cast<uintptr_t>(t->block) | (s->flags & kTerminatedView) | t->width;
  s->data = unitsOf(t->block);
  s->length = t->length;
  if (!converted) SetLastError(error);
  return converted;
}

}  // namespace

bool rebuild(TextString* s, const void* source, uint32_t count, uint32_t sourceWidth,
             uint32_t targetWidth, uint32_t mode) {
  if (targetWidth == kSourceWidth) targetWidth = sourceWidth;
  const uint32_t oldWidth = widthOf(s);
  const uint32_t kept = (mode & kKeep) ? s->length : 0;
  const uint64_t total = static_cast<uint64_t>(count) + kept;
  if (total == 0) {
    makeEmpty(s, targetWidth);
    return true;
  }

  Target t = {nullptr, true, targetWidth, 0};
  TextBlock* own = blockOf(s);
  bool reuse = own != nullptr && own->refCount <= 1 && !((mode & kKeep) && oldWidth != targetWidth);
  bool inside = reuse && holds(own, source);
  if (inside && sourceWidth != targetWidth) reuse = false;
  if (reuse) {
    source = reuseOwnBlock(s, &t, total, kept, source, inside);
  } else {
    t.block = newBlock(blockBytes(total, growSlack, targetWidth));
  }

  bool converted = convertPiece(&t, s->data, kept, oldWidth, count);
  if (converted && (mode & kReserve)) {
    reserveUnits(&t, count);
    t.length += count;
  } else if (converted && count != 0) {
    uint32_t before = t.length;
    converted = convertPiece(&t, source, (mode & kFill) ? 1 : count, sourceWidth, 0);
    if (converted && (mode & kFill)) fillPattern(&t, t.length - before, count);
  }
  return finish(s, &t, converted);
}

void* resize(TextString* s, uint32_t length, uint32_t capacityHint) {
  if (length < s->length) s->length = length;
  const uint32_t width = widthOf(s);
  const uint32_t wanted = capacityHint > length ? capacityHint : length;
  const uint32_t bytes = blockBytes(wanted, 0, width);
  TextBlock* block = blockOf(s);

  if (block != nullptr && block->refCount <= 1 && s->data == unitsOf(block)) {
    if (bytes > block->capacity) {
      block = growBlock(block, bytes);
      s->data = unitsOf(block);
      s->flags = reinterpret_cast<uintptr_t>(block) | (s->flags & kFlagBits);
    }
    s->length = length;
  } else if (s->length == 0) {
    release(s);
    block = newBlock(bytes);
    block->refCount = 1;
    s->data = unitsOf(block);
    s->flags = reinterpret_cast<uintptr_t>(block) | (s->flags & kFlagBits);
    s->length = length;
  } else {
    // Copies the units into a block of exactly the size asked for.
    uint32_t slack = growSlack;
    growSlack = wanted - length;
    rebuild(s, nullptr, length - s->length, width, kSourceWidth, kKeep | kReserve);
    growSlack = slack;
  }
  return s->data;
}

}  // namespace txmorph
