// The console runtime shared by both programs: start-up and exit, the heap,
// formatted output, character sources and handle I/O, the token reader.
#ifndef RUNTIME_RT_H
#define RUNTIME_RT_H

#include <stdarg.h>
#include <stdint.h>

#include "platform/platform.h"

// On Windows the entry point is called by the system with no arguments.
#ifdef _WIN32
#define RT_ENTRY __stdcall
#else
#define RT_ENTRY
#endif

// ---------------------------------------------------------------------------
// Start-up, heap and exit

typedef void (*rt_init_fn)(void);

enum : uint8_t { RT_PENDING = 0, RT_DONE = 1 };

// One initialiser (or terminator): state, priority (lower runs earlier), routine.
struct rt_init_entry {
  uint8_t state;
  uint8_t priority;
  rt_init_fn routine;
};

typedef int32_t (*rt_main_fn)(int32_t argc, char** argv);

// What a program hands to the runtime. Each program defines exactly one
// `rt_program` (see RT_PROGRAM below).
struct rt_program_desc {
  rt_init_entry* initializers;
  uint32_t initializer_count;
  rt_init_entry* terminators;
  uint32_t terminator_count;
  rt_main_fn main;
};

extern "C" const rt_program_desc rt_program;

// Defines the program's tables: its main routine and its initialisers in
// table order, for example
//   RT_PROGRAM(txmorph::main, {RT_PENDING, 31, rt_heap_init},
//              {RT_PENDING, 64, openConsoleInput});
#define RT_PROGRAM(main_routine, ...)                                        \
  static rt_init_entry rt_program_initializers[] = {__VA_ARGS__};             \
  extern "C" const rt_program_desc rt_program = {                            \
      rt_program_initializers,                                               \
      sizeof(rt_program_initializers) / sizeof(rt_program_initializers[0]),  \
      nullptr, 0, main_routine}

extern "C" void RT_ENTRY rt_start(void);
[[noreturn]] void rt_exit(int32_t code);

// Runs every pending entry once: lowest priority first, and among equal
// priorities the entry placed later in the table first.
void rt_run_table(rt_init_entry* table, uint32_t count);

extern HANDLE rt_heap;
extern int32_t rt_argc;
extern char** rt_argv;

void rt_heap_init(void);
void* rt_alloc(uint32_t size);
void* rt_realloc(void* block, uint32_t size);
void rt_free(void* block);
void* rt_xalloc(uint32_t size);
void* rt_xrealloc(void* block, uint32_t size);
uint32_t rt_strlen(const char* text);

// The date this runtime was built, as "[Sep 01 2019]" (day zero-padded).
const char* rt_build_date(void);

// The version the sources were at when built ("1.2.0", "1.2.0-4-gabc1234").
const char* rt_build_version(void);

// Supplied by the program; called with the size of the request that failed
// (0 for a release the heap refused). Must not return.
[[noreturn]] void rt_out_of_memory(uint32_t size);

// ---------------------------------------------------------------------------
// Formatted output

struct rt_fmt_ctx {
  uintptr_t user;
  int32_t count;
};

typedef uint8_t (*rt_sink_fn)(uint32_t ch, rt_fmt_ctx* ctx);

// Bit 31 of the character word marks an unrecognised conversion letter.
#define RT_FMT_UNKNOWN 0x80000000u

int32_t rt_format(rt_sink_fn sink, const char* format, va_list args, uintptr_t user);
int32_t rt_printf(const char* format, ...);
int32_t rt_vprintf(const char* format, va_list args);

uint8_t rt_sink_stdout(uint32_t ch, rt_fmt_ctx* ctx);
uint8_t rt_sink_stderr(uint32_t ch, rt_fmt_ctx* ctx);
extern rt_sink_fn rt_print_sink;

// Bytes kept in memory: a sink that appends to the rt_buffer the user word
// points at, growing it (rt_xrealloc) as needed. rt_free(bytes) releases it.
struct rt_buffer {
  uint8_t* bytes;
  uint32_t length;
  uint32_t room;
};
uint8_t rt_sink_buffer(uint32_t ch, rt_fmt_ctx* ctx);

// ---------------------------------------------------------------------------
// Character sources and handle I/O

#define RT_EOF (-1)

enum : uint8_t {
  RT_SOURCE_CLOSED = 0,
  RT_SOURCE_FILE_READ = 1,
  RT_SOURCE_FILE_WRITE = 2,
  RT_SOURCE_MEMORY = 3,
};

