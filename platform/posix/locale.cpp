// The system code pages on POSIX come from the locale, with Windows' own
// pairing of ANSI and OEM code pages per language.
#include "platform/posix/locale.h"

#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "platform/platform.h"

namespace {

struct LanguagePages {
  const char* language;  // ISO 639 code as it stands in a locale name
  UINT ansi;
  UINT oem;
};

const LanguagePages kLanguages[] = {
    // Western European
    {"af", 1252, 850},
    {"br", 1252, 850},
    {"ca", 1252, 850},
    {"cy", 1252, 850},
    {"da", 1252, 850},
    {"de", 1252, 850},
    {"es", 1252, 850},
    {"eu", 1252, 850},
    {"fi", 1252, 850},
    {"fo", 1252, 850},
    {"fr", 1252, 850},
    {"fy", 1252, 850},
    {"ga", 1252, 850},
    {"gd", 1252, 850},
    {"gl", 1252, 850},
    {"id", 1252, 850},
    {"is", 1252, 850},
    {"it", 1252, 850},
    {"jv", 1252, 850},
    {"kl", 1252, 850},
    {"lb", 1252, 850},
    {"ms", 1252, 850},
    {"nb", 1252, 850},
    {"nl", 1252, 850},
    {"nn", 1252, 850},
    {"no", 1252, 850},
    {"oc", 1252, 850},
    {"pt", 1252, 850},
    {"rm", 1252, 850},
    {"se", 1252, 850},
    {"sv", 1252, 850},
    {"tn", 1252, 850},
    {"wa", 1252, 850},
    {"xh", 1252, 850},
    {"zu", 1252, 850},
    {"hsb", 1252, 850},
    {"dsb", 1252, 850},
    // Central European
    {"bs", 1250, 852},
    {"cs", 1250, 852},
    {"hr", 1250, 852},
    {"hu", 1250, 852},
    {"pl", 1250, 852},
    {"ro", 1250, 852},
    {"sk", 1250, 852},
    {"sl", 1250, 852},
    {"sq", 1250, 852},
    {"tk", 1250, 852},
    // Cyrillic
    {"ba", 1251, 866},
    {"be", 1251, 866},
    {"bg", 1251, 866},
    {"kk", 1251, 866},
    {"ky", 1251, 866},
    {"mk", 1251, 866},
    {"mn", 1251, 866},
    {"ru", 1251, 866},
    {"sr", 1251, 855},
    {"tg", 1251, 866},
    {"tt", 1251, 866},
    {"uk", 1251, 866},
    {"sah", 1251, 866},
    // Greek, Turkish, Hebrew, Arabic, Baltic, Vietnamese, Thai
    {"el", 1253, 737},
    {"tr", 1254, 857},
    {"az", 1254, 857},
    {"uz", 1254, 857},
    {"he", 1255, 862},
    {"iw", 1255, 862},
    {"yi", 1255, 862},
    {"ar", 1256, 720},
    {"fa", 1256, 720},
    {"ug", 1256, 720},
    {"ur", 1256, 720},
    {"et", 1257, 775},
    {"lt", 1257, 775},
    {"lv", 1257, 775},
    {"vi", 1258, 1258},
    {"th", 874, 874},
    // East Asian (double-byte)
    {"ja", 932, 932},
    {"ko", 949, 949},
    {"zh", 936, 936},
};

// Where a territory or a script modifier changes the pages of its language.
struct VariantPages {
  const char* language;
  const char* territory;  // null: any
  const char* modifier;   // null: any
  UINT ansi;
  UINT oem;
};

const VariantPages kVariants[] = {
    {"zh", "TW", nullptr, 950, 950},        {"zh", "HK", nullptr, 950, 950},
    {"zh", "MO", nullptr, 950, 950},        {"sr", nullptr, "latin", 1250, 852},
    {"uz", nullptr, "cyrillic", 1251, 866}, {"en", "GB", nullptr, 1252, 850},
    {"en", "AU", nullptr, 1252, 850},       {"en", "CA", nullptr, 1252, 850},
    {"en", "IE", nullptr, 1252, 850},       {"en", "NZ", nullptr, 1252, 850},
    {"en", "HK", nullptr, 1252, 850},       {"en", "JM", nullptr, 1252, 850},
    {"en", "BZ", nullptr, 1252, 850},       {"en", "TT", nullptr, 1252, 850},
};

bool same_word(const char* a, size_t length, const char* b) {
  return strlen(b) == length && strncasecmp(a, b, length) == 0;
}

// A part of a locale name: its start and length (length 0: absent).
struct Part {
  const char* at;
  size_t length;
};

bool part_is(Part part, const char* word) {
  return word == nullptr || (part.length > 0 && same_word(part.at, part.length, word));
}

}  // namespace

plat_locale_pages plat_pages_for_locale(const char* value) {
  plat_locale_pages pages{1252, 437, false};
  if (value == nullptr || *value == 0) return pages;

  // language[_territory][.codeset][@modifier]
  Part language{value, strcspn(value, "_.@")};
  Part territory{nullptr, 0};
  Part codeset{nullptr, 0};
  Part modifier{nullptr, 0};
  const char* at = value + language.length;
  if (*at == '_') {
    territory = {at + 1, strcspn(at + 1, ".@")};
    at = territory.at + territory.length;
  }
  if (*at == '.') {
    codeset = {at + 1, strcspn(at + 1, "@")};
    at = codeset.at + codeset.length;
  }
  if (*at == '@') modifier = {at + 1, strlen(at + 1)};
  pages.utf8 = part_is(codeset, "UTF-8") || part_is(codeset, "utf8");

  for (const VariantPages& entry : kVariants) {
    if (part_is(language, entry.language) && part_is(territory, entry.territory) &&
        part_is(modifier, entry.modifier)) {
      pages.ansi = entry.ansi;
      pages.oem = entry.oem;
      return pages;
    }
  }
  for (const LanguagePages& entry : kLanguages) {
    if (part_is(language, entry.language)) {
      pages.ansi = entry.ansi;
      pages.oem = entry.oem;
      break;
    }
  }
  return pages;
}

const char* plat_locale_value(void) {
  static const char* const kVariables[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  for (const char* name : kVariables) {
    const char* value = getenv(name);
    if (value != nullptr && *value != 0) return value;
  }
  return nullptr;
}

namespace {

plat_locale_pages process_pages;
pthread_once_t pages_known = PTHREAD_ONCE_INIT;

void read_pages(void) { process_pages = plat_pages_for_locale(plat_locale_value()); }

}  // namespace

// Read once, by whichever thread asks first.
const plat_locale_pages& plat_locale(void) {
  pthread_once(&pages_known, read_pages);
  return process_pages;
}

UINT GetACP(void) { return plat_locale().ansi; }

UINT GetOEMCP(void) { return plat_locale().oem; }

// A file name is bytes, and what lists names (ls, find, a saved list) writes
// those bytes; a terminal shows them in the locale's encoding. So the console
// shows the code page of file names: UTF-8 in a UTF-8 locale, the ANSI code
// page otherwise, never the OEM one (which stays the locale's pairing).
UINT GetConsoleCP(void) { return plat_locale().utf8 ? CP_UTF8 : plat_locale().ansi; }

UINT plat_file_name_cp(void) { return plat_locale().utf8 ? CP_UTF8 : CP_ACP; }

UINT plat_console_text_cp(void) { return plat_file_name_cp(); }
