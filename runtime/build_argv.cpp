// rt_build_argv: splits the command line into rt_argc and rt_argv before the
// program's main routine runs.
#include "runtime/rt.h"

int32_t rt_argc = 0;
char** rt_argv = nullptr;

void rt_build_argv(void) {
  const char* line = GetCommandLineA();
  uint32_t length = rt_strlen(line);

  // Sized to the whole line, so no argument is ever cut.
  rt_tokenizer reader;
  rt_tok_init(&reader, length > RT_TOKEN_CAPACITY ? length : RT_TOKEN_CAPACITY);
  rt_tok_push_mem(&reader, line, length);

  // A token takes at least one byte and one separator; one more slot for the
  // closing null pointer.
  char* strings = static_cast<char*>(rt_xalloc(length + 1));
  char** vector = static_cast<char**>(rt_xalloc(((length + 1) / 2 + 1) * sizeof(char*)));

  int32_t count = 0;
  char* at = strings;
  for (const char* token; (token = rt_tok_next(&reader)) != nullptr;) {
    vector[count++] = at;
    uint32_t i = 0;
    do at[i] = token[i]; while (token[i++] != 0);
    at += i;
  }
  vector[count] = nullptr;
  rt_argc = count;
  rt_argv = vector;
  char** shrunk = static_cast<char**>(rt_realloc(vector, (count + 1) * sizeof(char*)));
  if (shrunk != nullptr) rt_argv = shrunk;

  rt_tok_destroy(&reader);
}
