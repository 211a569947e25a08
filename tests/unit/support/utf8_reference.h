// The UTF-8 check as stated, a byte at a time, for the unit tests and the fuzz
// target to hold the fast check against; and the check fed in three pieces.
#ifndef TESTS_UNIT_SUPPORT_UTF8_REFERENCE_H
#define TESTS_UNIT_SUPPORT_UTF8_REFERENCE_H

#include <stdint.h>

#include "txmorph/txmorph.h"

namespace txmorph {

// The 1-based position of the first offending byte (a NUL is one), the
// count for a sequence the end cuts short, 0 when all is well-formed.
inline uint32_t referenceInvalid(const uint8_t* bytes, uint32_t count) {
  uint32_t at = 0;
  while (at < count) {
    uint8_t lead = bytes[at++];
    int follow;
    if (lead >= 0x01 && lead <= 0x7F) {
      follow = 0;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      follow = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      follow = 2;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      follow = 3;
    } else {
      return at;
    }
    for (; follow > 0; follow--) {
      if (at == count) return count;
      if ((bytes[at++] & 0xC0) != 0x80) return at;
    }
  }
  return 0;
}

// The piece-wise check of `count` bytes cut at `first` and `second`.
inline Utf8Check checkInThreePieces(const uint8_t* bytes, uint32_t count, uint32_t first,
                                    uint32_t second) {
  Utf8Check check;
  startUtf8Check(&check);
  checkUtf8Piece(&check, bytes, first);
  checkUtf8Piece(&check, bytes + first, second - first);
  checkUtf8Piece(&check, bytes + second, count - second);
  endUtf8Check(&check);
  return check;
}

}  // namespace txmorph

#endif
