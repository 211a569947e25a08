// The lines of the path list: a byte at a time out of blocks of the input.
#include "timecarry/path_line_reader.h"

namespace {

int32_t next_byte(path_line_reader* reader) {
  if (reader->cursor == reader->end) {
    uint32_t got =
        reader->ended ? 0 : reader->read(reader->source, reader->block, sizeof reader->block);
    if (got == 0) {
      reader->ended = true;
      return RT_EOF;
    }
    reader->cursor = 0;
    reader->end = got;
  }
  return reader->block[reader->cursor++];
}

}  // namespace

void init_path_line_reader(path_line_reader* reader, path_bytes_fn read, void* source) {
  reader->read = read;
  reader->source = source;
  reader->cursor = reader->end = 0;
  reader->ended = false;
}

path_line_kind next_path_line(path_line_reader* reader, char* line, uint32_t room) {
  for (;;) {
    uint32_t length = 0;
    bool too_long = false;
    int32_t c;
    while ((c = next_byte(reader)) != RT_EOF && c != '\n' && c != '\r' && c != 0) {
      if (c == '"') continue;
      if (length + 1 < room) {
        line[length++] = static_cast<char>(c);
      } else {
        too_long = true;
      }
    }
    line[length] = 0;
    if (too_long) return path_line_too_long;
    if (length > 0) return path_line_path;
    if (c == RT_EOF) return path_line_end;
  }
}
