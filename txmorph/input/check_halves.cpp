// The pass that only checks a large file, on two threads: each checks a half
// of it through views of its own, and the halves' findings are put
// together as one walk over the whole would have found them.
//
// The second half begins at a byte that is no continuation byte, where the
// walk over the whole starts a character unless the first half ended inside
// one: then the whole is invalid right there, since that byte does not
// continue it. Otherwise what the second half found, at the offsets of the
// whole, is what the whole has.
#include "txmorph/blocks/conversion_steps.h"

namespace txmorph {

namespace {

struct Half {
  HANDLE mapping;
  uint64_t from;
  uint64_t to;
  uint32_t blockBytes;
  bool failed;
  DWORD error;
  Utf8Check check;
};

void checkHalf(Half* half) {
  for (uint64_t at = half->from; at < half->to;) {
    uint64_t left = half->to - at;
    uint32_t count = left < half->blockBytes ? static_cast<uint32_t>(left) : half->blockBytes;
    const uint8_t* bytes;
    const void* view = viewInput(half->mapping, at, count, &bytes);
    if (view == nullptr) {
      half->failed = true;
      half->error = GetLastError();
      return;
    }
    for (uint32_t piece = 0; piece < count; piece += kPieceBytes) {
      uint32_t n = count - piece < kPieceBytes ? count - piece : kPieceBytes;
      checkUtf8Piece(&half->check, bytes + piece, n);
    }
    UnmapViewOfFile(view);
    at += count;
    // The first fault is all there is to learn.
    if (half->check.invalidAt != 0) return;
  }
}

DWORD WINAPI checkHalfThread(LPVOID parameter) {
  checkHalf(static_cast<Half*>(parameter));
  return 0;
}

// Where the second half begins: the first byte from the middle on that is
// no continuation byte; 0 when none is near.
uint64_t splitAt(HANDLE mapping, uint64_t size) {
  uint64_t middle = size / 2;
  uint32_t nearBytes =
      size - middle < kMostCarried ? static_cast<uint32_t>(size - middle) : kMostCarried;
  const uint8_t* bytes;
  const void* view = viewInput(mapping, middle, nearBytes, &bytes);
  if (view == nullptr) return 0;
  uint64_t split = 0;
  for (uint32_t i = 0; i < nearBytes && split == 0; i++) {
    if ((bytes[i] & 0xC0) != 0x80) split = middle + i;
  }
  UnmapViewOfFile(view);
  return split;
}

Half halfOf(const Conversion* c, HANDLE mapping, uint64_t from, uint64_t to) {
  Half half = {mapping, from, to, c->blockBytes, false, 0, {}};
  startUtf8Check(&half.check);
  half.check.at = from;
  return half;
}

// The whole's walk from the halves'.
void joinHalves(Conversion* c, const Half& first, const Half& second, uint64_t split) {
  Utf8Check joined = second.check;
  if (first.check.invalidAt != 0) {
    joined.invalidAt = first.check.invalidAt;
  } else if (first.check.missing != 0) {
    joined.invalidAt = split + 1;
  }
  joined.wellFormed = first.check.wellFormed && second.check.wellFormed;
  c->utf8 = joined;
}

}  // namespace

bool checkInHalves(Conversion* c, Input* input, PassResult* result) {
  if (input->kind != InputFile || !c->threads || c->checkingAlso ||
      input->size < 2 * uint64_t{c->blockBytes}) {
    return false;
  }
  HANDLE mapping = CreateFileMappingA(input->handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) return false;
  uint64_t split = splitAt(mapping, input->size);
  if (split == 0) {
    CloseHandle(mapping);
    return false;
  }
  Half first = halfOf(c, mapping, 0, split);
  Half second = halfOf(c, mapping, split, input->size);
  HANDLE thread = CreateThread(nullptr, 0, checkHalfThread, &second, 0, nullptr);
  checkHalf(&first);
  if (thread != nullptr) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  } else {
    checkHalf(&second);
  }
  CloseHandle(mapping);
  *result = PassDone;
  if (first.failed || second.failed) {
    SetLastError(first.failed ? first.error : second.error);
    *result = PassNotRead;
    return true;
  }
  joinHalves(c, first, second, split);
  if (!inputStillWhole(input)) *result = PassNotRead;
  return true;
}

}  // namespace txmorph
