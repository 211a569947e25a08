// The format engine. Its language is the runtime's own: a conversion carries
// at most one number N, one-character flags decide how N is used, and the
// integer conversions know base 2, digit grouping and a 64-bit modifier.
//
// Arguments are 32-bit slots; a conversion with `l` takes a 64-bit argument
// (two slots on a 32-bit build). Here they are read with va_arg by type, which
// keeps the same order and widths on every build.
#include "runtime/rt.h"

namespace {

enum : uint8_t {
  FILL_LEFT = 0x01,
  FILL_RIGHT = 0x02,
  KEEP_TAIL = 0x04,
  CUT = 0x08,
  WIDE_ARG = 0x80,
};

enum SignMode : uint8_t { SIGN_NONE, SIGN_MINUS, SIGN_PLUS };

struct Conversion {
  int32_t number;
  uint8_t flags;
  uint8_t fill;
  uint8_t base;
  int8_t group;
  SignMode sign;
};

struct Output {
  rt_sink_fn sink;
  rt_fmt_ctx ctx;
};

inline void put(Output* out, uint32_t ch) { out->sink(ch, &out->ctx); }

void put_repeated(Output* out, uint8_t ch, int32_t times) {
  for (int32_t i = 0; i < times; i++) put(out, ch);
}

// Lays out a text of `length` bytes by N and the flags.
void lay_out(Output* out, const Conversion& conv, const char* text, int32_t length) {
  int32_t fill = conv.number >= 0 ? conv.number - length : 0;
  if (fill < 0 && (conv.flags & CUT)) {
    if (conv.flags & KEEP_TAIL) text += length - conv.number;
    length = conv.number;
  }
  if ((conv.flags & FILL_LEFT) && fill > 0) {
    put_repeated(out, conv.fill, fill);
    fill = 0;
  }
  for (int32_t i = 0; i < length; i++) put(out, static_cast<uint8_t>(text[i]));
  if ((conv.flags & FILL_RIGHT) && fill > 0) put_repeated(out, conv.fill, fill);
}

// 64 base-2 digits, each with a separator, and a sign.
constexpr int NUMBER_ROOM = 64 * 2 + 1;

void put_number(Output* out, const Conversion& conv, uint64_t value) {
  char room[NUMBER_ROOM];
  char* p = room + NUMBER_ROOM;
  char sign = 0;
  if (conv.sign != SIGN_NONE) {
    if (static_cast<int64_t>(value) < 0) {
      value = 0 - value;
      sign = '-';
    } else if (conv.sign == SIGN_PLUS && value != 0) {
      sign = '+';
    }
  }
  int32_t in_group = 0;
  do {
    if (conv.group <= 0) {
      *--p = ',';
    } else if (in_group == conv.group) {
      *--p = ',';
      in_group = 0;
    }
    uint32_t digit = static_cast<uint32_t>(value % conv.base);
    value /= conv.base;
    *--p = static_cast<char>(digit < 10 ? '0' + digit : 'A' + (digit - 10));
    in_group++;
  } while (value != 0);
  if (sign) *--p = sign;
  lay_out(out, conv, p, static_cast<int32_t>(room + NUMBER_ROOM - p));
}

}  // namespace

int32_t rt_format(rt_sink_fn sink, const char* format, va_list args, uintptr_t user) {
  Output out{sink, {user, 0}};
  va_list ap;
  va_copy(ap, args);
  const uint8_t* f = reinterpret_cast<const uint8_t*>(format);
  for (;;) {
    uint32_t c = *f++;
    if (c == 0) break;
    if (c != '%') {
      put(&out, c);
      continue;
    }
    Conversion conv{-1, 0, ' ', 10, 127, SIGN_NONE};
    bool done = false;
    while (!done) {
      c = *f;
      if (c == 0) goto end;  // the format ends inside a conversion
      f++;
    again:
      switch (c) {
        case '0': case '1': case '2': case '3': case '4':
        case '5': case '6': case '7': case '8': case '9': {
          uint32_t n = c - '0';
          while (*f >= '0' && *f <= '9') n = n * 10 + (*f++ - '0');
          conv.number = static_cast<int32_t>(n);
          if (c == '0') conv.fill = '0';
          if (conv.flags == 0) conv.flags = FILL_LEFT;
          break;
        }
        case '*':
          conv.number = va_arg(ap, int32_t);
          if (*f == '*') {
            f++;
            conv.flags = static_cast<uint8_t>(conv.number & 0xFF);
            conv.number >>= 8;
          }
          break;
        case ',':
          conv.group = static_cast<int8_t>(conv.number & 0xFF);
          conv.number = -1;
          break;
        case '-': conv.flags |= FILL_RIGHT; break;
        case ';': conv.flags |= KEEP_TAIL; break;
        case '.': conv.flags |= CUT; break;
        case 'l': conv.flags |= WIDE_ARG; break;
        case 'c':
        case '%': {
          uint8_t ch = c == 'c' ? static_cast<uint8_t>(va_arg(ap, uint32_t)) : '%';
          put_repeated(&out, ch, conv.number < 0 ? 1 : conv.number);
          done = true;
          break;
        }
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'b': {
          if (c == 'x') conv.base = 16;
          if (c == 'b') conv.base = 2;
          if (c == 'd') conv.sign = SIGN_MINUS;
          if (c == 'i') conv.sign = SIGN_PLUS;
          uint64_t value;
          if (conv.flags & WIDE_ARG) {
            value = va_arg(ap, uint64_t);
          } else if (conv.sign != SIGN_NONE) {
            value = static_cast<uint64_t>(static_cast<int64_t>(va_arg(ap, int32_t)));
          } else {
            value = va_arg(ap, uint32_t);
          }
          put_number(&out, conv, value);
          done = true;
          break;
        }
        case 's': {
          const char* text = va_arg(ap, const char*);
          int32_t length = 0;
          while ((conv.number < 0 || length < conv.number) && text[length] != 0) length++;
          lay_out(&out, conv, text, length);
          done = true;
          break;
        }
        default: {
          uint8_t replacement = sink(c | RT_FMT_UNKNOWN, &out.ctx);
          if (replacement == 0) {
            done = true;
          } else {
            c = replacement;
            goto again;
          }
          break;
        }
      }
    }
  }
end:
  va_end(ap);
  return out.ctx.count;
}
