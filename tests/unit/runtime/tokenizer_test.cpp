// The token reader over its edge cases, the suspended-text stack, and the
// argument vector built from the command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/test_switches.h"
#include "runtime/rt.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
// The argument vector lives until the process ends, by design.
#define ARGV_LIVES_ON __lsan::ScopedDisabler keep_argv
#else
#define ARGV_LIVES_ON
#endif

namespace {

std::vector<std::string> split(const std::string& text, uint32_t capacity = RT_TOKEN_CAPACITY,
                               uint32_t* count = nullptr) {
  rt_tokenizer reader;
  rt_tok_init(&reader, capacity);
  rt_tok_push_mem(&reader, text.data(), static_cast<uint32_t>(text.size()));
  std::vector<std::string> tokens;
  while (const char* token = rt_tok_next(&reader)) tokens.emplace_back(token, reader.length);
  EXPECT_EQ(rt_tok_next(&reader), nullptr);  // the end repeats
  EXPECT_EQ(reader.count, tokens.size());
  if (count) *count = reader.count;
  rt_tok_destroy(&reader);
  return tokens;
}

using Tokens = std::vector<std::string>;

struct SplitCase {
  const char* name;
  std::string text;
  Tokens tokens;
};

TEST(Tokenizer, Splitting) {
  const std::string nul("a\0b", 3);
  const SplitCase cases[] = {
      {"empty line", "", {}},
      {"whitespace only", " \t\r\n ", {}},
      {"plain words", "ab cd", {"ab", "cd"}},
      {"quotes alone", "\"\"", {""}},
      {"two quote pairs", "\"\" \"\"", {"", ""}},
      {"doubled quote inside quotes", "\"a\"\"b\"", {"a\"b"}},
      {"quoted section joins a word", "\"ab\"cd", {"abcd"}},
      {"quote in the middle of a word", "ab\"c d\"e", {"abc de"}},
      {"unclosed quote keeps spaces", "x \"a b  ", {"x", "a b  "}},
      {"backslash is ordinary", "\"C:\\dir\\\" next", {"C:\\dir\\", "next"}},
      {"separators", "a\tb\rc\nd", {"a", "b", "c", "d"}},
      {"NUL separates", nul, {"a", "b"}},
      {"quote seen then space", "\"a\" b", {"a", "b"}},
      {"quote seen then end", "\"a\"", {"a"}},
      {"leading and trailing space", "  a  ", {"a"}},
      {"empty between words", "a \"\" b", {"a", "", "b"}},
      {"quote then quote outside", "a\"\"b", {"ab"}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(split(c.text), c.tokens) << c.name;
  }
}

TEST(Tokenizer, LongWordIsCutAtCapacityAndTheRestConsumed) {
  std::string word(300, 'w');
  for (int i = 0; i < 300; i++) word[i] = static_cast<char>('a' + i % 26);
  Tokens tokens = split(word + " next");
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_EQ(tokens[0], word.substr(0, 275));
  EXPECT_EQ(tokens[1], "next");
  // A reader sized to the text keeps every byte.
  EXPECT_EQ(split(word + " next", 305)[0], word);
}

TEST(Tokenizer, PushedTextIsReadFirstThenTheSuspendedOneResumes) {
  rt_tokenizer reader;
  rt_tok_init(&reader, RT_TOKEN_CAPACITY);
  const char first[] = "one two three";
  rt_tok_push_mem(&reader, first, sizeof first - 1);
  EXPECT_STREQ(rt_tok_next(&reader), "one");
  const char second[] = "x \"y";
  rt_tok_push_mem(&reader, second, sizeof second - 1);
  EXPECT_EQ(reader.depth, 2u);
  EXPECT_STREQ(rt_tok_next(&reader), "x");
  // The unclosed quote ends with its text: a token never spans two texts.
  EXPECT_STREQ(rt_tok_next(&reader), "y");
  EXPECT_STREQ(rt_tok_next(&reader), "two");
  EXPECT_EQ(reader.depth, 1u);
  EXPECT_STREQ(rt_tok_next(&reader), "three");
  EXPECT_EQ(rt_tok_next(&reader), nullptr);
  EXPECT_EQ(reader.depth, 0u);
  EXPECT_EQ(reader.count, 5u);
  rt_tok_destroy(&reader);
}

TEST(Tokenizer, WordAtEndOfPushedTextIsNotJoinedWithResumedText) {
  rt_tokenizer reader;
  rt_tok_init(&reader, RT_TOKEN_CAPACITY);
  const char first[] = "ab cd";
  rt_tok_push_mem(&reader, first, sizeof first - 1);
  EXPECT_STREQ(rt_tok_next(&reader), "ab");
  const char second[] = "xy";
  rt_tok_push_mem(&reader, second, sizeof second - 1);
  EXPECT_STREQ(rt_tok_next(&reader), "xy");
  EXPECT_STREQ(rt_tok_next(&reader), "cd");
  rt_tok_destroy(&reader);
}

TEST(Tokenizer, PopAndDestroyDropEveryText) {
  rt_tokenizer reader;
  rt_tok_init(&reader, 8);
  EXPECT_TRUE(rt_tok_pop(&reader));  // nothing pushed
  rt_tok_push_mem(&reader, "a", 1);
  rt_tok_push_mem(&reader, "b", 1);
  rt_tok_push_mem(&reader, "c", 1);
  EXPECT_FALSE(rt_tok_pop(&reader));
  EXPECT_EQ(reader.depth, 2u);
  EXPECT_STREQ(rt_tok_next(&reader), "b");
  rt_tok_destroy(&reader);  // frees the remaining node; the leak checker agrees
  EXPECT_EQ(reader.source.state, RT_SOURCE_CLOSED);
  EXPECT_EQ(reader.depth, 0u);
}

// --- the argument vector -----------------------------------------------------

std::vector<std::string> build_argv_from(std::vector<std::string> args) {
  std::vector<char*> raw;
  for (std::string& a : args) raw.push_back(a.data());
  raw.push_back(nullptr);
  plat_set_arguments(static_cast<int>(args.size()), raw.data());
  ARGV_LIVES_ON;
  rt_build_argv();
  std::vector<std::string> out;
  for (int32_t i = 0; i < rt_argc; i++) out.emplace_back(rt_argv[i]);
  EXPECT_EQ(rt_argv[rt_argc], nullptr);
  return out;
}

TEST(BuildArgv, ArgumentsComeBackExactlyAsGiven) {
  std::vector<std::string> args = {"prog", "a b",     "",       "say \"hi\"",
                                   "\"",   "tab\tin", "ends\\", std::string(1000, 'L')};
  EXPECT_EQ(build_argv_from(args), args);
}

TEST(BuildArgv, CommandLineQuotesEachArgument) {
  std::vector<std::string> args = {"p", "a\"b", ""};
  std::vector<char*> raw;
  for (std::string& a : args) raw.push_back(a.data());
  plat_set_arguments(3, raw.data());
  EXPECT_STREQ(GetCommandLineA(), "\"p\" \"a\"\"b\" \"\"");
}

TEST(BuildArgv, VectorSizedFromTheLineFitsTheWorstCase) {
  // Single-letter words separated by single spaces, odd length: the vector of
  // (L + 1) / 2 + 1 pointers is filled exactly. The runtime's own quoting makes
  // the line longer here, so split such a line directly.
  const char line[] = "a b c d e";
  uint32_t length = sizeof line - 1;
  uint32_t slots = (length + 1) / 2 + 1;
  rt_tokenizer reader;
  rt_tok_init(&reader, length);
  rt_tok_push_mem(&reader, line, length);
  uint32_t tokens = 0;
  while (rt_tok_next(&reader)) tokens++;
  rt_tok_destroy(&reader);
  EXPECT_EQ(tokens + 1, slots);
}

TEST(BuildArgv, EmptyCommandLine) {
  plat_set_arguments(0, nullptr);
  ARGV_LIVES_ON;
  rt_build_argv();
  EXPECT_EQ(rt_argc, 0);
  ASSERT_NE(rt_argv, nullptr);
  EXPECT_EQ(rt_argv[0], nullptr);
}

}  // namespace
