// The inner loops of txmorph's own stages on a file's text, on buffers
// already touched (so that page faults do not count): the UTF-8 check, the
// decode to UTF-16 through the platform, and the UTF-8 encoder (size, then
// encoding). MB/s of the stage's input, the best of a few runs.
//
//   bench_txmorph_stages FILE [code page of FILE, default 65001]
//
// TXMORPH_BENCH_SIMD=0, 1 or 2 holds every stage to SSE2, SSSE3 or AVX2 at
// most.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/vector_level.h"
#include "txmorph/text/conversion_state.h"
#include "txmorph/txmorph.h"

void rt_out_of_memory(uint32_t size) {
  fprintf(stderr, "\nOut of memory (%d)\n", static_cast<int32_t>(size));
  _exit(1);
}

namespace {

constexpr int kRuns = 5;

template <typename Stage>
double bestSeconds(Stage stage) {
  double best = 1e30;
  for (int i = 0; i < kRuns; i++) {
    auto start = std::chrono::steady_clock::now();
    stage();
    auto end = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double>(end - start).count());
  }
  return best;
}

void report(const char* stage, size_t bytes, double seconds) {
  printf("  %-28s %8.1f MB  %8.0f MB/s\n", stage, bytes / 1e6, bytes / 1e6 / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace txmorph;
  if (argc < 2) {
    fprintf(stderr, "usage: %s FILE [code page]\n", argv[0]);
    return 2;
  }
  rt_heap_init();
  if (const char* level = getenv("TXMORPH_BENCH_SIMD")) {
    plat_vector used = plat_vector_limit(static_cast<plat_vector>(atoi(level)));
    printf("vector level %d\n", used);
  }
  FILE* file = fopen(argv[1], "rb");
  if (file == nullptr) return 2;
  std::vector<uint8_t> bytes;
  uint8_t piece[1 << 16];
  for (size_t n; (n = fread(piece, 1, sizeof piece, file)) > 0;)
    bytes.insert(bytes.end(), piece, piece + n);
  fclose(file);
  uint32_t codePage = argc > 2 ? static_cast<uint32_t>(strtoul(argv[2], nullptr, 10)) : CP_UTF8;
  uint32_t count = static_cast<uint32_t>(bytes.size());
  printf("%s: %u bytes, code page %u\n", argv[1], count, codePage);

  uint32_t offset = 0;
  if (codePage == CP_UTF8) {
    report("findInvalidUtf8", count,
           bestSeconds([&] { offset = findInvalidUtf8(bytes.data(), count); }));
    bool wellFormed = false;
    report("the check pass's UTF-8 check", count, bestSeconds([&] {
             Utf8Check check;
             startUtf8Check(&check);
             for (uint32_t at = 0; at < count; at += kPieceBytes) {
               uint32_t take = count - at < kPieceBytes ? count - at : kPieceBytes;
               checkUtf8Piece(&check, bytes.data() + at, take);
             }
             endUtf8Check(&check);
             wellFormed = check.invalidAt == 0 && check.wellFormed;
           }));
    if (!wellFormed) printf("  (not well-formed UTF-8)\n");
  }

  PageInfo page;
  if (codePage != CP_UTF8 && readPageInfo(&page, codePage)) {
    PageToUtf8 table;
    makePageToUtf8(&table, &page);
    if (table.ready) {
      std::vector<uint8_t> made(size_t{count} * 3 + 64);
      uint32_t piece = kPieceBytes;
      report("page to UTF-8 (straight)", count, bestSeconds([&] {
               uint32_t o = 0;
               for (uint32_t at = 0; at < count; at += piece) {
                 uint32_t take = count - at < piece ? count - at : piece;
                 o += pageToUtf8(&table, bytes.data() + at, take, made.data() + o);
               }
             }));
    }
  }

  conversionState.codePage = codePage;
  std::vector<uint16_t> units(count + 1);
  uint32_t length = 0;
  report("decode to UTF-16 (platform)", count, bestSeconds([&] {
           length = convertUnits(bytes.data(), count, kNarrow, units.data(), kWide);
         }));

  uint32_t size = 0;
  report("utf8Size", size_t{length} * 2,
         bestSeconds([&] { size = utf8Size(units.data(), length); }));
  TextString wide;
  init(&wide);
  rebuild(&wide, units.data(), length, kWide, kWide, 0);
  TextString encoded;
  init(&encoded);
  report("encodeUtf8 (size and encoding)", size_t{length} * 2, bestSeconds([&] {
           release(&encoded);
           encoded = encodeUtf8(&wide, false);
         }));
  printf("  (offset %u, %u units, %u bytes of UTF-8)\n", offset, length, size);
  release(&encoded);
  release(&wide);
  return 0;
}
