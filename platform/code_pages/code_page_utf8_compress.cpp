// UTF-8 to UTF-16 a block of 32 bytes at a time where the processor has
// AVX-512 with byte and word forms and word compress, for text of
// well-formed characters of one to three bytes.
//
// The block is classed and checked as the shuffle loops do it, with the
// classes as masks straight from the compares. Every one of its 32 bytes is
// then decoded as if a character started there, into one register of 32
// units, the length of each picked by the same masks; one compress packs the
// units of the starts to the front, and a masked store writes those alone,
// so nothing past the units kept is touched.
#include "platform/code_pages/code_page_utf8_blocks.h"
#include "platform/vector_level.h"

#if defined(__SSE2__) && defined(PLAT_HAS_X86_VECTORS)

namespace {

using namespace plat_utf8_blocks;

struct Avx512Constants {
  __m256i c0, c2, e0, f0, ed, a0;  // bytes
  __m512i low6, low11;             // units
};

PLAT_AVX512 inline Avx512Constants avx512_constants() {
  return {_mm256_set1_epi8(static_cast<char>(0xC0)),
          _mm256_set1_epi8(static_cast<char>(0xC2)),
          _mm256_set1_epi8(static_cast<char>(0xE0)),
          _mm256_set1_epi8(static_cast<char>(0xF0)),
          _mm256_set1_epi8(static_cast<char>(0xED)),
          _mm256_set1_epi8(static_cast<char>(0xA0)),
          _mm512_set1_epi16(0x3F),
          _mm512_set1_epi16(0x7FF)};
}

PLAT_AVX512 inline Classes classes32(const Avx512Constants& k, const uint8_t* at, __m256i v,
                                     __m256i next) {
  Classes c;
  c.high = _mm256_movepi8_mask(v);
  c.cont = c.high & _mm256_cmplt_epu8_mask(v, k.c0);
  c.lead = _mm256_cmpge_epu8_mask(v, k.c2);
  c.lead3 = _mm256_cmpge_epu8_mask(v, k.e0);
  c.over = _mm256_cmpge_epu8_mask(v, k.f0);
  __mmask32 e0 = _mm256_mask_cmplt_epu8_mask(_mm256_cmpeq_epi8_mask(v, k.e0), next, k.a0);
  __mmask32 ed = _mm256_mask_cmpge_epu8_mask(_mm256_cmpeq_epi8_mask(v, k.ed), next, k.a0);
  c.second = e0 | ed;
  c.cont |= continuations_after(at, 32);
  return c;
}

PLAT_AVX512 inline __m512i widen32(const uint8_t* at) {
  return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)));
}

// The units of the 32 bytes at `at`, each decoded as if a character started
// there: as it is below 0x80, of three bytes from E0 up, of two otherwise.
// The bits of the first two bytes, shifted together in 16 bits, are the unit
// of two bytes once cut to 11 bits, and shifted on with the third byte's the
// unit of three (the lead byte's high bits fall off the top).
PLAT_AVX512 inline __m512i units32(const Avx512Constants& k, const uint8_t* at, __m256i v,
                                   __mmask32 high, __mmask32 lead3) {
  constexpr int kOrAnd = 0xF8;  // a | (b & c)
  __m512i c = _mm512_cvtepu8_epi16(v);
  __m512i first_two =
      _mm512_ternarylogic_epi32(_mm512_slli_epi16(c, 6), widen32(at + 1), k.low6, kOrAnd);
  __m512i three =
      _mm512_ternarylogic_epi32(_mm512_slli_epi16(first_two, 6), widen32(at + 2), k.low6, kOrAnd);
  __m512i units = _mm512_mask_mov_epi16(_mm512_and_si512(first_two, k.low11), lead3, three);
  return _mm512_mask_mov_epi16(c, high, units);
}

}  // namespace

PLAT_AVX512 size_t plat_utf8_decode_blocks_avx512(const uint8_t* source, size_t count, WCHAR* dest,
                                                  size_t room, size_t* written) {
  constexpr size_t kBlock = 32;
  const Avx512Constants k = avx512_constants();
  size_t i = 0;
  size_t o = 0;
  uint64_t carried = 0;
  while (count - i >= kBlock + kAhead && room - o >= kBlock) {
    const uint8_t* at = source + i;
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    __mmask32 high = _mm256_movepi8_mask(v);
    if (high == 0) {
      _mm512_storeu_si512(dest + o, _mm512_cvtepu8_epi16(v));
      i += kBlock;
      o += kBlock;
      carried = 0;
      continue;
    }
    __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 1));
    Classes c = classes32(k, at, v, next);
    uint64_t starts;
    if (!check_block(c, kBlock, carried, &starts, &carried)) break;
    __mmask32 keep = static_cast<__mmask32>(starts);
    __m512i kept =
        _mm512_maskz_compress_epi16(keep, units32(k, at, v, high, static_cast<__mmask32>(c.lead3)));
    uint32_t units = static_cast<uint32_t>(__builtin_popcount(keep));
    _mm512_mask_storeu_epi16(dest + o, _bzhi_u32(~0u, units), kept);
    i += kBlock;
    o += units;
  }
  *written = o;
  return i + carried_bytes(carried);
}

#else

size_t plat_utf8_decode_blocks_avx512(const uint8_t*, size_t, WCHAR*, size_t, size_t* written) {
  *written = 0;
  return 0;
}

#endif
