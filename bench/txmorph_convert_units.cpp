// convertUnits in both directions on 100 MB of text, for the ANSI page 1252,
// the OEM page 437 and UTF-8, with ASCII-heavy and mixed text. Prints MB/s of
// the narrow text (the file as it is on disk), the best of a few runs on
// buffers already touched, so that page faults do not count.
//
//   bench_txmorph_convert_units [megabytes]
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "runtime/rt.h"
#include "txmorph/text/conversion_state.h"
#include "txmorph/text/convert_units.h"
#include "txmorph/text/text_string.h"

void rt_out_of_memory(uint32_t size) {
  fprintf(stderr, "\nOut of memory (%d)\n", static_cast<int32_t>(size));
  _exit(1);
}

namespace {

using txmorph::conversionState;
using txmorph::convertUnitsInto;
using txmorph::kNarrow;
using txmorph::kWide;

constexpr int kRuns = 3;

struct Mix {
  const char* name;
  int nonAsciiPercent;     // of the characters
  const char16_t* others;  // the non-ASCII characters drawn from
};

// Characters that 1252 and 437 both have, and for UTF-8 also two- and
// three-byte ones beyond them.
const char16_t kLatin[] =
    u"\u00E9\u00E8\u00EA\u00EB\u00E0\u00E2\u00E4\u00E7\u00EE\u00EF"
    u"\u00F4\u00F6\u00F9\u00FB\u00FC\u00F1\u00C4\u00D6\u00DC\u00C9";
const char16_t kWorld[] =
    u"\u00E9\u00FC\u00F1\u0434\u0436\u03B1\u05D0\u65E5\u672C\u8A9E"
    u"\uAC00\u20AC\u2013\u0E01\u00C4\u0439\u4E2D\u6587\u00DF\u3042";

std::vector<uint16_t> makeText(size_t units, const Mix& mix) {
  std::vector<uint16_t> text(units);
  size_t others = 0;
  while (mix.others[others] != 0) others++;
  uint32_t seed = 12345;
  for (size_t i = 0; i < units; i++) {
    seed = seed * 1103515245u + 12345u;
    uint32_t r = seed >> 8;
    if (r % 100 < static_cast<uint32_t>(mix.nonAsciiPercent)) {
      text[i] = mix.others[(r / 100) % others];
    } else if (r % 7 == 0) {
      text[i] = (r % 61 == 0) ? '\n' : ' ';
    } else {
      text[i] = static_cast<uint16_t>('a' + (r / 7) % 26);
    }
  }
  return text;
}

template <typename Run>
double seconds(Run run) {
  auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <typename Run>
double bestSeconds(Run run) {
  double best = 1e30;
  for (int i = 0; i < kRuns; i++) best = std::min(best, seconds(run));
  return best;
}

// Units of `mix` that make about `megabytes` of narrow text in the code page
// of conversionState.
size_t unitsFor(const Mix& mix, size_t megabytes) {
  std::vector<uint16_t> sample = makeText(size_t{1} << 16, mix);
  std::vector<char> narrow(sample.size() * 3);
  uint32_t bytes = convertUnitsInto(sample.data(), static_cast<uint32_t>(sample.size()), kWide,
                                    narrow.data(), static_cast<uint32_t>(narrow.size()), kNarrow);
  double perUnit = bytes ? static_cast<double>(bytes) / sample.size() : 1.0;
  return static_cast<size_t>((megabytes << 20) / perUnit);
}

void benchPage(uint32_t codePage, const Mix& mix, size_t megabytes) {
  conversionState.codePage = codePage;
  conversionState.replacementByte = 0x0F;
  conversionState.usedReplacement = 0;
  size_t units = unitsFor(mix, megabytes);
  std::vector<uint16_t> wide = makeText(units, mix);
  std::vector<char> narrow(units * 3);
  std::vector<uint16_t> back(units);

  uint32_t count = static_cast<uint32_t>(units);
  uint32_t room = static_cast<uint32_t>(narrow.size());
  uint32_t bytes = 0;
  double toNarrow = bestSeconds(
      [&] { bytes = convertUnitsInto(wide.data(), count, kWide, narrow.data(), room, kNarrow); });
  if (bytes == 0) {
    printf("%5u %-13s failed (error %u)\n", codePage, mix.name, GetLastError());
    return;
  }
  uint32_t got = 0;
  double toWide = bestSeconds(
      [&] { got = convertUnitsInto(narrow.data(), bytes, kNarrow, back.data(), count, kWide); });
  bool same = got == count && back == wide;
  double mb = bytes / 1048576.0;
  printf("%5u %-13s %6.1f MB  to wide %7.0f MB/s  to narrow %7.0f MB/s%s%s\n", codePage, mix.name,
         mb, mb / toWide, mb / toNarrow, conversionState.usedReplacement ? "  (replaced)" : "",
         same ? "" : "  (round trip differs)");
}

// The whole width change of a loaded text as txmorph makes it: a new block
// for each form, the old one released.
void benchTextString(uint32_t codePage, const Mix& mix, size_t megabytes) {
  conversionState.codePage = codePage;
  conversionState.usedReplacement = 0;
  size_t units = unitsFor(mix, megabytes);
  std::vector<uint16_t> wide = makeText(units, mix);
  txmorph::TextString text;
  txmorph::init(&text);
  txmorph::rebuild(&text, wide.data(), static_cast<uint32_t>(units), kWide, kNarrow, 0);
  double mb = text.length / 1048576.0;
  double toWide = 1e30, toNarrow = 1e30;
  bool converted = true;
  for (int i = 0; i < kRuns; i++) {
    toWide = std::min(toWide, seconds([&] { converted &= txmorph::toWide(&text); }));
    toNarrow = std::min(toNarrow, seconds([&] { converted &= txmorph::toNarrow(&text); }));
  }
  printf("%5u %-13s %6.1f MB  toWide  %7.0f MB/s  toNarrow  %7.0f MB/s  (TextString)%s\n", codePage,
         mix.name, mb, mb / toWide, mb / toNarrow, converted ? "" : "  failed");
  txmorph::release(&text);
}

}  // namespace

int main(int argc, char** argv) {
  rt_heap_init();
  size_t megabytes = argc > 1 ? strtoul(argv[1], nullptr, 10) : 100;
  const Mix kAsciiHeavy = {"ascii-heavy", 1, kLatin};
  const Mix kMixedLatin = {"mixed", 40, kLatin};
  const Mix kMixedWorld = {"mixed world", 40, kWorld};
  printf("convertUnits on %zu MB of narrow text (best of %d)\n", megabytes, kRuns);
  for (uint32_t codePage : {1252u, 437u}) {
    benchPage(codePage, kAsciiHeavy, megabytes);
    benchPage(codePage, kMixedLatin, megabytes);
  }
  benchPage(CP_UTF8, kAsciiHeavy, megabytes);
  benchPage(CP_UTF8, kMixedLatin, megabytes);
  benchPage(CP_UTF8, kMixedWorld, megabytes);
  benchTextString(1252, kAsciiHeavy, megabytes);
  benchTextString(1252, kMixedLatin, megabytes);
  return 0;
}
