// The operation string: pairs of a source letter and a destination letter,
// with one-minute steps and an operator between them, evaluated left to right
// against the source file's times.
//
//   pair     = source { '+' | '-' } [ operator ] destination
//   source, destination = one of  # W C A G . : N  (either case)
//   operator = '<' min | '>' max | '=' ifEqual | '!' ifNotEqual | '~' ifApproxEqual
//
// Spaces may stand before a pair, nowhere else. An upper-case source letter
// rounds its time to 2 seconds. '#' as the source cancels the destination.
// A condition that fails ends the evaluation: pairs before it stand, the rest
// is neither applied nor checked.
#include "timecarry/timecarry.h"

namespace {

// The letters with bit 0x20 cleared, so that both cases match: '#' is 0x03,
// '.' is 0x0E and ':' is 0x1A.
const char time_letters[] = "\x03WCAG\x0E\x1AN";

constexpr file_time one_minute = 600000000;
constexpr file_time equal_bound = 40000000;          // 4 seconds, included
constexpr file_time approx_bound = 864000000000ull;  // 24 hours, excluded

// The value moved to the start of the next (or previous) minute.
file_time step_minute(file_time value, bool forward) {
  file_time minutes = value / one_minute;
  return (forward ? minutes + 1 : minutes - 1) * one_minute;
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
  report_error("Cannot convert timestamp %lu ", value);
  run->exit_status |= exit_rounding_failed;
  return value;
}

}  // namespace

int time_letter_index(char letter) {
  char key = static_cast<char>(letter & ~0x20);
  for (int i = 0; i < time_count; i++) {
    if (time_letters[i] == key) return i;
  }
  return -1;
}

char time_letter(time_index index) { return time_letters[index]; }

bool evaluate_operations(timecarry_run* run, const char* operations) {
  run->new_times_given = 0;
  const char* at = operations;
  for (;;) {
    while (*at == ' ') at++;
    if (*at == 0) return true;
    int source = time_letter_index(*at);
    if (source < 0) return false;
    file_time value = source_value(run, *at, source);
    at++;
    for (; *at == '+' || *at == '-'; at++) value = step_minute(value, *at == '+');
    char op = is_operator(*at) ? *at++ : 0;
    int destination = time_letter_index(*at);
    if (destination < 0) return false;
    at++;

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
