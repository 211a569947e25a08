// The lines of the path list, over any source of bytes.
//
// A line ends at LF, CR, NUL or the end of the input; nothing is trimmed, and
// lines left empty are skipped. A line may be a pair of paths, split at its
// first TAB. Double quotes follow the system's names: where a name cannot
// hold one, every quote is dropped wherever it stands; where it can, a quote
// is a byte of the name, and only a pair that encloses a whole path ("my
// file") is dropped. The input is read in blocks; what a line is does not
// depend on how the source cuts it.
#ifndef TIMECARRY_PATH_LINE_READER_H
#define TIMECARRY_PATH_LINE_READER_H

#include "runtime/rt.h"

// Fills `buffer` with up to `room` bytes of the input and returns how many:
// 0 at the end of the input or when a read failed. It is not called again
// after it returned 0.
typedef uint32_t (*path_bytes_fn)(void* source, uint8_t* buffer, uint32_t room);

struct path_line_reader {
  path_bytes_fn read;
  void* source;
  bool quotes_in_names;  // a quote can be part of a name (PLAT_QUOTES_IN_NAMES)
  uint32_t cursor;
  uint32_t end;
  bool ended;
  uint8_t block[4096];
};

enum path_line_kind : uint8_t { path_line_end, path_line_path, path_line_pair, path_line_too_long };

void init_path_line_reader(path_line_reader* reader, path_bytes_fn read, void* source,
                           bool quotes_in_names);

// The next line that keeps a character, in `line` (`room` bytes with the
// NUL). When `second` is given (`room` bytes too), a line that holds a TAB is
// a pair: what stands before its first TAB in `line`, the rest in `second`.
// A path too long for its room keeps its first room - 1 characters, is told
// apart and is left in `line`; path_line_end when the input has no line
// left.
path_line_kind next_path_line(path_line_reader* reader, char* line, uint32_t room,
                              char* second = nullptr);

#endif
