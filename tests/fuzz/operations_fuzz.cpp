// evaluate_operations over any operation string and source times of the
// fuzzer's choosing, against a plain evaluator written from the language's
// description: the same verdict, the same new times, the same rounding and
// shift reports in the same order and the same exit bit. The string sits in a block
// of its exact size, so a read past its NUL is caught by the sanitizer.
//
// The time zone is UTC, where the 2-second rounding is plain arithmetic: a
// time of the years 1980 to 2107 cut to an even second, anything else a
// failure.
//
// Input: for each of W, C, A, G and N a kind byte and a 64-bit value (see
// time_of); the rest is the operation string.
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_input.h"
#include "timecarry/timecarry.h"

namespace {

constexpr file_time kSecond = 10000000;
constexpr file_time kMinute = 60 * kSecond;
constexpr file_time kDosFirst = 119600064000000000ull;  // 1980-01-01 00:00 UTC
constexpr file_time kDosEnd = 159992928000000000ull;    // 2108-01-01 00:00 UTC
constexpr file_time kSomeTime = 132593348967000000ull;  // 2021-03-04 12:34:56.7 UTC

// Distances at which the operators change their minds.
const file_time kEdges[] = {0,
                            1,
                            4 * kSecond - 1,
                            4 * kSecond,
                            4 * kSecond + 1,
                            24 * 60 * kMinute - 1,
                            24 * 60 * kMinute,
                            24 * 60 * kMinute + 1,
                            kMinute,
                            2 * kSecond};

// A source time: near a fixed time (in steps of 100 ns, 1 ms or 1 s), near
// either end of the DOS range, a constant, any value at all, or one of the
// edges away from the time given before it.
file_time time_of(uint8_t kind, uint64_t value, file_time before) {
  int64_t offset = static_cast<int32_t>(static_cast<uint32_t>(value));
  file_time edge = kEdges[value % (sizeof kEdges / sizeof kEdges[0])];
  switch (kind % 10) {
    case 0: return kSomeTime + static_cast<file_time>(offset);
    case 1: return kSomeTime + static_cast<file_time>(offset * 10000);
    case 2: return kSomeTime + static_cast<file_time>(offset * static_cast<int64_t>(kSecond));
    case 3: return kDosFirst + static_cast<file_time>(static_cast<int8_t>(value) * 1000000);
    case 4: return kDosEnd + static_cast<file_time>(static_cast<int8_t>(value) * 1000000);
    case 5: return time_all_ones;
    case 6: return time_largest;
    case 7: return value;
    case 8: return before + edge;
    default: return before - edge;
  }
}

// ---------------------------------------------------------------------------
// The reference evaluator.

// A report of a value that could not be rounded or shifted, in order.
struct Report {
  const char* what;  // "convert" or "shift"
  file_time value;
};

struct Expected {
  bool legal;
  file_time times[time_count];
  bool given[time_count];
  std::vector<Report> reports;
};

const char kLetters[] = "#WCAG.:N";

int letter_index(uint8_t c) {
  for (int i = 0; i < time_count; i++) {
    if ((c & 0xDF) == (static_cast<uint8_t>(kLetters[i]) & 0xDF)) return i;
  }
  return -1;
}

file_time rounded(file_time value, Expected* e) {
  if (value < kDosFirst || value >= kDosEnd) {
    e->reports.push_back({"convert", value});
    return value;
  }
  return value - value % (2 * kSecond);
}

// An exact shift of count units, in 128-bit arithmetic: the result must stay
// within 0 and the largest time, or the value stays and is reported.
file_time shifted(file_time value, bool forward, unsigned __int128 count, file_time unit,
                  Expected* e) {
  __int128 moved =
      static_cast<__int128>(value) + (forward ? 1 : -1) * static_cast<__int128>(count * unit);
  if (value > time_largest || moved < 0 || moved > static_cast<__int128>(time_largest)) {
    e->reports.push_back({"shift", value});
    return value;
  }
  return static_cast<file_time>(moved);
}

file_time unit_of(uint8_t c) {
  switch (c) {
    case 's':
    case 'S': return kSecond;
    case 'm':
    case 'M': return kMinute;
    case 'h':
    case 'H': return 60 * kMinute;
    case 'd':
    case 'D': return 24 * 60 * kMinute;
    default: return 0;
  }
}

bool holds(uint8_t op, file_time value, file_time reference) {
  int64_t difference = static_cast<int64_t>(value - reference);
  file_time d =
      difference < 0 ? 0 - static_cast<file_time>(difference) : static_cast<file_time>(difference);
  if (op == '=') return d <= 4 * kSecond;
  if (op == '!') return d > 4 * kSecond;
  return d < 24 * 60 * kMinute;
}

Expected evaluate(const file_time* sources, const uint8_t* s) {
  Expected e{};
  size_t i = 0;
  for (;;) {
    while (s[i] == ' ') i++;
    if (s[i] == 0) {
      e.legal = true;
      return e;
    }
    int source = letter_index(s[i]);
    if (source < 0) return e;
    file_time value = sources[source];
    if (s[i] >= 'A' && s[i] <= 'Z') value = rounded(value, &e);
    i++;
    while (s[i] == '+' || s[i] == '-') {
      bool forward = s[i++] == '+';
      if (s[i] < '0' || s[i] > '9') {
        value = (value / kMinute + (forward ? 1 : file_time{0} - 1)) * kMinute;
        continue;
      }
      unsigned __int128 count = 0;
      for (; s[i] >= '0' && s[i] <= '9'; i++) {
        if (count < (static_cast<unsigned __int128>(1) << 80)) count = count * 10 + (s[i] - '0');
      }
      file_time unit = unit_of(s[i]);
      if (unit == 0) return e;
      i++;
      value = shifted(value, forward, count, unit, &e);
    }
    uint8_t op = 0;
    if (s[i] != 0 && strchr("<>=!~", s[i]) != nullptr) op = s[i++];
    int destination = letter_index(s[i]);
    if (destination < 0) return e;
    i++;
    file_time reference = sources[destination];
    if (op == '<') value = value < reference ? value : reference;
    if (op == '>') value = value > reference ? value : reference;
    if ((op == '=' || op == '!' || op == '~') && !holds(op, value, reference)) {
      e.legal = true;
      return e;
    }
    e.given[destination] = source != time_ignore;
    e.times[destination] = value;
  }
}

// ---------------------------------------------------------------------------
// What evaluate_operations printed: one report per value, in order.

std::string printed;

uint8_t keep_output(uint32_t ch, rt_fmt_ctx* ctx) {
  printed += static_cast<char>(ch);
  ctx->count++;
  return 0;
}

void check_reports(const std::vector<Report>& reports) {
  size_t at = 0;
  for (const Report& r : reports) {
    std::string report =
        std::string("ERROR! Cannot ") + r.what + " timestamp " + std::to_string(r.value) + "  -- ";
    FUZZ_CHECK(printed.compare(at, report.size(), report) == 0, "report of %llu at %zu",
               static_cast<unsigned long long>(r.value), at);
    size_t end = printed.find('\n', at);
    FUZZ_CHECK(end != std::string::npos, "the report ends its line");
    at = end + 1;
  }
  FUZZ_CHECK(at == printed.size(), "nothing printed besides %zu reports", reports.size());
}

bool set_up() {
  setenv("TZ", "UTC0", 1);
  tzset();
  rt_print_sink = keep_output;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = set_up();
  (void)ready;
  FuzzInput in = fuzz_input(data, size);
  timecarry_run run;
  init_run(&run);
  run.console_is_oem = false;
  const time_index given[] = {time_write, time_creation, time_access, time_change, time_now};
  file_time before = kSomeTime;
  for (time_index index : given) {
    uint8_t kind = take_byte(&in);
    before = run.source_times[index] = time_of(kind, take_u64(&in), before);
  }
  run.source_times[time_preserve] = time_all_ones;
  run.source_times[time_maximum] = time_largest;
  // Whatever new_times held before must not matter.
  for (int i = 0; i < time_count; i++) run.new_times[i] = ~run.source_times[i];
  run.new_times_given = 0xFF;

  const uint8_t* bytes;
  size_t length = take_rest(&in, &bytes);
  char* operations = static_cast<char*>(malloc(length + 1));
  memcpy(operations, bytes, length);
  operations[length] = 0;

  Expected e = evaluate(run.source_times, reinterpret_cast<const uint8_t*>(operations));
  printed.clear();
  bool legal = evaluate_operations(&run, operations);
  free(operations);

  FUZZ_CHECK(legal == e.legal, "verdict %d, expected %d", legal, e.legal);
  check_reports(e.reports);
  uint8_t bits = e.reports.empty() ? exit_nothing_done : exit_nothing_done | exit_rounding_failed;
  FUZZ_CHECK(run.exit_status == bits, "exit status %d, expected %d", run.exit_status, bits);
  if (!legal) return 0;  // nothing of it is used
  for (int i = 0; i < time_count; i++) {
    bool is_given = (run.new_times_given >> i) & 1;
    FUZZ_CHECK(is_given == e.given[i], "entry %d given: %d, expected %d", i, is_given, e.given[i]);
    if (is_given) {
      FUZZ_CHECK(run.new_times[i] == e.times[i], "entry %d: %llu, expected %llu", i,
                 static_cast<unsigned long long>(run.new_times[i]),
                 static_cast<unsigned long long>(e.times[i]));
    }
  }
  return 0;
}
