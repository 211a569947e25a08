// The format engine against a model of the format language: any format
// string over argument slots of the fuzzer's choosing must give exactly the
// model's bytes, and the count must be the number of bytes the sink took.
// The format and every string argument sit in blocks of their exact size, so
// a read past a terminating NUL is caught by the sanitizer. rt_printf is held
// to the same model through the standard-output sink, its output caught in a
// memory file.
//
// Input: an options byte; four pairs (unrecognised letter, what the sink
// answers for it); kSlots 64-bit slot values; kStrings strings (a length byte,
// then the bytes); the rest is the format.
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "runtime/rt.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

static_assert(sizeof(void*) == 8, "the slots are passed as 64-bit words");

constexpr int kSlots = 12;
constexpr int kStrings = 4;
constexpr int kAnswers = 4;
// A conversion that would take the output past this is where the format is cut.
constexpr size_t kMaxOutput = 1 << 16;

enum : uint8_t { OPT_ANSWERS = 1, OPT_PRINTF = 2 };

// What a sink may answer for an unrecognised letter: every byte the engine
// knows, so that a chain of answers always ends.
const char kKnown[] = "0123456789*,-;.lc%diuxbs";

struct Answers {
  uint8_t letter[kAnswers];
  uint8_t answer[kAnswers];
  bool enabled;
};

uint8_t answer_for(const Answers& answers, uint8_t letter) {
  if (!answers.enabled) return 0;
  for (int i = 0; i < kAnswers; i++) {
    if (answers.letter[i] == letter) return answers.answer[i];
  }
  return 0;
}

// How a slot is read: the kind decides what the caller must put there.
enum SlotKind : uint8_t { SLOT_NUMBER, SLOT_STRING };

// ---------------------------------------------------------------------------
// The model: the format language as its description states it, one
// conversion at a time, with no shared code with the engine.

struct Model {
  const uint8_t* format;
  const uint64_t* values;
  const char* const* strings;  // the string each string slot points at
  const Answers* answers;
  size_t at;
  int slots_used;
  SlotKind kinds[kSlots];
  std::string out;
  bool cut;  // the format is cut at `cut_at` (a '%'): slots or output ran out
  size_t cut_at;
};

struct Directive {
  int32_t number = -1;
  uint8_t flags = 0;
  char fill = ' ';
  uint32_t base = 10;
  int8_t group = 127;
  char sign = 0;  // 0 none, '-' minus mode, '+' plus mode
};

// The next slot, or false when the fuzzer gave no more.
bool next_slot(Model* m, SlotKind kind, uint64_t* value) {
  if (m->slots_used == kSlots) return false;
  m->kinds[m->slots_used] = kind;
  *value = m->values[m->slots_used];
  if (kind == SLOT_STRING) {
    *value = reinterpret_cast<uintptr_t>(m->strings[m->slots_used % kStrings]);
  }
  m->slots_used++;
  return true;
}

std::string number_text(const Directive& directive, uint64_t value) {
  std::string sign;
  if (directive.sign != 0 && static_cast<int64_t>(value) < 0) {
    value = 0 - value;
    sign = "-";
  } else if (directive.sign == '+' && value != 0) {
    sign = "+";
  }
  std::string reversed;  // least significant first
  int produced = 0;
  do {
    if (directive.group <= 0 || (produced > 0 && produced % directive.group == 0)) reversed += ',';
    uint32_t digit = static_cast<uint32_t>(value % directive.base);
    value /= directive.base;
    reversed += static_cast<char>(digit < 10 ? '0' + digit : 'A' + digit - 10);
    produced++;
  } while (value != 0);
  return sign + std::string(reversed.rbegin(), reversed.rend());
}

// The layout of a text by N and the flags, or false when it would be too long.
bool lay_out(Model* m, const Directive& directive, std::string text) {
  int64_t fill =
      directive.number >= 0 ? int64_t{directive.number} - static_cast<int64_t>(text.size()) : 0;
  if (fill < 0 && (directive.flags & 0x08)) {
    size_t keep = static_cast<size_t>(directive.number);
    text = (directive.flags & 0x04) ? text.substr(text.size() - keep) : text.substr(0, keep);
  }
  bool left = (directive.flags & 0x01) && fill > 0;
  bool right = !left && (directive.flags & 0x02) && fill > 0;
  size_t padding = left || right ? static_cast<size_t>(fill) : 0;
  if (m->out.size() + text.size() + padding > kMaxOutput) return false;
  if (left) m->out.append(padding, directive.fill);
  m->out += text;
  if (right) m->out.append(padding, directive.fill);
  return true;
}

bool repeat(Model* m, const Directive& directive, char ch) {
  size_t times = directive.number < 0 ? 1 : static_cast<size_t>(directive.number);
  if (m->out.size() + times > kMaxOutput) return false;
  m->out.append(times, ch);
  return true;
}

enum Step { STEP_MORE, STEP_DONE, STEP_CUT };

