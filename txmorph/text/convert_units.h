// The unit converter: every move of text units between buffers, and every
// conversion between code-page bytes and UTF-16 units, with the settings of
// conversionState or of a conversion's own.
#ifndef TXMORPH_CONVERT_UNITS_H
#define TXMORPH_CONVERT_UNITS_H

#include <stdint.h>

namespace txmorph {

// The width of a unit: bytes of a code page, or 16-bit UTF-16LE code units.
// The byte size of n units is n shifted left by the width.
constexpr uint32_t kNarrow = 0;
constexpr uint32_t kWide = 1;

// Converts `count` units of `sourceWidth` at `source` to `destWidth` units at
// `dest`, which has room for `count` of them; returns the number written.
//  - Same widths: a move (the ranges may overlap); returns `count`.
//  - Bytes to units: MultiByteToWideChar with conversionState.codePage, no
//    flags (malformed input is decoded, never refused).
//  - Units to bytes: WideCharToMultiByte with codePage, wcFlags and
//    replacementByte as the default character; when usedReplacement is 1 or
//    less, it is set to whether that character was used.
// Returns 0 when the platform conversion fails (GetLastError tells why:
// ERROR_INSUFFICIENT_BUFFER when the result does not fit, which happens for
// narrow results of double-byte code pages).
uint32_t convertUnits(const void* source, uint32_t count, uint32_t sourceWidth, void* dest,
                      uint32_t destWidth);

// The same with the room at `dest` given in destination units. With no
// destination and a room of 0 it converts nothing and returns the number of
// units the result needs.
uint32_t convertUnitsInto(const void* source, uint32_t count, uint32_t sourceWidth, void* dest,
                          uint32_t room, uint32_t destWidth);

// The same with the settings of `state` instead of conversionState's, for a
// conversion that keeps its own (several run at once on their threads).
struct ConversionState;
uint32_t convertUnitsWith(ConversionState* state, const void* source, uint32_t count,
                          uint32_t sourceWidth, void* dest, uint32_t room, uint32_t destWidth);

// The number of a code page: CP_ACP and CP_OEMCP stand for the system's.
uint32_t codePageNumber(uint32_t codePage);

}  // namespace txmorph

#endif
