// The lines of a path list: a byte at a time out of blocks of the input.
#include "runtime/rt.h"

namespace {

int32_t next_byte(rt_path_line_reader* reader) {
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

// One path as it is kept: its first room - 1 characters, and how many more
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

// A quote that opened the path was held back: when the path's last byte is
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
    // A full path: its last kept byte gives way to the quote (with no room
    // at all, the quote itself is what is dropped).
    line->dropped++;
    if (line->length == 0) return;
    line->length--;
  }
  for (uint32_t i = line->length; i > 0; i--) line->text[i] = line->text[i - 1];
  line->text[0] = '"';
  line->length++;
}

// One path of a line as it is read: its kept bytes and the opening quote
// held back until the path's end shows whether a closing one pairs it.
struct kept_path {
  kept_line line;
  bool held_quote;
  uint32_t count;  // the path's bytes, quotes included, counted up to 2
  int32_t last;
};

void take(kept_path* path, int32_t c, bool quotes_in_names) {
  if (path->count < 2) path->count++;
  path->last = c;
  if (c == '"' && !quotes_in_names) return;
  if (c == '"' && path->count == 1) {
    path->held_quote = true;
    return;
  }
  keep(&path->line, c);
}

// A byte that is no line end, TAB or quote (nor another control below CR).
bool is_plain(uint8_t c) { return c > '\r' && c != '"'; }

// The bytes of the block from the cursor that need no look of their own (no
// line end, TAB or quote), taken at once: kept while there is room, counted
// as dropped beyond it.
void take_plain_bytes(rt_path_line_reader* reader, kept_path* path) {
  const uint8_t* from = reader->block + reader->cursor;
  const uint8_t* end = reader->block + reader->end;
  const uint8_t* at = from;
  while (at < end && is_plain(*at)) at++;
  uint32_t count = static_cast<uint32_t>(at - from);
  if (count == 0) return;
  reader->cursor += count;
  path->count = path->count + count < 2 ? path->count + count : 2;
  path->last = at[-1];
  kept_line* line = &path->line;
  uint32_t room = line->room - 1 - line->length;
  uint32_t kept = count < room ? count : room;
  __builtin_memcpy(line->text + line->length, from, kept);
  line->length += kept;
  line->dropped += count - kept;
}

// Settles the held quote and ends the text (a path without room is unused).
void finish(kept_path* path) {
  if (path->line.text == nullptr) return;
  if (path->held_quote) settle_held_quote(&path->line, path->count, path->last);
  path->line.text[path->line.length] = 0;
}

}  // namespace

void rt_init_path_lines(rt_path_line_reader* reader, rt_path_bytes_fn read, void* source,
                           bool quotes_in_names) {
  reader->read = read;
  reader->source = source;
  reader->quotes_in_names = quotes_in_names;
  reader->cursor = reader->end = 0;
  reader->ended = false;
}

rt_path_line_kind rt_next_path_line(rt_path_line_reader* reader, char* line, uint32_t room, char* second) {
  for (;;) {
    kept_path paths[2] = {{{line, room, 0, 0}, false, 0, RT_EOF},
                          {{second, room, 0, 0}, false, 0, RT_EOF}};
    kept_path* path = &paths[0];
    int32_t c;
    for (;;) {
      take_plain_bytes(reader, path);
      if (ends_line(c = next_byte(reader))) break;
      if (c == '\t' && second != nullptr && path == &paths[0]) {
        path = &paths[1];
        continue;
      }
      take(path, c, reader->quotes_in_names);
    }
    bool pair = path == &paths[1];
    for (kept_path& kept : paths) finish(&kept);
    if (paths[0].line.dropped > 0) return RT_PATH_TOO_LONG;
    if (pair && paths[1].line.dropped > 0) {
      for (uint32_t i = 0; i <= paths[1].line.length; i++) line[i] = second[i];
      return RT_PATH_TOO_LONG;
    }
    if (pair) return RT_PATH_PAIR;
    if (paths[0].line.length > 0) return RT_PATH_ONE;
    if (c == RT_EOF) return RT_PATH_END;
  }
}
