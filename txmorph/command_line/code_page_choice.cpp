// Code pages by number: -ia850, -id866, -oa1251, -od437 read or write the
// ANSI or OEM text in that page instead of the system's. A page is taken when
// the platform has it (IsValidCodePage) and converts it a character at a time
// with the flags the stages use: single- and double-byte pages, not UTF-7 or
// UTF-8 (which have their options) nor the pages that hold shift states.
#include "txmorph/txmorph.h"

namespace txmorph {

ChosenPages chosenPages = {0, 0};

namespace {

// Pages whose conversions refuse the no-best-fit flag the output stage asks
// with, or hold a state from one character to the next.
bool takesFlags(uint32_t page) {
  switch (page) {
    case 42:
    case 50220:
    case 50221:
    case 50222:
    case 50225:
    case 50227:
    case 50229:
    case 52936:
    case 54936:
    case 65000:
    case 65001: return false;
    default: return page < 57002 || page > 57011;
  }
}

void append(char** at, const char* end, const char* text) {
  while (*text != 0 && *at < end) *(*at)++ = *text++;
}

void appendNumber(char** at, const char* end, uint32_t number) {
  char digits[10];
  uint32_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  while (count > 0 && *at < end) *(*at)++ = digits[--count];
}

uint32_t chosenOrSystem(uint32_t chosen, TextEncoding encoding) {
  return chosen != 0 && (encoding == Ansi || encoding == Oem) ? chosen : encodingCodePage(encoding);
}

}  // namespace

uint32_t pageNumberOf(const char* digits) {
  uint64_t number = 0;
  for (; *digits >= '0' && *digits <= '9'; digits++) {
    number = number * 10 + static_cast<uint32_t>(*digits - '0');
    if (number > UINT32_MAX) number = UINT32_MAX;
  }
  return static_cast<uint32_t>(number);
}

// 0 to 3 stand for the system's pages, never a page by number.
bool isTextCodePage(uint32_t page) {
  CPINFOEXA info;
  return page > 3 && takesFlags(page) && IsValidCodePage(page) && GetCPInfoExA(page, 0, &info) &&
         info.MaxCharSize <= 2;
}

uint32_t inputCodePage(TextEncoding encoding) {
  return chosenOrSystem(chosenPages.input, encoding);
}

uint32_t outputCodePage(TextEncoding encoding) {
  return chosenOrSystem(chosenPages.output, encoding);
}

EncodingLabel encodingLabel(TextEncoding encoding, uint32_t codePage) {
  EncodingLabel label = {};
  char* at = label.text;
  const char* end = label.text + sizeof label.text - 1;
  append(&at, end, encodingName(encoding));
  if (encoding == Ansi || encoding == Oem) {
    append(&at, end, " ");
    appendNumber(&at, end, codePageNumber(codePage));
  }
  *at = 0;
  return label;
}

OptionText optionText(char side, char letter, uint32_t page) {
  OptionText option = {};
  char* at = option.text;
  const char* end = option.text + sizeof option.text - 1;
  char both[3] = {side, letter, 0};
  append(&at, end, both);
  if (page != 0) appendNumber(&at, end, page);
  *at = 0;
  return option;
}

}  // namespace txmorph
