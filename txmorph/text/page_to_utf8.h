// A single-byte code page's text straight to UTF-8: ASCII as it is, every
// other byte by a table of what it decodes to, encoded.
#ifndef TXMORPH_PAGE_TO_UTF8_H
#define TXMORPH_PAGE_TO_UTF8_H

#include <stdint.h>

namespace txmorph {

struct PageInfo;

// The UTF-8 of what each byte from 0x80 decodes to, and its length. Ready
// when the page is single-byte, keeps ASCII as it is and decodes every byte
// to one character.
struct PageToUtf8 {
  bool tried;
  bool ready;
  uint8_t length[0x80];
  uint8_t utf8[0x80][4];
  // A bit for each byte from 0x80 that decodes to the character of its own
  // number (U+0080 to U+00FF), eight bytes a table byte; whether any does.
  uint8_t own[16];
  bool anyOwn;
};

// Asks the page once for every byte.
void makePageToUtf8(PageToUtf8* table, const PageInfo* page);

// The UTF-8 of `count` bytes at `out`, which has room for three bytes of
// each (up to 15 past the bytes made are scratch). Returns the bytes made.
uint32_t pageToUtf8(const PageToUtf8* table, const uint8_t* bytes, uint32_t count, uint8_t* out);

}  // namespace txmorph

#endif
