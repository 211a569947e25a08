// MultiByteToWideChar and WideCharToMultiByte on about 100 MB of narrow text,
// both directions, for 1252, 437 and UTF-8, with ASCII-heavy text (1 in 100
// characters beyond ASCII) and mixed text (40 in 100). Prints MB/s of the
// narrow text, the best of a few runs on buffers already touched.
//
//   bench_platform_code_pages [megabytes]
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr int kRuns = 3;

struct Text {
  const char* name;
  uint32_t beyond_ascii;  // per 100 characters
};

// Characters that 1252 and 437 both have; for UTF-8 also longer forms.
const uint16_t kLatin[] = {0x00E9, 0x00E8, 0x00EA, 0x00E0, 0x00E4, 0x00E7, 0x00F4, 0x00F6,
                           0x00FC, 0x00F1, 0x00C4, 0x00D6, 0x00DC, 0x00C9, 0x00DF, 0x00EF};
const uint16_t kWorld[] = {0x00E9, 0x00FC, 0x0434, 0x03B1, 0x05D0, 0x65E5, 0x8A9E, 0xAC00,
                           0x20AC, 0x2013, 0x0E01, 0x00C4, 0x4E2D, 0x3042, 0x00DF, 0x0439};

std::vector<WCHAR> make_text(size_t units, const Text& text, const uint16_t* others) {
  std::vector<WCHAR> out(units);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (size_t i = 0; i < units; i++) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    uint32_t r = static_cast<uint32_t>(state >> 33);
    if (r % 100 < text.beyond_ascii) {
      out[i] = others[(r >> 8) % 16];
    } else if (r % 6 == 0) {
      out[i] = ' ';
    } else {
      out[i] = static_cast<WCHAR>('a' + (r >> 8) % 26);
    }
  }
  return out;
}

template <typename Run>
double best_seconds(Run run) {
  double best = 1e30;
  for (int i = 0; i < kRuns; i++) {
    auto start = std::chrono::steady_clock::now();
    run();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (took.count() < best) best = took.count();
  }
  return best;
}

void bench(UINT page, const Text& text, size_t megabytes) {
  const uint16_t* others = page == CP_UTF8 ? kWorld : kLatin;
  size_t units = (megabytes << 20) / (page == CP_UTF8 && text.beyond_ascii > 10 ? 2 : 1);
  std::vector<WCHAR> wide = make_text(units, text, others);
  std::vector<char> narrow(units * 3);
  std::vector<WCHAR> back(units);
  const char replacement = 0x0F;
  BOOL used = FALSE;
  BOOL* report = page == CP_UTF8 ? nullptr : &used;
  const char* fallback = page == CP_UTF8 ? nullptr : &replacement;

  int bytes = 0;
  double encode = best_seconds([&] {
    bytes = WideCharToMultiByte(page, 0, wide.data(), static_cast<int>(units), narrow.data(),
                                static_cast<int>(narrow.size()), fallback, report);
  });
  int got = 0;
  double decode = best_seconds([&] {
    got = MultiByteToWideChar(page, 0, narrow.data(), bytes, back.data(),
                              static_cast<int>(back.size()));
  });
  double mb = bytes / 1048576.0;
  printf("%5u %-12s %6.1f MB  to units %7.0f MB/s  to bytes %7.0f MB/s%s%s\n", page, text.name, mb,
         mb / decode, mb / encode, used ? "  (default used)" : "",
         got == static_cast<int>(units) && back == wide ? "" : "  (round trip differs)");
}

}  // namespace

int main(int argc, char** argv) {
  size_t megabytes = argc > 1 ? strtoul(argv[1], nullptr, 10) : 100;
  const Text kTexts[] = {{"ascii-heavy", 1}, {"mixed", 40}};
  printf("code-page conversions on about %zu MB of narrow text (best of %d)\n", megabytes, kRuns);
  for (UINT page : {1252u, 437u, static_cast<UINT>(CP_UTF8)}) {
    for (const Text& text : kTexts) bench(page, text, megabytes);
  }
  return 0;
}
