// UTF-8 straight to a single-byte code page, for the stretches where that
// needs no decoding: ASCII, and characters of two bytes that the page holds
// as themselves. Everything else is left to the decoder and the output stage.
#ifndef TXMORPH_UTF8_TO_PAGE_H
#define TXMORPH_UTF8_TO_PAGE_H

#include <stdint.h>

namespace txmorph {

struct PageInfo;

// What a page makes of the characters U+0080 to U+07FF: the byte, or 0 where
// it does not hold the character as itself (no byte comes back as it, or only
// by best fit). Ready when the page is single-byte and keeps ASCII as it is.
struct Utf8ToPage {
  bool tried;
  bool ready;
  uint8_t bytes[0x800 - 0x80];
};

// Asks the page once for every character of the table.
void makeUtf8ToPage(Utf8ToPage* table, const PageInfo* page);

// From `bytes` (a character's start), as far as every character is ASCII or
// two bytes of a character in the table: its bytes at `out`, one a character,
// which has room for `count` (up to 15 past the bytes made are scratch).
// Returns the bytes made, the bytes taken in *taken.
uint32_t utf8ToPage(const Utf8ToPage* table, const uint8_t* bytes, uint32_t count, uint8_t* out,
                    uint32_t* taken);

}  // namespace txmorph

#endif
