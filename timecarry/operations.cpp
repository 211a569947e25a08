// The operation string: pairs of a source letter and a destination letter,
// with steps and an operator between them, evaluated left to right against
// the source file's times.
//
//   pair     = source { step } [ operator ] destination
//   step     = ( '+' | '-' ) [ digits unit ]
//   source, destination = one of  # W C A G . : N  (either case)
//   unit     = 's' | 'm' | 'h' | 'd'  (either case)
//   operator = '<' min | '>' max | '=' ifEqual | '!' ifNotEqual | '~' ifApproxEqual
//
// Spaces may stand before a pair, nowhere else. An upper-case source letter
// rounds its time to 2 seconds. A bare '+' or '-' moves to the start of the
// next or previous minute; with digits and a unit it moves by exactly that
// much. '#' as the source cancels the destination. A condition that fails
// ends the evaluation: pairs before it stand, the rest is neither applied nor
// checked.
#include "timecarry/timecarry.h"

namespace {

// The letters with bit 0x20 cleared, so that both cases match: '#' is 0x03,
// '.' is 0x0E and ':' is 0x1A.
constexpr char time_letters[] = "\x03WCAG\x0E\x1AN";

// The index of every byte's letter (-1 for none), looked up once per byte.
struct letter_indices {
  int8_t of[256];
  constexpr letter_indices() : of{} {
    for (int c = 0; c < 256; c++) {
      of[c] = -1;
      for (int i = 0; i < time_count && of[c] < 0; i++) {
        if (time_letters[i] == static_cast<char>(c & ~0x20)) of[c] = static_cast<int8_t>(i);
      }
    }
  }
};
constexpr letter_indices letter_index_of;

constexpr file_time one_minute = 600000000;
constexpr file_time equal_bound = 40000000;          // 4 seconds, included
constexpr file_time approx_bound = 864000000000ull;  // 24 hours, excluded

// The value moved to the start of the next (or previous) minute.
file_time step_minute(file_time value, bool forward) {
  file_time minutes = value / one_minute;
  return (forward ? minutes + 1 : minutes - 1) * one_minute;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The length of a shift's unit; 0 for a character that is none.
file_time unit_length(char unit) {
  switch (unit | 0x20) {
    case 's': return 10000000;
    case 'm': return one_minute;
    case 'h': return 60 * one_minute;
    case 'd': return 24 * 60 * one_minute;
    default: return 0;
  }
}

// The value moved by exactly count units. A result before 1601 or beyond the
// largest time (or a value that is no time, as '.') is reported and the
// value stays as it was.
void shift_exactly(timecarry_run* run, file_time* value, bool forward, uint64_t count,
                   file_time unit) {
  file_time v = *value;
  bool fits = v <= time_largest && count <= time_largest / unit;
  file_time amount = fits ? count * unit : 0;
  if (fits && (forward ? amount <= time_largest - v : amount <= v)) {
    *value = forward ? v + amount : v - amount;
    return;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  report_error(run, "Cannot shift timestamp %lu ", v);
  run->exit_status |= exit_rounding_failed;
}

bool refuse(timecarry_run* run, const char* operations, const char* at, illegal_kind kind) {
  run->illegal = kind;
  run->illegal_at = static_cast<uint32_t>(at - operations) + 1;
  return false;
}

bool is_operator(char c) { return c == '<' || c == '>' || c == '=' || c == '!' || c == '~'; }

// The distance between two times, as a signed difference made positive.
file_time distance(file_time a, file_time b) {
  file_time d = a - b;
  return static_cast<int64_t>(d) < 0 ? file_time{0} - d : d;
}

bool condition_holds(char op, file_time value, file_time reference) {
  file_time d = distance(value, reference);
  if (op == '=') return d <= equal_bound;
  if (op == '!') return d > equal_bound;
  return d < approx_bound;  // '~'
}

// The source value of a pair, rounded when the letter is upper case; a value
// that cannot be rounded is reported and carries on unrounded.
file_time source_value(timecarry_run* run, char letter, int index) {
  file_time value = run->source_times[index];
  if (letter < 'A' || letter > 'Z') return value;
  file_time rounded;
  if (round_to_dos_time(value, &rounded)) return rounded;
  report_error(run, "Cannot convert timestamp %lu ", value);
  run->exit_status |= exit_rounding_failed;
  return value;
}

// The steps after a source letter, from `at`: the place after them, or null
// (with the run told why) for digits without a unit.
const char* take_steps(timecarry_run* run, const char* operations, const char* at,
                       file_time* value) {
  constexpr uint64_t count_limit = time_largest / 10;  // any count above is out of range
  while (*at == '+' || *at == '-') {
    bool forward = *at++ == '+';
    if (!is_digit(*at)) {
      *value = step_minute(*value, forward);
      continue;
    }
    uint64_t count = 0;
    for (; is_digit(*at); at++) {
      count = count <= count_limit ? count * 10 + static_cast<uint64_t>(*at - '0') : time_largest;
    }
    file_time unit = unit_length(*at);
    if (unit == 0) {
      refuse(run, operations, at, illegal_unit);
      return nullptr;
    }
    at++;
    shift_exactly(run, value, forward, count, unit);
  }
  return at;
}

}  // namespace

int time_letter_index(char letter) { return letter_index_of.of[static_cast<uint8_t>(letter)]; }

char time_letter(time_index index) { return time_letters[index]; }

// Which source times the string read is known once a pass reached its end:
// a later pass reads no others (a condition may only end it sooner).
bool evaluate_operations(timecarry_run* run, const char* operations) {
  run->new_times_given = 0;
  uint8_t reads = 0;
  const char* at = operations;
  for (;;) {
    while (*at == ' ') at++;
    if (*at == 0) {
      run->string_reads = reads;
      run->string_reads_known = true;
      return true;
    }
    int source = time_letter_index(*at);
    if (source < 0) return refuse(run, operations, at, illegal_letter);
    reads |= static_cast<uint8_t>(1u << source);
    file_time value = source_value(run, *at, source);
    at = take_steps(run, operations, at + 1, &value);
    if (at == nullptr) return false;
    char op = is_operator(*at) ? *at++ : 0;
    int destination = time_letter_index(*at);
    if (destination < 0) return refuse(run, operations, at, illegal_letter);
    at++;

    if (op != 0) reads |= static_cast<uint8_t>(1u << destination);
    file_time reference = run->source_times[destination];
    if (op == '<' && reference < value) value = reference;
    if (op == '>' && reference > value) value = reference;
    if ((op == '=' || op == '!' || op == '~') && !condition_holds(op, value, reference)) {
      return true;
    }
    if (source == time_ignore) {
      run->new_times_given &= static_cast<uint8_t>(~(1u << destination));
    } else {
      run->new_times[destination] = value;
      run->new_times_given |= static_cast<uint8_t>(1u << destination);
    }
  }
}

bool take_saved_time(timecarry_run* run, const char* operations) {
  const char* at = operations + 1;  // after the '@'
  run->saved = time_write;
  if (*at != 0) {
    int index = time_letter_index(*at);
    if (index < time_write || index > time_change) {
      return refuse(run, operations, at, illegal_saved_letter);
    }
    run->saved = static_cast<time_index>(index);
    at++;
  }
  if (*at != 0) return refuse(run, operations, at, illegal_extra);
  run->save = true;
  return true;
}

void print_illegal_operations(timecarry_run* run, const char* operations) {
  static const char* const reasons[] = {
      "is not a time letter",
      "is not a unit (s, m, h or d)",
      "is not a time letter of a file (W, C, A or G)",
      "is more than ?@ takes (one time letter)",
  };
  const char* reason = reasons[run->illegal];
  uint32_t at = run->illegal_at;
  char c = operations[at - 1];
  if (c == 0) {
    print_output(run, "Illegal operation string \"%s\": end at %u %s\n", operations, at, reason);
  } else {
    print_output(run, "Illegal operation string \"%s\": '%c' at %u %s\n", operations,
                 uint32_t{static_cast<uint8_t>(c)}, at, reason);
  }
}
