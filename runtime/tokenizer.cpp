// The token reader: splits text into words. Double quotes group (and are
// removed), two quotes in a row inside a quoted section stand for one, and a
// backslash is an ordinary byte. Texts can be pushed on top of the one being
// read; the reader goes back to the suspended text when the pushed one ends.
#include "runtime/rt.h"

namespace {

enum State : uint8_t { BETWEEN, PLAIN, QUOTED, QUOTE_SEEN };

// What a byte class does in a state.
enum Action : uint8_t {
  SKIP,          // stay, store nothing
  TO_PLAIN,      // store the byte, go to plain
  TO_QUOTED,     // go to quoted, store nothing
  TO_QUOTE_SEEN, // go to quote seen, store nothing
  STORE,         // store the byte, stay
  STORE_QUOTE,   // store a double quote, go back to quoted
  FINISH,        // the token is complete
};

enum ByteClass : uint8_t { QUOTE, SPACE, OTHER };

constexpr Action kActions[4][3] = {
    /* BETWEEN    */ {TO_QUOTED, SKIP, TO_PLAIN},
    /* PLAIN      */ {TO_QUOTED, FINISH, STORE},
    /* QUOTED     */ {TO_QUOTE_SEEN, STORE, STORE},
    /* QUOTE_SEEN */ {STORE_QUOTE, FINISH, TO_PLAIN},
};

inline ByteClass classify(int32_t byte) {
  switch (byte) {
    case '"': return QUOTE;
    case ' ': case '\t': case '\n': case '\r': case 0: return SPACE;
    default: return OTHER;
  }
}

inline void store(rt_tokenizer* reader, uint8_t byte) {
  if (reader->length < reader->capacity) reader->buffer[reader->length++] = static_cast<char>(byte);
}

}  // namespace

rt_tokenizer* rt_tok_init(rt_tokenizer* reader, uint32_t capacity) {
  reader->source.state = RT_SOURCE_CLOSED;
  reader->capacity = capacity;
  reader->buffer = static_cast<char*>(rt_xalloc(capacity + 1));
  reader->buffer[0] = 0;
  reader->length = 0;
  reader->count = 0;
  reader->suspended = nullptr;
  reader->depth = 0;
  return reader;
}

void rt_tok_push_mem(rt_tokenizer* reader, const char* text, uint32_t length) {
  if (reader->source.state != RT_SOURCE_CLOSED) {
    rt_tok_node* node = static_cast<rt_tok_node*>(rt_xalloc(sizeof(rt_tok_node)));
    node->source = reader->source;
    node->next = reader->suspended;
    reader->suspended = node;
  }
  rt_source_open_mem(&reader->source, text, length);
  reader->depth++;
}

bool rt_tok_pop(rt_tokenizer* reader) {
  if (reader->source.state == RT_SOURCE_CLOSED) return true;
  rt_source_close(&reader->source);
  reader->depth--;
  rt_tok_node* node = reader->suspended;
  if (node == nullptr) return true;
  reader->source = node->source;
  reader->suspended = node->next;
  rt_free(node);
  return false;
}

const char* rt_tok_next(rt_tokenizer* reader) {
  State state = BETWEEN;
  reader->length = 0;
  for (;;) {
    int32_t byte = rt_source_getc(&reader->source);
    if (byte == RT_EOF) {
      if (state != BETWEEN) break;
      if (rt_tok_pop(reader)) return nullptr;
      continue;
    }
    switch (kActions[state][classify(byte)]) {
      case SKIP: break;
      case TO_PLAIN: state = PLAIN; store(reader, static_cast<uint8_t>(byte)); break;
      case TO_QUOTED: state = QUOTED; break;
      case TO_QUOTE_SEEN: state = QUOTE_SEEN; break;
      case STORE: store(reader, static_cast<uint8_t>(byte)); break;
      case STORE_QUOTE: state = QUOTED; store(reader, '"'); break;
      case FINISH: goto finish;
    }
  }
finish:
  reader->buffer[reader->length] = 0;
  reader->count++;
  return reader->buffer;
}

rt_tokenizer* rt_tok_destroy(rt_tokenizer* reader) {
  while (!rt_tok_pop(reader)) {
  }
  rt_free(reader->buffer);
  reader->buffer = nullptr;
  rt_source_close(&reader->source);
  return reader;
}
