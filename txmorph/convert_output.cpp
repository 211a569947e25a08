// The output stage: the wide text becomes the output encoding, with U+FEFF in
// front of UTF-8 and UTF-16LE output unless raw output was asked for, and the
// verdict: lossy when the code page had to put the replacement byte 0x0F in
// place of a character (best fit counts as converted; UTF-8 and UTF-16LE are
// never lossy).
#include "txmorph/conversion_state.h"
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

constexpr uint16_t kByteOrderMark = 0xFEFF;
constexpr char kLossReplacement = 0x0F;

// Whether the text's own block has a unit of room in front of the text: the
// input stage leaves one there, and a removed U+FEFF leaves one too.
bool hasRoomInFront(const TextString* text) {
  const TextBlock* block = blockOf(text);
  if (block == nullptr || block->refCount != 1) return false;
  const uint8_t* start = reinterpret_cast<const uint8_t*>(block) + sizeof(TextBlock);
  return static_cast<const uint8_t*>(text->data) - start >= 2;
}

// U+FEFF in front of the wide text: in the room in front when there is some,
// else the units move up by one in their own block.
void prependByteOrderMark(TextString* text) {
  uint32_t count = text->length;
  uint16_t* units;
  if (hasRoomInFront(text)) {
    units = static_cast<uint16_t*>(text->data) - 1;
    text->data = units;
    text->length = count + 1;
  } else {
    units = static_cast<uint16_t*>(resize(text, count + 1, 0));
    __builtin_memmove(units + 1, units, size_t{count} * 2);
    units[count + 1] = 0;
  }
  units[0] = kByteOrderMark;
}

}  // namespace

bool convertOutput(TextString* text, TextEncoding output, bool rawOutput, bool* lossy) {
  conversionState.codePage = encodingCodePage(output);
  conversionState.usedReplacement = 0;
  bool converted = true;
  switch (output) {
    case Oem:
    case Ansi:
      conversionState.replacementByte = kLossReplacement;
      converted = toNarrow(text);
      break;
    case Utf8: {
      TextString encoded = encodeUtf8(text, !rawOutput);
      release(text);
      *text = encoded;
      break;
    }
    default:  // Wide
      if (!rawOutput) prependByteOrderMark(text);
      break;
  }
  *lossy = (conversionState.usedReplacement & 0xFF) != 0;
  return converted;
}

void reportConversion(const TextString* text, TextEncoding output, bool lossy, uint8_t askMode) {
  if (!showsInformation() && askMode == 0) return;
  rt_printf("  converted (%u) to %s -- %s\n", byteSize(text), encodingName(output),
            lossy ? "LOSSY (to \\x0F)" : "REVERSIBLE");
}

}  // namespace txmorph
