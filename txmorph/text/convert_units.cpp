// Moves are the compiler's memmove; conversions are the platform's, so that
// no work is done here per unit.
#include "txmorph/text/convert_units.h"

#include "platform/platform.h"
#include "txmorph/text/conversion_state.h"

namespace txmorph {

namespace {

constexpr uint32_t kPlatformLimit = 0x7FFFFFFF;  // counts are ints at the platform

uint32_t toWideUnits(const ConversionState& state, const void* source, int count, void* dest,
                     int room) {
  int written = MultiByteToWideChar(state.codePage, 0, static_cast<LPCSTR>(source), count,
                                    static_cast<LPWSTR>(dest), room);
  return static_cast<uint32_t>(written);
}

// Whether the page is UTF-8, the system's pages included (Windows can run
// with UTF-8 as its ANSI and OEM code page).
bool isUtf8(uint32_t codePage) { return codePageNumber(codePage) == CP_UTF8; }

uint32_t toNarrowUnits(ConversionState& state, const void* source, int count, void* dest,
                       int room) {
  // The default character is passed as a string of its own: a double-byte
  // page reads the byte after it.
  const char defaultChar[2] = {state.replacementByte, 0};
  LPCSTR useDefault = defaultChar;
  LPBOOL usedDefault = state.usedReplacement <= 1 ? &state.usedReplacement : nullptr;
  DWORD flags = state.wcFlags;
  if (isUtf8(state.codePage)) {
    // UTF-8 represents every unit: the platform refuses a default character
    // for it, and none can be used; it takes no flags of best fit either.
    useDefault = nullptr;
    if (usedDefault != nullptr) *usedDefault = 0;
    usedDefault = nullptr;
    flags = 0;
  }
  int written = WideCharToMultiByte(state.codePage, flags, static_cast<LPCWSTR>(source), count,
                                    static_cast<LPSTR>(dest), room, useDefault, usedDefault);
  return static_cast<uint32_t>(written);
}

}  // namespace

uint32_t codePageNumber(uint32_t codePage) {
  if (codePage == CP_ACP) return GetACP();
  if (codePage == CP_OEMCP) return GetOEMCP();
  return codePage;
}

uint32_t convertUnitsWith(ConversionState* state, const void* source, uint32_t count,
                          uint32_t sourceWidth, void* dest, uint32_t room, uint32_t destWidth) {
  if (sourceWidth == destWidth) {
    if (dest != nullptr && dest != source) {
      __builtin_memmove(dest, source, static_cast<size_t>(count) << sourceWidth);
    }
    return count;
  }
  if (count == 0) {
    if (destWidth == kNarrow && state->usedReplacement <= 1) state->usedReplacement = 0;
    return 0;
  }
  if (count > kPlatformLimit) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int limit = static_cast<int>(room > kPlatformLimit ? kPlatformLimit : room);
  if (destWidth == kWide) return toWideUnits(*state, source, static_cast<int>(count), dest, limit);
  return toNarrowUnits(*state, source, static_cast<int>(count), dest, limit);
}

uint32_t convertUnitsInto(const void* source, uint32_t count, uint32_t sourceWidth, void* dest,
                          uint32_t room, uint32_t destWidth) {
  return convertUnitsWith(&conversionState, source, count, sourceWidth, dest, room, destWidth);
}

uint32_t convertUnits(const void* source, uint32_t count, uint32_t sourceWidth, void* dest,
                      uint32_t destWidth) {
  return convertUnitsInto(source, count, sourceWidth, dest, count, destWidth);
}

}  // namespace txmorph
