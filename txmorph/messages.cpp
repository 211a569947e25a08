// The message level and the console copies of file names that messages print.
#include "txmorph/conversion_state.h"
#include "txmorph/txmorph.h"

namespace txmorph {

int8_t quietLevel = 0;

// On Windows file names are ANSI and the console shows OEM; on POSIX both are
// the locale's encoding, so a name prints as it is spelled, byte for byte.
TextString displayName(const TextString* name) {
  TextString shown;
  initCopy(&shown, name);
  if (plat_file_name_cp() == plat_console_text_cp()) {
    makeTerminated(&shown);
    return shown;
  }
  uint32_t saved = conversionState.codePage;
  conversionState.codePage = plat_file_name_cp();
  bool converted = toWide(&shown);
  conversionState.codePage = plat_console_text_cp();
  converted = converted && toNarrow(&shown);
  conversionState.codePage = saved;
  // A name the code pages refuse is shown as it is spelled.
  if (!converted) assign(&shown, name);
  makeTerminated(&shown);
  return shown;
}

void printWithName(const char* format, const TextString* name) {
  TextString shown = displayName(name);
  rt_printf(format, static_cast<const char*>(shown.data));
  release(&shown);
}

namespace {

// A number of the format's width (32 or 64 bits), then the name.
template <typename Number>
void printNumberAndName(const char* format, Number number, const TextString* name) {
  TextString shown = displayName(name);
  rt_printf(format, number, static_cast<const char*>(shown.data));
  release(&shown);
}

}  // namespace

void printNumberWithName(const char* format, uint32_t number, const TextString* name) {
  printNumberAndName(format, number, name);
}

void printSizeWithName(const char* format, uint64_t size, const TextString* name) {
  printNumberAndName(format, size, name);
}

void printWithNames(const char* format, const TextString* first, const TextString* second) {
  if (!showsWarnings()) return;
  TextString shownFirst = displayName(first);
  TextString shownSecond = displayName(second);
  rt_printf(format, static_cast<const char*>(shownFirst.data),
            static_cast<const char*>(shownSecond.data));
  release(&shownSecond);
  release(&shownFirst);
}

}  // namespace txmorph