// One byte of a conversion, from the format or answered by the sink.
Step conversion_byte(Model* m, Directive* directive, uint8_t c) {
  for (;;) {
    uint64_t value = 0;
    if (c >= '0' && c <= '9') {
      uint32_t n = c - '0';
      while (m->format[m->at] >= '0' && m->format[m->at] <= '9') {
        n = n * 10 + (m->format[m->at++] - '0');
      }
      directive->number = static_cast<int32_t>(n);
      if (c == '0') directive->fill = '0';
      if (directive->flags == 0) directive->flags = 0x01;
      return STEP_MORE;
    }
    switch (c) {
      case '*':
        if (!next_slot(m, SLOT_NUMBER, &value)) return STEP_CUT;
        directive->number = static_cast<int32_t>(static_cast<uint32_t>(value));
        if (m->format[m->at] == '*') {
          m->at++;
          directive->flags = static_cast<uint8_t>(directive->number);
          directive->number >>= 8;
        }
        return STEP_MORE;
      case ',':
        directive->group = static_cast<int8_t>(directive->number & 0xFF);
        directive->number = -1;
        return STEP_MORE;
      case '-': directive->flags |= 0x02; return STEP_MORE;
      case ';': directive->flags |= 0x04; return STEP_MORE;
      case '.': directive->flags |= 0x08; return STEP_MORE;
      case 'l': directive->flags |= 0x80; return STEP_MORE;
      case 'c':
        if (!next_slot(m, SLOT_NUMBER, &value)) return STEP_CUT;
        return repeat(m, *directive, static_cast<char>(value)) ? STEP_DONE : STEP_CUT;
      case '%': return repeat(m, *directive, '%') ? STEP_DONE : STEP_CUT;
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'b':
        if (!next_slot(m, SLOT_NUMBER, &value)) return STEP_CUT;
        if (c == 'x') directive->base = 16;
        if (c == 'b') directive->base = 2;
        if (c == 'd') directive->sign = '-';
        if (c == 'i') directive->sign = '+';
        if (!(directive->flags & 0x80)) {
          uint32_t low = static_cast<uint32_t>(value);
          value = directive->sign ? static_cast<uint64_t>(int64_t{static_cast<int32_t>(low)}) : low;
        }
        return lay_out(m, *directive, number_text(*directive, value)) ? STEP_DONE : STEP_CUT;
      case 's': {
        if (!next_slot(m, SLOT_STRING, &value)) return STEP_CUT;
        const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(value));
        size_t length = strlen(text);
        if (directive->number >= 0 && length > static_cast<size_t>(directive->number)) {
          length = static_cast<size_t>(directive->number);
        }
        return lay_out(m, *directive, std::string(text, length)) ? STEP_DONE : STEP_CUT;
      }
      default: {
        uint8_t answer = answer_for(*m->answers, c);
        if (answer == 0) {
          if (m->out.size() + 1 > kMaxOutput) return STEP_CUT;
          m->out += static_cast<char>(c);
          return STEP_DONE;
        }
        c = answer;  // handled as if it stood in the format
      }
    }
  }
}