struct rt_source {
  uint8_t* cursor;
  uint8_t* end;
  uint8_t* base;
  uint32_t position;
  uint32_t capacity;
  HANDLE handle;
  uint8_t state;
};

void rt_source_open_mem(rt_source* source, const char* text, uint32_t length);
int32_t rt_source_refill(rt_source* source);
inline int32_t rt_source_getc(rt_source* source) {
  if (source->cursor < source->end) return *source->cursor++;
  return rt_source_refill(source);
}
void rt_source_close(rt_source* source);
bool rt_source_flush(rt_source* source);
void rt_source_putc(rt_source* source, uint8_t byte);

int32_t rt_write_handle(HANDLE handle, const void* buffer, uint32_t length);
int32_t rt_read_handle(HANDLE handle, void* buffer, uint32_t length);
BOOL rt_close_handle(HANDLE handle);

// Console output is cut into pieces above this size.
#define RT_CONSOLE_WRITE_LIMIT 50000u
#define RT_CONSOLE_WRITE_PIECE 32000u

// ---------------------------------------------------------------------------
// Token reader and command-line splitting

struct rt_tok_node;

struct rt_tokenizer {
  rt_source source;
  char* buffer;
  uint32_t length;
  uint32_t count;
  uint32_t capacity;
  rt_tok_node* suspended;
  uint32_t depth;
};

struct rt_tok_node {
  rt_tok_node* next;
  rt_source source;
};

// The capacity both programs name; they size their readers to the whole
// command line when that is longer, so that no argument is ever cut.
#define RT_TOKEN_CAPACITY 275u

rt_tokenizer* rt_tok_init(rt_tokenizer* reader, uint32_t capacity);
void rt_tok_push_mem(rt_tokenizer* reader, const char* text, uint32_t length);
bool rt_tok_pop(rt_tokenizer* reader);
const char* rt_tok_next(rt_tokenizer* reader);
rt_tokenizer* rt_tok_destroy(rt_tokenizer* reader);

void rt_build_argv(void);

// ---------------------------------------------------------------------------
// Path lists

// The lines of a list of paths, over any source of bytes. A line ends at LF,
// CR, NUL or the end of the input; nothing is trimmed, and lines left empty
// are skipped. A line may be a pair of paths, split at its first TAB. Double
// quotes follow the system's names: where a name cannot hold one, every quote
// is dropped wherever it stands; where it can, a quote is a byte of the name,
// and only a pair that encloses a whole path ("my file") is dropped. The
// input is read in blocks; what a line is does not depend on how the source
// cuts it.

// Fills `buffer` with up to `room` bytes of the input and returns how many:
// 0 at the end of the input or when a read failed. It is not called again
// after it returned 0.
typedef uint32_t (*rt_path_bytes_fn)(void* source, uint8_t* buffer, uint32_t room);

struct rt_path_line_reader {
  rt_path_bytes_fn read;
  void* source;
  bool quotes_in_names;  // a quote can be part of a name (PLAT_QUOTES_IN_NAMES)
  uint32_t cursor;
  uint32_t end;
  bool ended;
  uint8_t block[4096];
};

enum rt_path_line_kind : uint8_t { RT_PATH_END, RT_PATH_ONE, RT_PATH_PAIR, RT_PATH_TOO_LONG };

void rt_init_path_lines(rt_path_line_reader* reader, rt_path_bytes_fn read, void* source,
                        bool quotes_in_names);

// The next line that keeps a character, in `line` (`room` bytes with the
// NUL). When `second` is given (`room` bytes too), a line that holds a TAB is
// a pair: what stands before its first TAB in `line`, the rest in `second`.
// A path too long for its room keeps its first room - 1 characters, is told
// apart and is left in `line`; RT_PATH_END when the input has no line left.
rt_path_line_kind rt_next_path_line(rt_path_line_reader* reader, char* line, uint32_t room,
                                    char* second = nullptr);

// The list of paths on an open handle (standard input), read to its end or
// to a failed read, a line at a time as above with the system's quote rule.
// On Windows the paths arrive in the console's code page: when that is the
// OEM code page, the file functions take OEM names from rt_open_path_list to
// rt_close_path_list (`oem` says so), and a path is printed as it came.
struct rt_path_list {
  rt_path_line_reader reader;
  bool oem;
};

void rt_open_path_list(rt_path_list* list, HANDLE input);
void rt_close_path_list(rt_path_list* list);

#endif
