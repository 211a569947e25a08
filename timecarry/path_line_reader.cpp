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

bool ends_line(int32_t c) { return c == RT_EOF || c == '\n' || c == '\r' || c == 0; }

// One line as it is kept: its first room - 1 characters, and how many more
// there were.
struct kept_line {
  char* text;
  uint32_t room;
  uint32_t length;
  uint32_t dropped;
};

void keep(kept_line* line, int32_t c) {
  if (line->length + 1 < line->room) {
    line->text[line->length++] = static_cast<char>(c);
  } else {
    line->dropped++;
  }
}

// A quote that opened the line was held back: when the line's last byte is
// another quote the two enclose it and both go; otherwise the held quote is
// the name's first byte after all.
void settle_held_quote(kept_line* line, uint32_t count, int32_t last) {
  if (count >= 2 && last == '"') {
    if (line->dropped > 0) {
      line->dropped--;  // the closing quote was beyond the room
    } else {
      line->length--;
    }
    return;
  }
  if (line->length + 1 == line->room) {
    // A full line: its last kept byte gives way to the quote (with no room
    // at all, the quote itself is what is dropped).
    line->dropped++;
    if (line->length == 0) return;
    line->length--;
  }
  for (uint32_t i = line->length; i > 0; i--) line->text[i] = line->text[i - 1];
  line->text[0] = '"';
  line->length++;
}

}  // namespace

void init_path_line_reader(path_line_reader* reader, path_bytes_fn read, void* source,
                           bool quotes_in_names) {
  reader->read = read;
  reader->source = source;
  reader->quotes_in_names = quotes_in_names;
  reader->cursor = reader->end = 0;
  reader->ended = false;
}

path_line_kind next_path_line(path_line_reader* reader, char* line, uint32_t room) {
  for (;;) {
    kept_line kept{line, room, 0, 0};
    bool held_quote = false;
    uint32_t count = 0;  // the line's bytes, quotes included, counted up to 2
    int32_t last = RT_EOF;
    int32_t c;
    while (!ends_line(c = next_byte(reader))) {
      if (count < 2) count++;
      last = c;
      if (c == '"' && !reader->quotes_in_names) continue;
      if (c == '"' && count == 1) {
        held_quote = true;
        continue;
      }
      keep(&kept, c);
    }
    if (held_quote) settle_held_quote(&kept, count, last);
    line[kept.length] = 0;
    if (kept.dropped > 0) return path_line_too_long;
    if (kept.length > 0) return path_line_path;
    if (c == RT_EOF) return path_line_end;
  }
}
