// The console input and the overwrite prompt. The console is opened once at
// start-up and set to window input only: keys arrive one at a time, unechoed,
// control keys as plain bytes (Ctrl+C is 0x03, Escape 0x1B).
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

constexpr uint8_t kEscape = 0x1B;

}  // namespace

HANDLE consoleInput = INVALID_HANDLE_VALUE;

void openConsoleInput(void) {
  consoleInput =
      CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  SetConsoleMode(consoleInput, ENABLE_WINDOW_INPUT);
}

bool readConsoleKey(uint8_t* key) {
  DWORD read = 0;
  if (consoleInput == INVALID_HANDLE_VALUE) return false;
  return ReadConsoleA(consoleInput, key, 1, &read, nullptr) && read == 1;
}

// Other keys are ignored without a word. With no console to ask, or one that
// cannot be read, the answer is no: the file stays as it is.
bool askOverwrite(const TextString* outputName) {
  printWithName("  Write to \"%s\" [Y/N]? ", outputName);
  uint8_t key;
  while (readConsoleKey(&key)) {
    if (key == 'Y' || key == 'y') {
      rt_printf("Yes\n");
      return true;
    }
    if (key == 'N' || key == 'n' || key == kEscape) break;
  }
  rt_printf("No\n");
  return false;
}

}  // namespace txmorph
