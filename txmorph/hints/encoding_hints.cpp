// Hints at the encoding the input is really in, for the usual mistakes:
// - text that is not UTF-8 read as UTF-8 (the default): after the warning
//   that it is not valid UTF-8, what the bytes are, or nothing when the
//   evidence (encoding_evidence.h) is weak;
// - UTF-8 read as code-page text (-ia, -id): converting it garbles every
//   character of more than one byte ("Warning!", from the input checks:
//   check_input.cpp).
// Both look at the bytes only when the message may be printed.
//
// What the hint can say, in this order:
// - UTF-16LE with FF FE read with -iu: leave out -iu (auto finds it);
// - UTF-16LE without a byte order mark: zero bytes at most odd offsets and
//   almost none at even ones, and an even size;
// - UTF-8 that is valid but for a sequence cut short at its end;
// - a code page: the system's ANSI or OEM page, or one more OEM page of the
//   same languages (850 beside 437 and 437 beside 850), named only when its
//   reading of the bytes is plausible and clearly better than any other.
//
// A page's reading is scored a byte value at a time, from the places the
// value stands in (encoding_evidence.h), in points from -3 to +2 a byte: a
// letter of the page's own script is likely next to ASCII letters when Latin
// (an accented letter in a word) and among other bytes from 0x80 up when not
// (a Cyrillic word); a box or block character is likely among bytes from
// 0x80 up, with a neighbour on each side it has a stroke to, and in long
// runs; punctuation and signs are unlikely inside words, controls anywhere,
// an upper-case letter after a lower-case one, a letter three times in a row.
// A reading is plausible when no byte value is read worse than a point
// against it each time, doubtful values (below 0) make up one byte or at
// most a fiftieth, and it scores half a point a byte. The best plausible
// reading is named when every other plausible one that reads the text
// otherwise is behind by half a point a byte and one more - or merely behind
// when it has doubts and the best has none. On the texts the tests make up
// (Western languages in 1252, 437 and 850, with and without box drawing,
// Russian in 1251 and 866, 40 files of each, and 300 of each beside them)
// the right page is named for 98 to 100 in 100 files and a wrong one for
// none; the rest, single lines of few letters, go without a hint. Texts in
// a page that is not weighed (Russian among the Western pages and the other
// way round) get none; Polish among the Western pages reads as 1252 in some
// short files, as its letters are Latin letters there too.
#include "txmorph/hints/encoding_evidence.h"

