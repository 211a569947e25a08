// The output stage: the wide text becomes the output encoding, with U+FEFF in
// front of UTF-8 and UTF-16LE output unless raw output was asked for, and the
// verdict: lossy when a character of the input does not come through as
// itself, in any output encoding. The input stage has noted what decoding
// lost (textLosses); a code page loses a character that it replaces by the
// byte 0x0F or shows by a similar one (best fit).
//
// The code page is asked first without best fit: where nothing needed the
// replacement then, the bytes are those of the conversion with best fit too.
// Where something did, the text is converted again with best fit, which
// gives the bytes written: the conversion keeps its bytes, only the verdict
// tells of the loss. A lossy run keeps the decoded text for the loss report.
#include "txmorph/conversion_state.h"
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

constexpr uint16_t kByteOrderMark = 0xFEFF;

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

// Notes that the page lost characters in piece `piece` of a text of `count`
// units.
void notePiece(uint32_t piece, uint32_t count) {
  uint32_t*& pieces = textLosses.replacedPieces;
  if (pieces == nullptr) pieces = newBits(count / kPieceUnits + 1);
  setBit(pieces, piece);
}

// A conversion asked first without best fit, which tells whether the page
// holds every character as itself; where it does not (*lost), `again` makes
// the bytes with best fit. Both return whether they converted.
template <typename First, typename Again>
bool withBestFitWhereLost(First first, Again again, bool* lost) {
  ConversionState& state = conversionState;
  state.wcFlags = WC_NO_BEST_FIT_CHARS;
  state.usedReplacement = 0;
  bool converted = first();
  state.wcFlags = 0;
  *lost = converted && (state.usedReplacement & 0xFF) != 0;
  return *lost ? again() : converted;
}

// A single-byte page, a piece of the text at a time into one block of a byte
// a unit: a piece that needed the replacement without best fit is converted
// again with it while it is still in the cache, so a text with a few losses
// costs about one conversion.
bool toSingleBytePage(TextString* text, const TextString* decoded, bool* replaced) {
  uint32_t count = decoded->length;
  TextString narrow;
  init(&narrow);  // an empty narrow text
  if (count != 0) {
    uint8_t* bytes = static_cast<uint8_t*>(resize(&narrow, count, 0));
    const uint16_t* units = static_cast<const uint16_t*>(decoded->data);
    for (uint32_t start = 0; start < count; start += kPieceUnits) {
      uint32_t length = count - start > kPieceUnits ? kPieceUnits : count - start;
      auto piece = [&] {
        return convertUnits(units + start, length, kWide, bytes + start, kNarrow) == length;
      };
      bool lost = false;
      bool converted = withBestFitWhereLost(piece, piece, &lost);
      if (lost) {
        *replaced = true;
        notePiece(start / kPieceUnits, count);
      }
      if (!converted) {
        release(&narrow);
        return false;
      }
    }
    bytes[count] = 0;
  }
  release(text);
  *text = narrow;
  return true;
}

// The code page's form of the text, with best fit only where the page does
// not hold every character as itself; *replaced tells whether it did not.
bool toCodePage(TextString* text, const TextString* decoded, bool* replaced) {
  ConversionState& state = conversionState;
  state.replacementByte = kLossReplacement;
  CPINFOEXA page;
  if (GetCPInfoExA(state.codePage, 0, &page) && page.MaxCharSize == 1) {
    return toSingleBytePage(text, decoded, replaced);
  }
  // A page of more bytes a character: the whole text, and again when lossy.
  return withBestFitWhereLost([&] { return toNarrow(text); },
                              [&] { return toNarrow(assign(text, decoded)); }, replaced);
}

}  // namespace

bool convertOutput(TextString* text, TextEncoding output, bool rawOutput, bool* lossy) {
  conversionState.codePage = outputCodePage(output);
  TextString decoded;
  init(&decoded);
  bool converted = true;
  bool replaced = false;
  switch (output) {
    case Oem:
    case Ansi:
      assign(&decoded, text);
      converted = toCodePage(text, &decoded, &replaced);
      break;
    case Utf8: {
      TextString encoded = encodeUtf8(text, !rawOutput);
      decoded = *text;
      *text = encoded;
      break;
    }
    default:  // Wide: the decoded units stay where they are, behind the mark
      if (!rawOutput) prependByteOrderMark(text);
      assign(&decoded, text);
      if (!rawOutput) erase(&decoded, 0, 1);
      break;
  }
  textLosses.replaced = replaced;
  textLosses.outputCodePage = conversionState.codePage;
  *lossy = converted && anyLosses();
  if (*lossy) {
    release(&textLosses.decoded);
    textLosses.decoded = decoded;
  } else {
    release(&decoded);
  }
  return converted;
}

void reportConversion(const TextString* text, TextEncoding output, bool lossy, uint8_t askMode) {
  if (!showsInformation() && askMode == 0) return;
  rt_printf("  converted (%u) to %s -- %s\n", byteSize(text),
            encodingLabel(output, outputCodePage(output)).text,
            lossy ? "LOSSY (to \\x0F)" : "REVERSIBLE");
}

}  // namespace txmorph
