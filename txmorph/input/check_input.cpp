// The input checks: "auto" resolved from the first bytes, the UTF-8 check of
// UTF-8 input, the size and the leading U+FEFF of UTF-16LE input, and for
// code-page input whether it is also valid UTF-8. They watch the bytes of the
// first pass, in pieces of any size, and print their messages when the run
// comes to them (printConversion).
//
// A failed check of wide input (odd size, no U+FEFF first) stops the run when
// stopMode is on ("Stopped", exit 10) and only warns when it is off. UTF-8
// that is valid clears stopMode, so that its missing U+FEFF only warns;
// invalid UTF-8 is reported, with a hint at what it is (encoding_evidence.h),
// and decoded anyway. A stop is followed by the way to go on: that hint, or
// -s-. Code-page input (-ia, -id) that is also valid UTF-8 with a character
// of more than one byte is most likely UTF-8 already - text converted once
// would be garbled by a second conversion: it stops the run as a failed
// check when stopMode is on, and is warned about when it is off.
#include "txmorph/blocks/conversion_steps.h"
#include "txmorph/hints/encoding_evidence.h"

namespace txmorph {

namespace {

enum CheckFailure : uint8_t { OddSize, NoByteOrderMark };

const char* const kCheckMessages[] = {
    "  %s! filesize is not even for wide unicode file\n",
    "  %s! first character of unicode file is not 0xFEFF\n",
};

// Prints a failed check (its "Stopped" form also at level 1), a stop
// followed by how to go on (hintAfterStop); true when the run stops.
bool failCheck(CheckFailure failure, Conversion* c) {
  bool stops = c->stopMode != 0;
  if (quietLevel < 1 || (quietLevel == 1 && stops)) {
    say(&c->messages, kCheckMessages[failure], stops ? "Stopped" : "Warning");
    if (stops) hintAfterStop(&c->messages, c->evidence, c->declared, c->utf8.invalidAt);
  }
  return stops;
}

// Whether the input begins with U+FEFF in its own encoding.
bool beginsWithMark(const Conversion* c) {
  const uint8_t* head = c->head;
  if (c->input == Wide) return c->headCount >= 2 && head[0] == 0xFF && head[1] == 0xFE;
  return c->headCount >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF;
}

}  // namespace

TextEncoding detectEncoding(const uint8_t* bytes, uint64_t count) {
  return count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE ? Wide : Utf8;
}

void startAlsoUtf8(AlsoUtf8* also) {
  startUtf8Check(&also->check);
  also->beyondAscii = false;
}

bool notAlsoUtf8(const AlsoUtf8* also) {
  return also->check.invalidAt != 0 || !also->check.wellFormed;
}

void checkAlsoUtf8Piece(AlsoUtf8* also, const uint8_t* bytes, uint32_t count) {
  if (notAlsoUtf8(also)) return;
  checkUtf8Piece(&also->check, bytes, count);
  also->beyondAscii = also->beyondAscii || asciiSpan(bytes, count) != count;
}

bool endAlsoUtf8(AlsoUtf8* also) {
  endUtf8Check(&also->check);
  return also->check.invalidAt == 0 && also->check.wellFormed && also->beyondAscii;
}

bool settleEncodings(Conversion* c, const uint8_t* head, uint32_t count) {
  c->headCount = count < 3 ? count : 3;
  __builtin_memcpy(c->head, head, c->headCount);
  if (c->input == Auto) c->input = detectEncoding(head, count);
  if (c->input != Wide && !readPageInfo(&c->inputPage, inputCodePage(c->input))) return false;
  if ((c->output == Oem || c->output == Ansi) &&
      !readPageInfo(&c->outputPage, outputCodePage(c->output))) {
    return false;
  }
  c->checkingUtf8 = c->input == Utf8 && c->stopMode != 0;
  c->checkingAlso = (c->input == Ansi || c->input == Oem) && !c->inputPage.utf8 &&
                    (showsWarnings() || c->stopMode != 0);
  startUtf8Check(&c->utf8);
  startAlsoUtf8(&c->also);
  c->settled = true;
  return true;
}

bool checkMayStop(const Conversion* c) {
  return c->stopMode != 0 && ((c->input == Utf8 && !beginsWithMark(c)) || c->checkingAlso);
}

bool checksKnown(const Conversion* c, const Input* input) {
  return c->checked || (input->kind != InputStream && !c->checkingUtf8 && !c->checkingAlso);
}

// A piece at a time, so that each check finds the bytes in the cache.
void readChecks(Conversion* c, const uint8_t* bytes, uint32_t count) {
  for (uint32_t at = 0; at < count; at += kPieceBytes) {
    uint32_t n = count - at < kPieceBytes ? count - at : kPieceBytes;
    if (c->checkingUtf8) checkUtf8Piece(&c->utf8, bytes + at, n);
    if (c->checkingAlso) checkAlsoUtf8Piece(&c->also, bytes + at, n);
  }
}

bool startEvidence(Conversion* c, const Input* input) {
  if (!c->checkingUtf8 || c->utf8.invalidAt == 0 || !showsWarnings() ||
      input->kind == InputStream || c->evidence != nullptr) {
    return false;
  }
  c->evidence = static_cast<EncodingEvidence*>(rt_xalloc(sizeof(EncodingEvidence)));
  initEvidence(c->evidence);
  return true;
}

void gatherEvidence(Conversion* c, const uint8_t* bytes, uint32_t count) {
  noteEvidence(c->evidence, bytes, count);
}

void endChecks(Conversion* c) {
  endUtf8Check(&c->utf8);
  c->wellFormed = c->checkingUtf8 && c->utf8.invalidAt == 0 && c->utf8.wellFormed;
  c->alsoUtf8 = c->checkingAlso && endAlsoUtf8(&c->also);
  c->checked = true;
}

// The hint after "not valid UTF8 text" comes at once when the run goes on
// (a mark in front), else after the stop, as the way to go on.
bool reportChecks(Conversion* c) {
  if (c->input == Wide) {
    if (c->inputBytes % 2 != 0 && failCheck(OddSize, c)) return true;
  } else if (c->checkingUtf8) {
    if (c->utf8.invalidAt == 0) {
      c->stopMode = 0;
    } else if (showsWarnings()) {
      say(&c->messages, "  Warning! not valid UTF8 text at offset %lu\n", c->utf8.invalidAt);
      if (beginsWithMark(c)) {
        hintInputEncoding(&c->messages, c->evidence, c->declared, c->utf8.invalidAt);
      }
    }
  }
  if (c->alsoUtf8) {
    bool stops = c->stopMode != 0;
    if (showsWarnings()) {
      say(&c->messages, "  %s! the input is also valid UTF-8 (-iu)\n",
          stops ? "Stopped" : "Warning");
    }
    if (stops) return true;
  }
  if (c->input == Utf8 || c->input == Wide) {
    if (beginsWithMark(c)) {
      if (showsInformation()) say(&c->messages, "  NOTE! Leading 0xFEFF removed\n");
    } else if (failCheck(NoByteOrderMark, c)) {
      return true;
    }
  }
  return false;
}

}  // namespace txmorph
