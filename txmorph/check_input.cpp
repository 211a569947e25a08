// The input stage: resolves "auto", checks UTF-8 and UTF-16LE input, removes
// one leading U+FEFF, and leaves the text as UTF-16 units.
//
// A failed check of wide input (odd size, no U+FEFF first) stops the run when
// stopMode is on ("Stopped", exit 10) and only warns when it is off. UTF-8
// that is valid clears stopMode, so that its missing U+FEFF only warns;
// invalid UTF-8 is reported, with a hint at what it is (encoding_evidence.h),
// and decoded anyway. A stop is followed by the way to go on: that hint, or
// -s-. Code-page input that is also valid UTF-8 is warned about.
//
// What decoding loses goes to textLosses: the characters made of malformed
// input, and the odd last byte of wide input that the run goes on without.
#include "txmorph/conversion_state.h"
#include "txmorph/encoding_evidence.h"
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

enum CheckFailure : uint8_t { OddSize, NoByteOrderMark };

const char* const kCheckMessages[] = {
    "  %s! filesize is not even for wide unicode file\n",
    "  %s! first character of unicode file is not 0xFEFF\n",
};

// Prints a failed check (its "Stopped" form also at level 1), a stop
// followed by how to go on (hintAfterStop); true when the run stops.
bool failCheck(CheckFailure failure, uint8_t stopMode, const EncodingEvidence* evidence = nullptr,
               TextEncoding declared = Auto, uint64_t invalidAt = 0) {
  bool stops = stopMode != 0;
  if (quietLevel < 1 || (quietLevel == 1 && stops)) {
    rt_printf(kCheckMessages[failure], stops ? "Stopped" : "Warning");
    if (stops) hintAfterStop(evidence, declared, invalidAt);
  }
  return stops;
}

bool beginsWithUtf8Mark(const uint8_t* bytes, uint32_t count) {
  return count >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
}

// The bytes decoded with codePage into a new block that keeps one unit of room
// in front of the text, where convertOutput puts a byte order mark without
// moving the text. The old block goes once the new one is written.
bool decodeToWide(TextString* text) {
  uint32_t count = text->length;
  TextString wide;
  init(&wide);
  makeEmpty(&wide, kWide);
  if (count != 0) {
    uint16_t* units = static_cast<uint16_t*>(resize(&wide, count + 1, 0));
    uint32_t written =
        decodeNotingLosses(static_cast<const uint8_t*>(text->data), count, units + 1);
    if (written == 0) {
      release(&wide);
      return false;
    }
    units[written + 1] = 0;
    wide.length = written + 1;
    erase(&wide, 0, 1);
  }
  release(text);
  *text = wide;
  return true;
}

}  // namespace

TextEncoding detectEncoding(const TextString* text) {
  return unitAt(text, 0) == 0xFF && unitAt(text, 1) == 0xFE ? Wide : Utf8;
}

InputCheck checkInput(TextString* text, TextEncoding* encoding, uint8_t* stopMode) {
  releaseLosses();
  TextEncoding declared = *encoding;
  if (*encoding == Auto) *encoding = detectEncoding(text);
  const uint8_t* bytes = static_cast<const uint8_t*>(text->data);
  EncodingEvidence evidence;  // of UTF-8 that failed the check, for the hint
  uint64_t invalidAt = 0;
  if (*encoding == Wide) {
    if (text->length % 2 != 0) {
      if (failCheck(OddSize, *stopMode)) return InputStopped;
      textLosses.oddByte = true;
    }
    reinterpretWidth(text, kWide);
  } else {
    if (*encoding == Utf8 && *stopMode != 0) {
      uint32_t offset = findInvalidUtf8(bytes, text->length);
      if (offset == 0) {
        *stopMode = 0;
      } else if (showsWarnings()) {
        rt_printf("  Warning! not valid UTF8 text at offset %u\n", offset);
        initEvidence(&evidence);
        noteEvidence(&evidence, bytes, text->length);
        invalidAt = offset;
        // The hint now when the run goes on (a mark in front), else after the
        // stop, as the way to go on.
        if (beginsWithUtf8Mark(bytes, text->length)) {
          hintInputEncoding(&evidence, declared, invalidAt);
        }
      }
    }
    conversionState.codePage = inputCodePage(*encoding);
    if (*encoding != Utf8) warnAlsoUtf8(bytes, text->length, conversionState.codePage);
    if (!decodeToWide(text)) return InputNotDecoded;
  }

  if (*encoding == Utf8 || *encoding == Wide) {
    if (unitAt(text, 0) == 0xFEFF) {
      erase(text, 0, 1);
      textLosses.removedUnits = 1;
      if (showsInformation()) rt_printf("  NOTE! Leading 0xFEFF removed\n");
    } else if (failCheck(NoByteOrderMark, *stopMode, invalidAt != 0 ? &evidence : nullptr, declared,
                         invalidAt)) {
      return InputStopped;
    }
  }
  if (showsInformation()) {
    rt_printf("  input length [%s] = %u\n", encodingLabel(*encoding, inputCodePage(*encoding)).text,
              text->length);
  }
  return InputReady;
}

}  // namespace txmorph