void run_model(Model* m) {
  for (;;) {
    uint8_t c = m->format[m->at++];
    if (c == 0) return;
    if (c != '%') {
      if (m->out.size() + 1 > kMaxOutput) {
        m->cut = true;
        m->cut_at = m->at - 1;
        return;
      }
      m->out += static_cast<char>(c);
      continue;
    }
    size_t start = m->at - 1;
    std::string before = m->out;
    int slots_before = m->slots_used;
    Directive directive;
    for (Step step = STEP_MORE; step != STEP_DONE;) {
      c = m->format[m->at];
      if (c == 0) return;  // the format ends inside the conversion
      m->at++;
      step = conversion_byte(m, &directive, c);
      if (step == STEP_CUT) {
        m->out = before;
        m->slots_used = slots_before;
        m->cut = true;
        m->cut_at = start;
        return;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// The engine's side.

struct Taken {
  std::string bytes;
  const Answers* answers;
};

Taken* taken;  // the sink's record for the call running now

uint8_t taking_sink(uint32_t ch, rt_fmt_ctx* ctx) {
  FUZZ_CHECK(ctx->user == reinterpret_cast<uintptr_t>(taken), "the user word is passed through");
  if (ch & RT_FMT_UNKNOWN) {
    uint8_t answer = answer_for(*taken->answers, static_cast<uint8_t>(ch));
    if (answer != 0) return answer;
  }
  FUZZ_CHECK((ch & ~RT_FMT_UNKNOWN) <= 0xFF, "a byte, not %#x", ch);
  taken->bytes += static_cast<char>(ch);
  ctx->count++;
  return 0;
}

int32_t format_slots(rt_sink_fn sink, const char* format, uintptr_t user, ...) {
  va_list args;
  va_start(args, user);
  int32_t count = rt_format(sink, format, args, user);
  va_end(args);
  return count;
}

// The slots as the model used them: numbers as given, strings as pointers.
// On this ABI a 32-bit argument is read from the low half of its 64-bit word.
std::vector<uint64_t> slot_words(const Model& m) {
  std::vector<uint64_t> words(kSlots, 0);
  for (int i = 0; i < kSlots; i++) {
    words[i] = m.values[i];
    if (i < m.slots_used && m.kinds[i] == SLOT_STRING) {
      words[i] = reinterpret_cast<uintptr_t>(m.strings[i % kStrings]);
    }
  }
  return words;
}

#define SLOTS_OF(w) w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9], w[10], w[11]
static_assert(kSlots == 12, "SLOTS_OF passes every slot");

// A format in a block of its exact size, cut where the model cut it.
char* exact_format(const uint8_t* bytes, size_t length) {
  char* format = static_cast<char*>(malloc(length + 1));
  memcpy(format, bytes, length);
  format[length] = 0;
  return format;
}

Model model_of(const uint8_t* format, const uint64_t* values, const char* const* strings,
               const Answers* answers) {
  Model m{format, values, strings, answers, 0, 0, {}, std::string(), false, 0};
  run_model(&m);
  return m;
}

void check_format(const uint8_t* bytes, size_t length, const uint64_t* values,
                  const char* const* strings, const Answers& answers) {
  char* format = exact_format(bytes, length);
  Model m = model_of(reinterpret_cast<const uint8_t*>(format), values, strings, &answers);
  if (m.cut) format[m.cut_at] = 0;
  std::vector<uint64_t> w = slot_words(m);

  Taken record{std::string(), &answers};
  taken = &record;
  int32_t count =
      format_slots(taking_sink, format, reinterpret_cast<uintptr_t>(&record), SLOTS_OF(w));
  taken = nullptr;
  FUZZ_CHECK(record.bytes == m.out, "output differs from the model (%zu bytes, model %zu)",
             record.bytes.size(), m.out.size());
  FUZZ_CHECK(count == static_cast<int32_t>(record.bytes.size()), "count %d for %zu bytes written",
             count, record.bytes.size());
  free(format);
}

// rt_printf through the standard-output sink, standard output being a
// memory file for the call.
int memory_file = -1;
int saved_stdout = -1;

std::string printed_through_stdout(const char* format, const std::vector<uint64_t>& w,
                                   int32_t* count) {
  FUZZ_CHECK(ftruncate(memory_file, 0) == 0 && lseek(memory_file, 0, SEEK_SET) == 0,
             "the memory file is emptied");
  fflush(stdout);
  dup2(memory_file, 1);
  rt_print_sink = rt_sink_stdout;
  *count = rt_printf(format, SLOTS_OF(w));
  dup2(saved_stdout, 1);
  std::string bytes(static_cast<size_t>(lseek(memory_file, 0, SEEK_END)), '\0');
  FUZZ_CHECK(pread(memory_file, &bytes[0], bytes.size(), 0) == static_cast<ssize_t>(bytes.size()),
             "the memory file reads back");
  return bytes;
}

void check_printf(const uint8_t* bytes, size_t length, const uint64_t* values,
                  const char* const* strings) {
  if (memory_file < 0) {
    memory_file = memfd_create("format_fuzz", 0);
    saved_stdout = dup(1);
    FUZZ_CHECK(memory_file >= 0 && saved_stdout >= 0, "a memory file for standard output");
  }
  Answers none{{0}, {0}, false};
  char* format = exact_format(bytes, length);
  Model m = model_of(reinterpret_cast<const uint8_t*>(format), values, strings, &none);
  if (m.cut) format[m.cut_at] = 0;
  int32_t count = 0;
  std::string printed = printed_through_stdout(format, slot_words(m), &count);
  FUZZ_CHECK(printed == m.out, "rt_printf output differs from the model (%zu bytes, model %zu)",
             printed.size(), m.out.size());
  FUZZ_CHECK(count == static_cast<int32_t>(printed.size()), "rt_printf count %d for %zu bytes",
             count, printed.size());
  free(format);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in = fuzz_input(data, size);
  uint8_t options = take_byte(&in);
  Answers answers;
  answers.enabled = (options & OPT_ANSWERS) != 0;
  for (int i = 0; i < kAnswers; i++) {
    answers.letter[i] = take_byte(&in);
    uint8_t pick = take_byte(&in);
    answers.answer[i] = pick < sizeof kKnown - 1 ? static_cast<uint8_t>(kKnown[pick]) : 0;
  }
  uint64_t values[kSlots];
  for (uint64_t& value : values) value = take_u64(&in);
  char* strings[kStrings];
  for (char*& text : strings) {
    const uint8_t* bytes;
    size_t length = take_bytes(&in, take_byte(&in) & 0x3F, &bytes);
    text = static_cast<char*>(malloc(length + 1));
    memcpy(text, bytes, length);
    text[length] = 0;
  }
  const uint8_t* format;
  size_t length = take_rest(&in, &format);

  check_format(format, length, values, strings, answers);
  if (options & OPT_PRINTF) check_printf(format, length, values, strings);
  for (char* text : strings) free(text);
  return 0;
}