namespace txmorph {

namespace {

enum Script : uint8_t { NoScript, Latin, Greek, Cyrillic, Hebrew, Arabic, Thai, OtherScript };

Script scriptOf(uint16_t unit) {
  if ((unit >= 0xC0 && unit <= 0x24F) || unit == 0xAA || unit == 0xBA) return Latin;
  if (unit >= 0x1E00 && unit <= 0x1EFF) return Latin;
  if (unit >= 0x370 && unit <= 0x3FF) return Greek;
  if (unit >= 0x400 && unit <= 0x52F) return Cyrillic;
  if (unit >= 0x590 && unit <= 0x5FF) return Hebrew;
  if (unit >= 0x600 && unit <= 0x6FF) return Arabic;
  if (unit >= 0xE00 && unit <= 0xE7F) return Thai;
  return OtherScript;
}

bool isLetterClass(TextClass kind) {
  return kind == ClassUpper || kind == ClassLower || kind == ClassLetter;
}

// One code page's reading of the bytes from 0x80 up.
struct PageReading {
  uint32_t page;
  uint16_t units[128];
  Script script;  // of most of the page's letters
};

// False for a page that is not single-byte (or unknown): its bytes do not
// stand for characters one by one.
bool readPage(uint32_t page, PageReading* reading) {
  CPINFOEXA info;
  if (page == 0 || !GetCPInfoExA(page, 0, &info) || info.MaxCharSize != 1) return false;
  char bytes[128];
  for (uint32_t i = 0; i < 128; i++) bytes[i] = static_cast<char>(0x80 + i);
  WCHAR units[128];
  if (MultiByteToWideChar(page, 0, bytes, 128, units, 128) != 128) return false;
  uint32_t byScript[OtherScript + 1] = {};
  for (uint32_t i = 0; i < 128; i++) {
    reading->units[i] = units[i];
    if (isLetterClass(textClassOf(units[i]))) byScript[scriptOf(units[i])]++;
  }
  reading->page = page;
  reading->script = Latin;
  for (uint32_t s = NoScript; s <= OtherScript; s++) {
    if (byScript[s] > byScript[reading->script]) reading->script = static_cast<Script>(s);
  }
  return true;
}

bool isAsciiLetter(uint32_t kind) { return kind == NextToLower || kind == NextToUpper; }

// How likely the character is where it stands, in points: from -3, never
// in a text, to +2.
int32_t placeWeight(uint16_t unit, Script pageScript, uint32_t left, uint32_t right) {
  TextClass kind = textClassOf(unit);
  bool nearAscii = isAsciiLetter(left) || isAsciiLetter(right);
  bool inWord = left != NextToOther && right != NextToOther;
  if (isLetterClass(kind) && scriptOf(unit) == pageScript) {
    if (kind == ClassUpper && left == NextToLower) return -2;
    if (pageScript != Latin) return nearAscii ? -2 : 1;
    if (nearAscii) return 2;
    if (left == NextToOther && right == NextToOther) return 1;  // a word of one letter
    return left == NextToHigh && right == NextToHigh ? -1 : 0;
  }
  switch (kind) {
    case ClassBox:
    case ClassBoxLeft:
    case ClassBoxRight:
    case ClassBoxBoth: {
      if (nearAscii) return -2;
      bool strokeLeft = kind == ClassBoxLeft || kind == ClassBoxBoth;
      bool strokeRight = kind == ClassBoxRight || kind == ClassBoxBoth;
      if ((strokeLeft && left != NextToHigh) || (strokeRight && right != NextToHigh)) return -1;
      return 1;
    }
    case ClassControl: return -3;
    case ClassSpace:
    case ClassJoiner: return 0;
    case ClassPunctuation:
      if (isAsciiLetter(left) && isAsciiLetter(right)) return -2;
      return left == NextToHigh && right == NextToHigh ? -1 : 0;
    default:  // signs, and the letters of another script
      if (inWord || (nearAscii && isLetterClass(kind))) return -2;
      return left == NextToHigh ? -1 : 0;  // a sign right after a word
  }
}

// Points for a byte repeated three and more times: a line of boxes, never
// a letter.
int32_t runWeight(uint16_t unit) {
  TextClass kind = textClassOf(unit);
  if (kind >= ClassBox) return 1;
  return isLetterClass(kind) ? -3 : 0;
}

struct Judgement {
  int64_t score;
  bool plausible;
  bool doubted;  // some byte value is read doubtfully
};

Judgement judge(const EncodingEvidence* evidence, const PageReading* reading) {
  int64_t score = 0;
  uint64_t doubtful = 0;
  bool implausible = false;
  for (uint32_t byte = 0; byte < 128; byte++) {
    uint16_t unit = reading->units[byte];
    uint64_t seen = 0;
    int64_t net = 0;
    for (uint32_t place = 0; place < kPlaces; place++) {
      uint64_t times = evidence->places[byte][place];
      if (evidence->pending == 0x80 + byte &&
          place == evidence->pendingLeft * kNeighbourKinds + NextToOther) {
        times++;  // the last byte of the text
      }
      if (times == 0) continue;
      seen += times;
      net += static_cast<int64_t>(times) *
             placeWeight(unit, reading->script, place / kNeighbourKinds, place % kNeighbourKinds);
    }
    if (seen == 0) continue;
    net += static_cast<int64_t>(evidence->thirds[byte]) * runWeight(unit);
    score += net;
    if (net < -static_cast<int64_t>(seen)) {
      implausible = true;
    } else if (net < 0) {
      doubtful += seen;
    }
  }
  uint64_t high = evidence->highBytes;
  bool fewDoubts = doubtful <= 1 || doubtful * 50 <= high;
  return {score, !implausible && fewDoubts && score * 2 >= static_cast<int64_t>(high),
          doubtful != 0};
}

// Whether two pages read every byte value the text holds alike.
bool readAlike(const EncodingEvidence* evidence, const PageReading* a, const PageReading* b) {
  for (uint32_t byte = 0; byte < 128; byte++) {
    if (a->units[byte] == b->units[byte]) continue;
    for (uint32_t place = 0; place < kPlaces; place++) {
      if (evidence->places[byte][place] != 0) return false;
    }
    if (evidence->pending == 0x80 + byte) return false;
  }
  return true;
}

// Of the readings, in order of preference, the one to name; -1 for none.
int32_t clearWinner(const EncodingEvidence* evidence, const PageReading* readings, uint32_t count) {
  Judgement judged[3];
  int32_t best = -1;
  for (uint32_t i = 0; i < count; i++) {
    judged[i] = judge(evidence, &readings[i]);
    if (judged[i].plausible && (best < 0 || judged[i].score > judged[best].score)) {
      best = static_cast<int32_t>(i);
    }
  }
  if (best < 0) return -1;
  int64_t margin = static_cast<int64_t>(evidence->highBytes / 2 + 1);
  int32_t named = best;
  for (uint32_t i = 0; i < count; i++) {
    if (readAlike(evidence, &readings[i], &readings[best])) {
      if (static_cast<int32_t>(i) < named) named = static_cast<int32_t>(i);
      continue;
    }
    // A rival with doubts beside a reading without needs only be beaten.
    bool beaten = judged[i].doubted && !judged[best].doubted;
    if (judged[i].plausible && judged[best].score - judged[i].score < (beaten ? 1 : margin)) {
      return -1;
    }
  }
  return named;
}

bool beginsWithFfFe(const EncodingEvidence* evidence) {
  return evidence->size >= 2 && evidence->first[0] == 0xFF && evidence->first[1] == 0xFE;
}

// Zero bytes at many odd offsets, hardly any at even ones: the high bytes of
// UTF-16LE units of ASCII and Latin-1 characters.
bool looksWide(const EncodingEvidence* evidence) {
  uint64_t units = evidence->size / 2;
  return evidence->size % 2 == 0 && evidence->zeros[1] * 8 >= units && units != 0 &&
         evidence->zeros[0] * 16 <= evidence->zeros[1];
}

// Whether the text ends inside a UTF-8 sequence: a lead byte and fewer
// continuation bytes than it calls for. A lead byte alone at the end of a
// text that holds no UTF-8 sequence is as likely a letter of a code page
// ("caf\xE9").
bool endsCutShort(const EncodingEvidence* evidence) {
  uint32_t have = evidence->size < 3 ? static_cast<uint32_t>(evidence->size) : 3;
  uint32_t continuations = 0;
  while (continuations < have && (evidence->last[2 - continuations] & 0xC0) == 0x80) {
    continuations++;
  }
  if (continuations == have) return false;
  uint8_t lead = evidence->last[2 - continuations];
  uint32_t calls = lead >= 0xC2 && lead <= 0xDF   ? 1
                   : lead >= 0xE0 && lead <= 0xEF ? 2
                   : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                  : 0;
  return continuations < calls && (continuations > 0 || evidence->utf8Bytes > 0);
}

// The other OEM page of the same languages, weighed beside the system's.
uint32_t siblingOf(uint32_t oem) {
  if (oem == 437) return 850;
  if (oem == 850) return 437;
  return 0;
}

const char* const kWideFromUtf8 =
    "  Hint! the text is UTF-16LE (it begins with FF FE): leave out -iu\n";
const char* const kWideWithoutMark =
    "  Hint! the text is UTF-16LE without a byte order mark: add -iw -s-\n";
const char* const kUtf8CutShort = "  Hint! the text is UTF-8 cut short at its end\n";

}  // namespace

EncodingHint inputEncodingHint(const EncodingEvidence* evidence, TextEncoding declared,
                               uint64_t invalidAt, uint32_t ansi, uint32_t oem, uint32_t other) {
  EncodingHint hint = {HintNone, Auto, 0, false};
  if (declared == Utf8 && beginsWithFfFe(evidence)) {
    hint.kind = HintWideFromUtf8;
  } else if (looksWide(evidence)) {
    hint.kind = HintWideWithoutMark;
  } else if (invalidAt != 0 && invalidAt == evidence->size && endsCutShort(evidence)) {
    hint.kind = HintUtf8CutShort;
  }
  if (hint.kind != HintNone) return hint;

  // No text holds zero bytes or stray controls; most bytes from 0x80 up in
  // UTF-8 sequences make UTF-8 with faults, no code page's text.
  uint64_t high = evidence->highBytes;
  if (high == 0 ||
      (evidence->zeros[0] + evidence->zeros[1] + evidence->controls) * 100 > evidence->size ||
      evidence->utf8Bytes * 2 > high) {
    return hint;
  }
  PageReading readings[3];
  TextEncoding encodings[3];
  uint32_t count = 0;
  const uint32_t pages[3] = {ansi, oem, other};
  for (uint32_t i = 0; i < 3; i++) {
    if (readPage(pages[i], &readings[count])) encodings[count++] = i == 0 ? Ansi : Oem;
  }
  int32_t named = clearWinner(evidence, readings, count);
  if (named < 0) return hint;
  hint.kind = HintCodePage;
  hint.encoding = encodings[named];
  hint.page = readings[named].page;
  hint.systemPage = hint.page == ansi || hint.page == oem;
  return hint;
}

bool hintInputEncoding(Messages* m, const EncodingEvidence* evidence, TextEncoding declared,
                       uint64_t invalidAt) {
  uint32_t oem = codePageNumber(CP_OEMCP);
  EncodingHint hint = inputEncodingHint(evidence, declared, invalidAt, codePageNumber(CP_ACP), oem,
                                        IsValidCodePage(siblingOf(oem)) ? siblingOf(oem) : 0);
  switch (hint.kind) {
    case HintNone: return false;
    case HintWideFromUtf8: say(m, kWideFromUtf8); return true;
    case HintWideWithoutMark: say(m, kWideWithoutMark); return true;
    case HintUtf8CutShort: say(m, kUtf8CutShort); return true;
    default: break;
  }
  char letter = hint.encoding == Ansi ? 'a' : 'd';
  OptionText option = optionText('i', letter, hint.systemPage ? 0 : hint.page);
  say(m, "  Hint! the text reads as %s (%u): add -%s\n", encodingName(hint.encoding), hint.page,
      option.text);
  return true;
}

void hintAfterStop(Messages* m, const EncodingEvidence* evidence, TextEncoding declared,
                   uint64_t invalidAt) {
  if (evidence != nullptr && hintInputEncoding(m, evidence, declared, invalidAt)) return;
  say(m, "  Hint! -s- converts it anyway\n");
}

}  // namespace txmorph
