// The message level, where messages go, and the console copies of file
// names that messages print.
#include "txmorph/text/conversion_state.h"
#include "txmorph/text/convert_units.h"
#include "txmorph/txmorph.h"

namespace txmorph {

int8_t quietLevel = 0;

namespace {

// The byte names show for characters the console lacks until a conversion
// to a code page sets its own.
constexpr char kNameReplacement = 0x5E;

// The name through one code page into the other, or false. `wide` has room
// for a unit per byte, `out` for two bytes per unit.
bool throughPages(const Messages* m, const TextString* name, uint16_t* wide, char* out,
                  uint32_t* made) {
  ConversionState state = {plat_file_name_cp(), 0, m->nameReplacement, 2};
  uint32_t units =
      convertUnitsWith(&state, name->data, name->length, kNarrow, wide, name->length, kWide);
  if (units == 0) return false;
  state.codePage = plat_console_text_cp();
  *made = convertUnitsWith(&state, wide, units, kWide, out, 2 * units, kNarrow);
  return *made != 0;
}

}  // namespace

void initMessages(Messages* m, rt_buffer* kept) {
  m->kept = kept;
  m->nameReplacement = kNameReplacement;
  m->namesAsTheyCame = false;
}

void say(Messages* m, const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (m->kept != nullptr) {
    rt_format(rt_sink_buffer, format, args, reinterpret_cast<uintptr_t>(m->kept));
  } else {
    rt_vprintf(format, args);
  }
  va_end(args);
}

// On Windows file names are ANSI and the console shows OEM; on POSIX both are
// the locale's encoding, so a name prints as it is spelled, byte for byte. A
// name the code pages refuse is shown as it is spelled too.
TextString displayName(const Messages* m, const TextString* name) {
  TextString shown;
  initCopy(&shown, name);
  if (name->length == 0 || m->namesAsTheyCame || plat_file_name_cp() == plat_console_text_cp()) {
    makeTerminated(&shown);
    return shown;
  }
  uint16_t* wide = static_cast<uint16_t*>(rt_xalloc(name->length * 2));
  char* out = static_cast<char*>(rt_xalloc(name->length * 4));
  uint32_t made = 0;
  if (throughPages(m, name, wide, out, &made)) {
    release(&shown);
    init(&shown);
    __builtin_memcpy(resize(&shown, made, 0), out, made);
  }
  rt_free(out);
  rt_free(wide);
  makeTerminated(&shown);
  return shown;
}

void printWithName(Messages* m, const char* format, const TextString* name) {
  TextString shown = displayName(m, name);
  say(m, format, static_cast<const char*>(shown.data));
  release(&shown);
}

namespace {

// A number of the format's width (32 or 64 bits), then the name.
template <typename Number>
void printNumberAndName(Messages* m, const char* format, Number number, const TextString* name) {
  TextString shown = displayName(m, name);
  say(m, format, number, static_cast<const char*>(shown.data));
  release(&shown);
}

}  // namespace

void printNumberWithName(Messages* m, const char* format, uint32_t number, const TextString* name) {
  printNumberAndName(m, format, number, name);
}

void printSizeWithName(Messages* m, const char* format, uint64_t size, const TextString* name) {
  printNumberAndName(m, format, size, name);
}

void printWithNames(Messages* m, const char* format, const TextString* first,
                    const TextString* second) {
  if (!showsWarnings()) return;
  TextString shownFirst = displayName(m, first);
  TextString shownSecond = displayName(m, second);
  say(m, format, static_cast<const char*>(shownFirst.data),
      static_cast<const char*>(shownSecond.data));
  release(&shownSecond);
  release(&shownFirst);
}

}  // namespace txmorph
