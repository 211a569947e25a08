// The runtime's path-list lines over any byte stream, cut into reads of the
// fuzzer's choosing (and possibly ended early by a failing read), against a
// model that splits the whole stream at once: the same lines, the same
// too-long verdicts, the end reported for good, no read after the source
// said it had nothing more.
//
// Input: the room byte (0: PLAT_PATH_MAX as the program uses it, else that many
// bytes with the NUL); the failure word (16 bits: the input ends after that
// many bytes, 0xFFFF: it does not); the count of read sizes (low 3 bits; bit 3
// set: names cannot hold quotes; bit 4 set: a TAB splits a line into a pair)
// and that many 16-bit read sizes, used in turn (0 stands for the reader's
// whole block); the rest is the stream.
#include <string.h>

#include <string>
#include <vector>

#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_input.h"
#include "runtime/rt.h"

namespace {

struct Line {
  rt_path_line_kind kind;
  std::string text;
  std::string second;
};

// A path as read: every quote dropped, or where names hold quotes only a pair
// that encloses the whole path.
std::string unquoted(const std::string& raw, bool quotes_in_names) {
  if (quotes_in_names) {
    bool enclosed = raw.size() >= 2 && raw.front() == '"' && raw.back() == '"';
    return enclosed ? raw.substr(1, raw.size() - 2) : raw;
  }
  std::string text;
  for (char c : raw) {
    if (c != '"') text += c;
  }
  return text;
}

// The model: split the stream into lines, and with pairs a line at its first
// TAB; unquote each path; skip empty lines; keep at most room - 1 characters
// of a path and mark the line when it had more (the first path too long, or
// else the second, is the text).
std::vector<Line> model_lines(const uint8_t* bytes, size_t length, uint32_t room,
                              bool quotes_in_names, bool pairs) {
  std::vector<Line> lines;
  std::string raw;
  for (size_t i = 0; i <= length; i++) {
    bool ends = i == length || bytes[i] == '\n' || bytes[i] == '\r' || bytes[i] == 0;
    if (!ends) {
      raw += static_cast<char>(bytes[i]);
      continue;
    }
    size_t tab = pairs ? raw.find('\t') : std::string::npos;
    std::string text = unquoted(raw.substr(0, tab), quotes_in_names);
    std::string second =
        tab == std::string::npos ? "" : unquoted(raw.substr(tab + 1), quotes_in_names);
    if (text.size() + 1 > room) {
      lines.push_back({RT_PATH_TOO_LONG, text.substr(0, room - 1), ""});
    } else if (second.size() + 1 > room) {
      lines.push_back({RT_PATH_TOO_LONG, second.substr(0, room - 1), ""});
    } else if (tab != std::string::npos) {
      lines.push_back({RT_PATH_PAIR, text, second});
    } else if (!text.empty()) {
      lines.push_back({RT_PATH_ONE, text, ""});
    }
    raw.clear();
  }
  return lines;
}

// The stream as a source that gives it in reads of the sizes asked for.
struct Stream {
  const uint8_t* bytes;
  size_t length;  // what the source gives before it says it has nothing more
  size_t at;
  const uint16_t* sizes;
  size_t size_count;
  size_t reads;
  bool ended;  // it returned 0
};

uint32_t read_stream(void* source, uint8_t* buffer, uint32_t room) {
  Stream* s = static_cast<Stream*>(source);
  FUZZ_CHECK(!s->ended, "no read after the source returned 0");
  FUZZ_CHECK(room > 0, "a read with room");
  size_t want = s->size_count ? s->sizes[s->reads % s->size_count] : room;
  s->reads++;
  if (want == 0 || want > room) want = room;
  size_t left = s->length - s->at;
  size_t got = want < left ? want : left;
  memcpy(buffer, s->bytes + s->at, got);
  s->at += got;
  if (got == 0) s->ended = true;
  return static_cast<uint32_t>(got);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in = fuzz_input(data, size);
  uint8_t room_byte = take_byte(&in);
  uint32_t room = room_byte == 0 ? PLAT_PATH_MAX : room_byte;
  uint16_t failure = take_u16(&in);
  uint16_t sizes[8];
  uint8_t sizes_byte = take_byte(&in);
  size_t size_count = sizes_byte & 7;
  bool quotes_in_names = !(sizes_byte & 8);
  bool pairs = (sizes_byte & 16) != 0;
  for (size_t i = 0; i < size_count; i++) {
    sizes[i] = take_u16(&in);
  }
  const uint8_t* bytes;
  size_t length = take_rest(&in, &bytes);
  if (failure != 0xFFFF && failure < length) length = failure;

  std::vector<Line> expected = model_lines(bytes, length, room, quotes_in_names, pairs);
  Stream stream{bytes, length, 0, sizes, size_count, 0, false};
  rt_path_line_reader reader;
  rt_init_path_lines(&reader, read_stream, &stream, quotes_in_names);
  std::vector<char> line(room), second(room);
  for (size_t n = 0;; n++) {
    rt_path_line_kind kind =
        rt_next_path_line(&reader, line.data(), room, pairs ? second.data() : nullptr);
    if (n == expected.size()) {
      FUZZ_CHECK(kind == RT_PATH_END, "line %zu after the last one", n);
      break;
    }
    FUZZ_CHECK(kind == expected[n].kind, "line %zu: kind %d, expected %d", n, kind,
               expected[n].kind);
    FUZZ_CHECK(strlen(line.data()) == expected[n].text.size() && line.data() == expected[n].text,
               "line %zu differs", n);
    if (kind == RT_PATH_PAIR) {
      FUZZ_CHECK(
          strlen(second.data()) == expected[n].second.size() && second.data() == expected[n].second,
          "line %zu: its second path differs", n);
    }
  }
  FUZZ_CHECK(
      rt_next_path_line(&reader, line.data(), room, pairs ? second.data() : nullptr) == RT_PATH_END,
      "the end repeats");
  FUZZ_CHECK(line[0] == 0, "an empty line at the end");
  return 0;
}
