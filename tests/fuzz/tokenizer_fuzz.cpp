// The token reader over any bytes:
// - its tokens are those of a model of the splitting rules, with a second
//   text pushed after some token and the first one resumed after it;
// - the tokens joined back with the runtime's quoting (each in double quotes,
//   inner quotes doubled) split into the same tokens;
// - the same tokens as program arguments come back from GetCommandLineA
//   through rt_build_argv unchanged.
// Every text sits in a block of its exact size, so a read past the pushed
// length is caught by the sanitizer.
//
// Input: the capacity byte (bit 7: the programs' 275, else the low 7 bits);
// the push byte (0: no second text, else push it after that many tokens
// minus one); the separator byte for the join; the second text's length
// byte and bytes; the rest is the first text.
#include <string.h>

#include <string>
#include <vector>

#include "platform/test_switches.h"
#include "runtime/rt.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using Tokens = std::vector<std::string>;

// ---------------------------------------------------------------------------
// The model: the four states of the splitting table.

bool is_separator(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0; }

struct ModelToken {
  std::string text;
  size_t after;  // the position after the byte that ended it
};

// The next token from `at` on, or false at the end of the text.
bool model_next(const std::string& text, size_t at, uint32_t capacity, ModelToken* token) {
  enum { BETWEEN, PLAIN, QUOTED, QUOTE_SEEN } state = BETWEEN;
  std::string kept;
  auto keep = [&](char c) {
    if (kept.size() < capacity) kept += c;
  };
  for (;; at++) {
    if (at == text.size()) {
      if (state == BETWEEN) return false;
      break;
    }
    uint8_t c = static_cast<uint8_t>(text[at]);
    if (state == QUOTED) {
      if (c == '"') {
        state = QUOTE_SEEN;
      } else {
        keep(static_cast<char>(c));
      }
      continue;
    }
    if (state == QUOTE_SEEN && c == '"') {
      keep('"');
      state = QUOTED;
      continue;
    }
    // Between tokens, plain, or after a closing quote: the same three cases.
    if (c == '"') {
      state = QUOTED;
    } else if (is_separator(c)) {
      if (state != BETWEEN) {
        at++;
        break;
      }
    } else {
      keep(static_cast<char>(c));
      state = PLAIN;
    }
  }
  token->text = kept;
  token->after = at;
  return true;
}

Tokens model_split(const std::string& text, size_t from, uint32_t capacity, size_t limit,
                   size_t* after) {
  Tokens tokens;
  ModelToken token;
  size_t at = from;
  while (tokens.size() < limit && model_next(text, at, capacity, &token)) {
    tokens.push_back(token.text);
    at = token.after;
  }
  if (after) *after = at;
  return tokens;
}

// ---------------------------------------------------------------------------
// The reader.

char* exact_copy(const std::string& text) {
  char* copy = static_cast<char*>(malloc(text.size() ? text.size() : 1));
  memcpy(copy, text.data(), text.size());
  return copy;
}

void take_token(rt_tokenizer* reader, const char* token, Tokens* tokens) {
  FUZZ_CHECK(token == reader->buffer, "the token is in the reader's buffer");
  FUZZ_CHECK(reader->length <= reader->capacity, "length %u over capacity %u", reader->length,
             reader->capacity);
  FUZZ_CHECK(token[reader->length] == 0 && strlen(token) <= reader->length,
             "the token ends with a NUL at its length");
  tokens->emplace_back(token, reader->length);
}

// Splits `first`, pushing `second` after `push_after` tokens when asked.
Tokens reader_split(const std::string& first, const std::string* second, size_t push_after,
                    uint32_t capacity) {
  char* one = exact_copy(first);
  char* two = second ? exact_copy(*second) : nullptr;
  rt_tokenizer reader;
  rt_tok_init(&reader, capacity);
  rt_tok_push_mem(&reader, one, static_cast<uint32_t>(first.size()));
  Tokens tokens;
  bool pushed = second == nullptr;
  for (;;) {
    if (!pushed && tokens.size() == push_after) {
      rt_tok_push_mem(&reader, two, static_cast<uint32_t>(second->size()));
      pushed = true;
    }
    const char* token = rt_tok_next(&reader);
    if (token == nullptr) {
      if (pushed) break;
      rt_tok_push_mem(&reader, two, static_cast<uint32_t>(second->size()));
      pushed = true;
      continue;
    }
    take_token(&reader, token, &tokens);
  }
  FUZZ_CHECK(rt_tok_next(&reader) == nullptr, "the end repeats");
  FUZZ_CHECK(reader.count == tokens.size(), "count %u for %zu tokens", reader.count, tokens.size());
  FUZZ_CHECK(reader.depth == 0 && reader.suspended == nullptr,
             "every pushed text is dropped at the end (depth %u)", reader.depth);
  rt_tok_destroy(&reader);
  free(one);
  free(two);
  return tokens;
}

