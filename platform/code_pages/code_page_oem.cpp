// CharToOemA: a NUL-terminated string from the ANSI code page to the OEM
// code page, character by character through UTF-16, best fit included.
// Source and destination may be the same buffer: no character grows (one
// that would is written as the OEM default character), so a byte is always
// read before it is overwritten. Where the two are one page (a language that
// has one page for both), the string is copied as it is: a name prints as its
// bytes, and a character with two codes in the page keeps its own.
#include <string.h>

#include "platform/code_pages/code_page.h"

BOOL CharToOemA(LPCSTR source, LPSTR dest) {
  if (source == nullptr || dest == nullptr) return FALSE;
  if (GetACP() == GetOEMCP()) {
    if (dest != source) memmove(dest, source, strlen(source) + 1);
    return TRUE;
  }
  const plat_code_page* ansi = plat_cp_find(GetACP());
  const plat_code_page* oem = plat_cp_find(GetOEMCP());
  if (ansi == nullptr || oem == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const uint8_t* in = reinterpret_cast<const uint8_t*>(source);
  uint8_t* out = reinterpret_cast<uint8_t*>(dest);
  plat_cp_default fallback{{static_cast<uint8_t>(oem->default_code), 0}, 1};
  for (size_t i = 0, o = 0;;) {
    uint8_t byte = in[i];
    size_t length = ansi->double_byte && plat_cp_is_lead(ansi, byte) && in[i + 1] != 0 ? 2 : 1;
    WCHAR unit;
    plat_cp_decode(ansi, 0, in + i, length, &unit, 1);
    uint8_t bytes[2];
    plat_cp_result encoded = plat_cp_encode(oem, true, fallback, &unit, 1, bytes, 2, nullptr);
    if (encoded.no_memory) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return FALSE;
    }
    if (encoded.count > length) {
      bytes[0] = fallback.bytes[0];
      encoded.count = 1;
    }
    for (size_t k = 0; k < encoded.count; k++) out[o++] = bytes[k];
    i += length;
    if (byte == 0) return TRUE;
  }
}
