// Helpers of the TextString tests: building strings and reading them back.
#ifndef TESTS_UNIT_TXMORPH_TEXT_STRING_SUPPORT_H
#define TESTS_UNIT_TXMORPH_TEXT_STRING_SUPPORT_H

#include <string>

#include "txmorph/text/text_string.h"

namespace txmorph {

// A narrow string with an unshared block of its own.
inline TextString ownedNarrow(const std::string& text) {
  TextString s;
  init(&s);
  rebuild(&s, text.data(), static_cast<uint32_t>(text.size()), kNarrow, kNarrow, 0);
  return s;
}

inline TextString ownedWide(const std::u16string& text) {
  TextString s;
  init(&s);
  rebuild(&s, text.data(), static_cast<uint32_t>(text.size()), kWide, kWide, 0);
  return s;
}

inline std::string narrowText(const TextString& s) {
  return std::string(static_cast<const char*>(s.data), s.length << widthOf(&s));
}

inline std::u16string wideText(const TextString& s) {
  return std::u16string(static_cast<const char16_t*>(s.data), s.length);
}

inline uint32_t capacityOf(const TextString& s) { return blockOf(&s)->capacity; }
inline uint32_t refsOf(const TextString& s) { return blockOf(&s)->refCount; }

// Bytes from the block's start to the units.
constexpr uint32_t kHeader = 8;

}  // namespace txmorph

#endif