std::string joined(const Tokens& tokens, char separator) {
  std::string line;
  for (size_t i = 0; i < tokens.size(); i++) {
    if (i > 0) line += separator;
    line += '"';
    for (char c : tokens[i]) line += c == '"' ? std::string("\"\"") : std::string(1, c);
    line += '"';
  }
  return line;
}

void check_same(const Tokens& got, const Tokens& expected, const char* what) {
  FUZZ_CHECK(got.size() == expected.size(), "%s: %zu tokens, expected %zu", what, got.size(),
             expected.size());
  for (size_t i = 0; i < got.size(); i++) {
    FUZZ_CHECK(got[i] == expected[i], "%s: token %zu differs", what, i);
  }
}

// The tokens as the arguments of a process, split again by rt_build_argv.
// A quoted NUL is kept in a token, but no argument can hold one.
void check_argument_vector(const Tokens& tokens) {
  if (tokens.empty()) return;  // no line to keep the string block alive
  for (const std::string& token : tokens) {
    if (token.find('\0') != std::string::npos) return;
  }
  std::vector<char*> argv;
  for (const std::string& token : tokens) argv.push_back(const_cast<char*>(token.c_str()));
  plat_set_arguments(static_cast<int>(argv.size()), argv.data());
  rt_build_argv();
  FUZZ_CHECK(rt_argc == static_cast<int32_t>(tokens.size()), "rt_argc %d for %zu arguments",
             rt_argc, tokens.size());
  for (size_t i = 0; i < tokens.size(); i++) {
    FUZZ_CHECK(tokens[i] == rt_argv[i], "argument %zu differs", i);
  }
  FUZZ_CHECK(rt_argv[tokens.size()] == nullptr, "the vector ends with a null pointer");
  // The block of the strings starts with the first one.
  rt_free(rt_argv[0]);
  rt_free(rt_argv);
  rt_argv = nullptr;
  rt_argc = 0;
  plat_set_arguments(0, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in = fuzz_input(data, size);
  uint8_t capacity_byte = take_byte(&in);
  uint32_t capacity = (capacity_byte & 0x80) ? RT_TOKEN_CAPACITY : capacity_byte & 0x7F;
  uint8_t push = take_byte(&in);
  const char separators[] = {' ', '\t', '\r', '\n', '\0'};
  char separator = separators[take_byte(&in) % sizeof separators];
  const uint8_t* bytes;
  size_t length = take_bytes(&in, take_byte(&in), &bytes);
  std::string second(reinterpret_cast<const char*>(bytes), length);
  length = take_rest(&in, &bytes);
  std::string first(reinterpret_cast<const char*>(bytes), length);

  Tokens expected;
  if (push == 0) {
    expected = model_split(first, 0, capacity, SIZE_MAX, nullptr);
  } else {
    size_t after = 0;
    expected = model_split(first, 0, capacity, push - 1u, &after);
    Tokens middle = model_split(second, 0, capacity, SIZE_MAX, nullptr);
    Tokens rest = model_split(first, after, capacity, SIZE_MAX, nullptr);
    expected.insert(expected.end(), middle.begin(), middle.end());
    expected.insert(expected.end(), rest.begin(), rest.end());
  }
  Tokens got = reader_split(first, push ? &second : nullptr, push - 1u, capacity);
  check_same(got, expected, "split");
  check_same(reader_split(joined(got, separator), nullptr, 0, capacity), got, "joined again");
  check_argument_vector(got);
  return 0;
}
