// The FATAL lines of a failure with a system error code: what failed, the
// file, and the system's own text for the code, as timecarry's reports end:
//   FATAL! (5) cannot load "dd" -- Access is denied.
// On POSIX the text is the platform layer's: the system's own for the errno
// where the code's Windows text would tell something else ("Is a directory").
#include "txmorph/output/disk_write.h"

namespace txmorph {

namespace {

bool isLineSpace(char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

// The system's text for the code on one line: its line breaks as spaces, no
// line end. Null when the system has none; the caller frees it (LocalFree).
char* systemText(uint32_t code) {
  char* text = nullptr;
  DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  DWORD length =
      FormatMessageA(flags, nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return nullptr;
  while (length > 0 && isLineSpace(text[length - 1])) length--;
  text[length] = 0;
  for (DWORD i = 0; i < length; i++) {
    if (text[i] == '\r' || text[i] == '\n') text[i] = ' ';
  }
  if (length == 0) {
    LocalFree(text);
    return nullptr;
  }
  return text;
}

// " -- " and the system's text for the code, when it has one; the line end.
void endWithSystemText(Messages* m, uint32_t code) {
  char* text = code != 0 ? systemText(code) : nullptr;
  if (text != nullptr) {
    say(m, " -- %s", text);
    LocalFree(text);
  }
  say(m, "\n");
}

}  // namespace

void reportFailure(Messages* m, const char* format, uint32_t code, const TextString* name) {
  if (!showsWarnings()) return;
  printNumberWithName(m, format, code, name);
  endWithSystemText(m, code);
}

int32_t cannotCreate(Messages* m, const TextString* name, uint32_t code) {
  reportFailure(m, "FATAL! (%u) cannot create \"%s\"", code, name);
  return ExitCannotCreate;
}

int32_t cannotLoad(Messages* m, const TextString* name) {
  reportFailure(m, "FATAL! (%u) cannot load \"%s\"", GetLastError(), name);
  return ExitCannotLoad;
}

// The platform refused to convert the text.
int32_t cannotConvert(Messages* m, const TextString* name) {
  reportFailure(m, "FATAL! (%u) cannot convert \"%s\"", GetLastError(), name);
  return ExitOutOfMemory;
}

void reportWriteError(Messages* m, int64_t written, uint64_t size, uint32_t code,
                      const TextString* name) {
  if (!showsWarnings()) return;
  TextString shown = displayName(m, name);
  say(m, "  FATAL! (%u) write error, only %ld of %ld bytes to \"%s\"", code, written, size,
      static_cast<const char*>(shown.data));
  release(&shown);
  endWithSystemText(m, code);
}

}  // namespace txmorph
