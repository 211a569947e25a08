// Which Windows code pages the locale stands for. Internal to platform/posix.
#ifndef PLATFORM_POSIX_LOCALE_H
#define PLATFORM_POSIX_LOCALE_H

#include "platform/posix/win32_api.h"

struct plat_locale_pages {
  UINT ansi;  // the ANSI code page (GetACP)
  UINT oem;   // the OEM code page (GetOEMCP)
  bool utf8;  // the locale's character set is UTF-8
};

// The pages for one locale value such as "de_DE.UTF-8" (null or empty: "C").
plat_locale_pages plat_pages_for_locale(const char* value);

// The locale value that decides: the first set and non-empty one of LC_ALL,
// LC_CTYPE and LANG, or null.
const char* plat_locale_value(void);

// The pages of this process: from LC_ALL, then LC_CTYPE, then LANG, read once.
const plat_locale_pages& plat_locale(void);

#endif
