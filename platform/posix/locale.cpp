// The system code pages on POSIX come from the locale, with Windows' own
// pairing of ANSI and OEM code pages per language.
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "platform/platform.h"
#include "platform/posix/locale.h"

namespace {

struct LanguagePages {
  const char* language;  // ISO 639 code as it stands in a locale name
  UINT ansi;
  UINT oem;
};

const LanguagePages kLanguages[] = {
    // Western European
    {"af", 1252, 850}, {"br", 1252, 850}, {"ca", 1252, 850}, {"da", 1252, 850},
    {"de", 1252, 850}, {"es", 1252, 850}, {"eu", 1252, 850}, {"fi", 1252, 850},
    {"fo", 1252, 850}, {"fr", 1252, 850}, {"fy", 1252, 850}, {"ga", 1252, 850},
    {"gl", 1252, 850}, {"id", 1252, 850}, {"is", 1252, 850}, {"it", 1252, 850},
    {"lb", 1252, 850}, {"ms", 1252, 850}, {"nb", 1252, 850}, {"nl", 1252, 850},
    {"nn", 1252, 850}, {"no", 1252, 850}, {"oc", 1252, 850}, {"pt", 1252, 850},
    {"rm", 1252, 850}, {"sv", 1252, 850},
    // Central European
    {"bs", 1250, 852}, {"cs", 1250, 852}, {"hr", 1250, 852}, {"hu", 1250, 852},
    {"pl", 1250, 852}, {"ro", 1250, 852}, {"sk", 1250, 852}, {"sl", 1250, 852},
    {"sq", 1250, 852},
    // Cyrillic
    {"be", 1251, 866}, {"bg", 1251, 866}, {"kk", 1251, 866}, {"ky", 1251, 866},
    {"mk", 1251, 866}, {"mn", 1251, 866}, {"ru", 1251, 866}, {"sr", 1251, 866},
    {"tg", 1251, 866}, {"tt", 1251, 866}, {"uk", 1251, 866},
    // Greek, Turkish, Hebrew, Arabic, Baltic, Vietnamese, Thai
    {"el", 1253, 737}, {"tr", 1254, 857}, {"az", 1254, 857}, {"he", 1255, 862},
    {"iw", 1255, 862}, {"yi", 1255, 862}, {"ar", 1256, 720}, {"fa", 1256, 720},
    {"ur", 1256, 720}, {"et", 1257, 775}, {"lt", 1257, 775}, {"lv", 1257, 775},
    {"vi", 1258, 1258}, {"th", 874, 874},
    // East Asian (double-byte)
    {"ja", 932, 932}, {"ko", 949, 949},
};

bool same_word(const char* a, size_t length, const char* b) {
  return strlen(b) == length && strncasecmp(a, b, length) == 0;
}

}  // namespace

plat_locale_pages plat_pages_for_locale(const char* value) {
  plat_locale_pages pages{1252, 437, false};
  if (value == nullptr || *value == 0) return pages;

  // language[_territory][.codeset][@modifier]
  size_t language = strcspn(value, "_.@");
  const char* territory = value[language] == '_' ? value + language + 1 : nullptr;
  size_t territory_length = territory ? strcspn(territory, ".@") : 0;
  const char* dot = strchr(value, '.');
  const char* at = strchr(value, '@');
  if (dot != nullptr && (at == nullptr || dot < at)) {
    const char* codeset = dot + 1;
    size_t length = at ? static_cast<size_t>(at - codeset) : strlen(codeset);
    pages.utf8 = same_word(codeset, length, "UTF-8") || same_word(codeset, length, "utf8");
  }

  if (same_word(value, language, "zh")) {
    bool traditional = territory && (same_word(territory, territory_length, "TW") ||
                                     same_word(territory, territory_length, "HK") ||
                                     same_word(territory, territory_length, "MO"));
    pages.ansi = pages.oem = traditional ? 950 : 936;
    return pages;
  }
  if (same_word(value, language, "sr") && at != nullptr && strcasecmp(at, "@latin") == 0) {
    pages.ansi = 1250;
    pages.oem = 852;
    return pages;
  }
  for (const LanguagePages& entry : kLanguages) {
    if (same_word(value, language, entry.language)) {
      pages.ansi = entry.ansi;
      pages.oem = entry.oem;
      break;
    }
  }
  return pages;
}

const plat_locale_pages& plat_locale(void) {
  static bool known;
  static plat_locale_pages pages;
  if (!known) {
    const char* value = nullptr;
    static const char* const kVariables[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    for (const char* name : kVariables) {
      value = getenv(name);
      if (value != nullptr && *value != 0) break;
    }
    pages = plat_pages_for_locale(value);
    known = true;
  }
  return pages;
}

UINT GetACP(void) { return plat_locale().ansi; }

UINT GetOEMCP(void) { return plat_locale().oem; }

// A UTF-8 terminal shows UTF-8; any other is taken to show the OEM code page,
// as a Windows console does.
UINT GetConsoleCP(void) { return plat_locale().utf8 ? CP_UTF8 : plat_locale().oem; }

UINT plat_file_name_cp(void) { return plat_locale().utf8 ? CP_UTF8 : CP_ACP; }

UINT plat_console_text_cp(void) { return plat_locale().utf8 ? CP_UTF8 : CP_OEMCP; }
