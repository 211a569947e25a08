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

ConsoleKey readConsoleKey(uint8_t* key) {
  DWORD read = 0;
  if (consoleInput == INVALID_HANDLE_VALUE) return KeyNoAnswer;
  if (!ReadConsoleA(consoleInput, key, 1, &read, nullptr)) return KeyNoAnswer;
  return read == 1 ? KeyRead : KeyAgain;
}

// Other keys are ignored without a word. With no console to ask, or one that
// cannot be read, the answer is no: the file stays as it is. A process stopped
// at the prompt (Ctrl+Z) asks again once it goes on.
PromptAnswer askOverwriteOf(Messages* m, const TextString* outputName, bool many) {
  const char* prompt = many ? "  Write to \"%s\" [Y/N/A/Q]? " : "  Write to \"%s\" [Y/N]? ";
  printWithName(m, prompt, outputName);
  uint8_t key;
  for (;;) {
    ConsoleKey got = readConsoleKey(&key);
    if (got == KeyNoAnswer) break;
    if (got == KeyAgain) {
      printWithName(m, prompt, outputName);
      continue;
    }
    if (key == 'Y' || key == 'y') {
      say(m, "Yes\n");
      return AnswerYes;
    }
    if (key == 'N' || key == 'n' || key == kEscape) break;
    if (!many) continue;
    if (key == 'A' || key == 'a') {
      say(m, "Yes to all\n");
      return AnswerAll;
    }
    if (key == 'Q' || key == 'q') {
      say(m, "No to all\n");
      return AnswerNone;
    }
  }
  say(m, "No\n");
  return AnswerNo;
}

bool askOverwrite(Messages* m, const TextString* outputName) {
  return askOverwriteOf(m, outputName, false) == AnswerYes;
}

}  // namespace txmorph
