// GetCPInfoExA: what a caller needs to know of a page to walk its bytes by
// character: the longest character, the lead bytes as ranges (two zero bytes
// end them), the default character both ways. UTF-8 takes up to four bytes,
// has no lead-byte ranges and puts U+FFFD for what it cannot decode.
// IsValidCodePage: the pages there are tables for, and UTF-8.
#include <stdio.h>
#include <string.h>

#include "platform/code_pages/code_page.h"

namespace {

// The lead bytes of the mask as ranges first, last, ...; at most five fit.
void lead_ranges(const plat_code_page* page, BYTE ranges[MAX_LEADBYTES]) {
  memset(ranges, 0, MAX_LEADBYTES);
  size_t at = 0;
  for (uint32_t byte = 0; byte < 256 && at + 2 < MAX_LEADBYTES; byte++) {
    if (!plat_cp_is_lead(page, static_cast<uint8_t>(byte))) continue;
    uint32_t last = byte;
    while (last + 1 < 256 && plat_cp_is_lead(page, static_cast<uint8_t>(last + 1))) last++;
    ranges[at++] = static_cast<BYTE>(byte);
    ranges[at++] = static_cast<BYTE>(last);
    byte = last;
  }
}

}  // namespace

BOOL GetCPInfoExA(UINT code_page, DWORD flags, LPCPINFOEXA info) {
  if (info == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (flags != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return FALSE;
  }
  UINT number = plat_cp_number(code_page);
  memset(info, 0, sizeof *info);
  info->CodePage = number;
  snprintf(info->CodePageName, sizeof info->CodePageName, "%u", number);
  if (number == CP_UTF8) {
    info->MaxCharSize = 4;
    info->DefaultChar[0] = '?';
    info->UnicodeDefaultChar = 0xFFFD;
    return TRUE;
  }
  const plat_code_page* page = plat_cp_find(number);
  if (page == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  info->MaxCharSize = page->double_byte ? 2 : 1;
  uint16_t code = page->default_code;
  info->DefaultChar[0] = static_cast<BYTE>(code > 0xFF ? code >> 8 : code);
  info->DefaultChar[1] = static_cast<BYTE>(code > 0xFF ? code & 0xFF : 0);
  info->UnicodeDefaultChar = page->default_unit;
  if (page->double_byte) lead_ranges(page, info->LeadByte);
  return TRUE;
}

BOOL IsValidCodePage(UINT code_page) {
  return code_page == CP_UTF8 || plat_cp_find(code_page) != nullptr;
}
