// TextString: txmorph's one string type. A counted string of bytes (narrow)
// or 16-bit UTF-16 code units (wide), held in a heap block that strings share
// by reference count, or viewing a zero-terminated byte string it does not own.
//
// Sharing: `assign` and `initCopy` share the block; an operation that changes
// the units first takes a block of its own when the block is shared (or when
// the string is a view). Removing units from the front moves `data` and copies
// nothing. Every `rebuild` leaves a zero unit after the last unit, inside the
// block; `resize` and the operations that only move `data` or `length` do not.
//
// Changing the width converts through convertUnits and conversionState.
#ifndef TXMORPH_TEXT_STRING_H
#define TXMORPH_TEXT_STRING_H

#include <stdint.h>

#include "txmorph/text/convert_units.h"

namespace txmorph {

// The heap block of one or more strings; the units follow the header.
struct TextBlock {
  uint32_t capacity;  // bytes of the whole block, header included
  uint32_t refCount;  // strings that use the block; freed when it drops to 0
};

struct TextString {
  uint32_t length;  // units, not bytes
  // The first unit: inside the block (not necessarily at its start), at a
  // zero-terminated string the string does not own, or at the static empty
  // string. Units of a string without a block must not be written.
  void* data;
  // The block's address (0: none) with kWideUnits and kTerminatedView in the
  // two low bits.
  uintptr_t flags;
};

constexpr uintptr_t kWideUnits = 1;       // 16-bit units (else bytes)
constexpr uintptr_t kTerminatedView = 2;  // no block, and a zero unit follows `data`
constexpr uintptr_t kFlagBits = 3;

// Modes of `rebuild`.
constexpr uint32_t kKeep = 1;     // the present units stay in front
constexpr uint32_t kFill = 2;     // `count` copies of the first source unit
constexpr uint32_t kReserve = 4;  // `count` more units, counted, left unwritten

// Target width for `rebuild`: the width of the source.
constexpr uint32_t kSourceWidth = 0xFF;

// Units of slack (in the new width) that `rebuild` gives a block it allocates
// or enlarges. Initially 16.
extern uint32_t growSlack;

inline uint32_t widthOf(const TextString* s) {
  return static_cast<uint32_t>(s->flags & kWideUnits);
}
inline TextBlock* blockOf(const TextString* s) {
  return reinterpret_cast<TextBlock*>(s->flags & ~kFlagBits);
}
// What the units take in memory, and what a write of the text writes.
inline uint32_t byteSize(const TextString* s) { return s->length << widthOf(s); }

// An empty narrow string: a terminated view of the static empty string.
void init(TextString* s);
// Drops the string's reference to its block (freed at 0). The fields are left
// for the caller to overwrite.
void release(TextString* s);
// A narrow view of `text`, not copied: it must outlive the string.
void initFromCString(TextString* s, const char* text);
void assignCString(TextString* s, const char* text);
// Shares the source's block (assigning a string to itself is safe).
TextString* assign(TextString* target, const TextString* source);
// `target` is uninitialised storage (it must not be `source`).
TextString* initCopy(TextString* target, const TextString* source);
// Releases the string and leaves an empty terminated view of the given width.
void makeEmpty(TextString* s, uint32_t width);

// The unit at `index`, zero-extended; -1 when the index is not below `length`.
int32_t unitAt(const TextString* s, uint32_t index);
// Whether a zero unit follows the last unit (inside the block when there is one).
bool isTerminated(const TextString* s);

// Copies the units into an unshared block of the string's own, terminated (an
// unshared block is reused in place). An empty string stays an empty view.
void ownCopy(TextString* s);
void makeOwn(TextString* s);         // ownCopy when the string has no block
void makeTerminated(TextString* s);  // ownCopy unless isTerminated
// A copy that can be passed where a zero-terminated string is needed; the
// source is left untouched. `target` is uninitialised storage.
TextString* terminatedCopy(TextString* target, const TextString* source);

// Appends the source's units in the wider of the two widths (a narrow side is
// converted to wide with codePage). Appending a string to itself is safe.
// A failed conversion (see rebuild) leaves the target unchanged.
TextString* append(TextString* target, const TextString* source);
// `target` is uninitialised storage and must be neither source.
TextString* initConcat(TextString* target, const TextString* first, const TextString* second);
// A wide string of `count` copies of `unit`. `target` is uninitialised storage.
TextString* initRepeat(TextString* target, uint16_t unit, uint32_t count);

// Removes `count` units from `index` on; a negative index counts from the end
// (and stops at 0). Returns the number removed. From the front only `data`
// moves; a cut tail writes no terminator.
uint32_t erase(TextString* s, int32_t index, uint32_t count);

// Takes the units for the other width without touching them: to wide the
// length is halved (an odd byte dropped), to narrow doubled.
void reinterpretWidth(TextString* s, uint32_t width);

// Sets the length to `length`, with room for at least `capacityHint` units
// (no slack). Units beyond the old length are not initialised and no
// terminator is written when the string's own block is reused or it was
// empty. Returns `data`.
void* resize(TextString* s, uint32_t length, uint32_t capacityHint);

// Rebuilds the string from `count` units of `sourceWidth` at `source`, in
// `targetWidth` (kSourceWidth: the source's), with the mode bits kKeep, kFill
// and kReserve. The string's block is reused when it is unshared, the widths
// allow it (a source inside it in the other width, or kept units changing
// width, take a new block) and it is large enough or can be enlarged; blocks
// allocated or enlarged get growSlack units to spare. A zero unit follows the
// result.
//
// A narrow result that does not fit one byte per unit (a double-byte code
// page) is converted again into a block of the size the conversion asks for.
// Any other failed conversion returns false with GetLastError set; the string
// then holds its units as before, except when its own block was being
// refilled without kKeep, in which case it is left empty.
bool rebuild(TextString* s, const void* source, uint32_t count, uint32_t sourceWidth,
             uint32_t targetWidth, uint32_t mode);

// Convert the string in place to wide (codePage) or to narrow (codePage,
// wcFlags, replacementByte, usedReplacement); nothing happens when it has the
// width already. False when the platform conversion failed: the string is
// unchanged and GetLastError tells why.
[[nodiscard]] bool toWide(TextString* s);
[[nodiscard]] bool toNarrow(TextString* s);

}  // namespace txmorph

#endif
