// The sections of the code-page dump: every byte, byte pair and unit through
// each supported code page, structured malformed UTF-8, the contract cases of
// both conversion functions, and CharToOemA.
#include "tests/win/code_page_dump.h"

namespace {

// Flags that the platform header need not define.
constexpr DWORD kMbPrecomposed = 0x1;
constexpr DWORD kMbUseGlyphChars = 0x4;
constexpr DWORD kWcErrInvalidChars = 0x80;

constexpr DWORD kErrorSentinel = 0x5A5A;
constexpr uint32_t kRoom = 8;

// ---------------------------------------------------------------------------
// One record of text

struct Record {
  char text[1024];
  uint32_t length;
};

void put_char(Record* r, char c) {
  if (r->length < sizeof(r->text)) r->text[r->length++] = c;
}

void put_text(Record* r, const char* text) {
  while (*text) put_char(r, *text++);
}

void put_hex(Record* r, uint32_t value, int digits) {
  static const char kDigits[] = "0123456789abcdef";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
    put_char(r, kDigits[(value >> shift) & 15]);
}

void put_dec(Record* r, int32_t value) {
  if (value < 0) {
    put_char(r, '-');
    value = -value;
  }
  char digits[12];
  int n = 0;
  do digits[n++] = static_cast<char>('0' + value % 10);
  while ((value /= 10) != 0);
  while (n > 0) put_char(r, digits[--n]);
}

void put_bytes(Record* r, const uint8_t* bytes, int32_t count) {
  for (int32_t i = 0; i < count; i++) {
    if (i) put_char(r, '.');
    put_hex(r, bytes[i], 2);
  }
}

void put_units(Record* r, const WCHAR* units, int32_t count) {
  for (int32_t i = 0; i < count; i++) {
    if (i) put_char(r, '.');
    put_hex(r, units[i], 4);
  }
}

// " COUNT/ROOM = RESULT[ eERROR]: " and how many units or bytes to show.
int32_t put_outcome(Record* r, int32_t count, int32_t room, int result, DWORD error,
                    bool show_all) {
  put_char(r, ' ');
  put_dec(r, count);
  put_char(r, '/');
  put_dec(r, room);
  put_text(r, " = ");
  put_dec(r, result);
  if (error != kErrorSentinel) {
    put_text(r, " e");
    put_dec(r, static_cast<int32_t>(error));
  }
  put_text(r, ": ");
  return show_all ? static_cast<int32_t>(kRoom) : (room > 0 ? result : 0);
}

void emit(cp_dump_out* out, Record* r) {
  uint64_t h = out->digest;
  for (uint32_t i = 0; i <= r->length; i++) {
    uint8_t c = i < r->length ? static_cast<uint8_t>(r->text[i]) : '\n';
    h = (h ^ c) * 0x100000001b3ull;
  }
  out->digest = h;
  if (out->emit) out->emit(out, r->text, r->length);
}

// ---------------------------------------------------------------------------
// One call of each function, recorded

struct DecodeCall {
  UINT code_page;
  DWORD flags;
  const uint8_t* source;  // null: a null source
  int32_t length;         // bytes of `source` to show
  int32_t count;          // the count argument
  int32_t room;
  bool null_dest;
  bool show_all;  // show the whole destination, not only the units reported
};

void decode(cp_dump_out* out, const DecodeCall& c) {
  WCHAR dest[kRoom];
  for (WCHAR& unit : dest) unit = 0xCCCC;
  SetLastError(kErrorSentinel);
  int result = MultiByteToWideChar(c.code_page, c.flags, reinterpret_cast<LPCSTR>(c.source),
                                   c.count, c.null_dest ? nullptr : dest, c.room);
  DWORD error = GetLastError();

  Record r;
  r.length = 0;
  put_char(&r, 'M');
  put_dec(&r, static_cast<int32_t>(c.code_page));
  put_char(&r, ' ');
  put_hex(&r, c.flags, 3);
  put_char(&r, ' ');
  if (c.source)
    put_bytes(&r, c.source, c.length);
  else
    put_text(&r, "null");
  int32_t shown = put_outcome(&r, c.count, c.room, result, error, c.show_all);
  put_units(&r, dest, shown > static_cast<int32_t>(kRoom) ? kRoom : shown);
  emit(out, &r);
}

struct EncodeCall {
  UINT code_page;
  DWORD flags;
  const WCHAR* source;
  int32_t length;
  int32_t count;
  int32_t room;
  const char* default_char;
  bool ask_used;
  bool show_all;
};

void encode(cp_dump_out* out, const EncodeCall& c) {
  uint8_t dest[kRoom];
  for (uint8_t& byte : dest) byte = 0xCC;
  BOOL used = 7;
  SetLastError(kErrorSentinel);
  int result =
      WideCharToMultiByte(c.code_page, c.flags, c.source, c.count, reinterpret_cast<LPSTR>(dest),
                          c.room, c.default_char, c.ask_used ? &used : nullptr);
  DWORD error = GetLastError();

  Record r;
  r.length = 0;
  put_char(&r, 'W');
  put_dec(&r, static_cast<int32_t>(c.code_page));
  put_char(&r, ' ');
  put_hex(&r, c.flags, 3);
  put_char(&r, ' ');
  if (c.default_char) {
    put_bytes(&r, reinterpret_cast<const uint8_t*>(c.default_char), 2);
  } else {
    put_char(&r, '-');
  }
  put_char(&r, ' ');
  put_units(&r, c.source, c.length);
  int32_t shown = put_outcome(&r, c.count, c.room, result, error, c.show_all);
  put_bytes(&r, dest, shown > static_cast<int32_t>(kRoom) ? kRoom : shown);
  if (c.ask_used) {
    put_text(&r, " u");
    put_dec(&r, used);
  }
  emit(out, &r);
}

void decode_bytes(cp_dump_out* out, UINT code_page, DWORD flags, const uint8_t* bytes,
                  int32_t count) {
  decode(out, {code_page, flags, bytes, count, count, static_cast<int32_t>(kRoom), false, false});
}

void encode_units(cp_dump_out* out, UINT code_page, DWORD flags, const WCHAR* units, int32_t count,
                  const char* default_char, bool ask_used) {
  encode(out, {code_page, flags, units, count, count, static_cast<int32_t>(kRoom), default_char,
               ask_used, false});
}

bool is_double_byte(UINT code_page) {
  return code_page == 932 || code_page == 936 || code_page == 949 || code_page == 950;
}

// ---------------------------------------------------------------------------
// Sections

// Bytes that tell the UTF-8 decoder's cases apart when they follow a lead byte.
const uint8_t kUtf8Probes[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0,
                               0xBF, 0xC0, 0xC2, 0xDF, 0xE0, 0xED, 0xF4, 0xFF};

void utf8_sequences(cp_dump_out* out, DWORD flags) {
  uint8_t s[4];
  for (uint32_t a = 0; a < 256; a++) {
    for (uint32_t b = 0; b < 256; b++) {
      s[0] = static_cast<uint8_t>(a);
      s[1] = static_cast<uint8_t>(b);
      decode_bytes(out, CP_UTF8, flags, s, 2);
    }
  }
  for (uint32_t a = 0xC0; a < 256; a++) {
    for (uint32_t b = 0; b < 256; b++) {
      for (uint8_t c : kUtf8Probes) {
        s[0] = static_cast<uint8_t>(a);
        s[1] = static_cast<uint8_t>(b);
        s[2] = c;
        decode_bytes(out, CP_UTF8, flags, s, 3);
      }
    }
  }
  for (uint32_t a = 0xF0; a < 256; a++) {
    for (uint32_t b = 0; b < 256; b++) {
      for (uint8_t c : kUtf8Probes) {
        for (uint8_t d : kUtf8Probes) {
          s[0] = static_cast<uint8_t>(a);
          s[1] = static_cast<uint8_t>(b);
          s[2] = c;
          s[3] = d;
          decode_bytes(out, CP_UTF8, flags, s, 4);
        }
      }
    }
  }
}

void decode_section(cp_dump_out* out, UINT code_page) {
  static const DWORD kFlags[] = {0, MB_ERR_INVALID_CHARS};
  uint8_t s[2];
  if (code_page != CP_UTF8) {
    for (uint32_t a = 0; a < 256; a++) {
      s[0] = static_cast<uint8_t>(a);
      decode_bytes(out, code_page, kMbUseGlyphChars, s, 1);
    }
  }
  for (DWORD flags : kFlags) {
    for (uint32_t a = 0; a < 256; a++) {
      s[0] = static_cast<uint8_t>(a);
      decode_bytes(out, code_page, flags, s, 1);
    }
    if (is_double_byte(code_page)) {
      for (uint32_t a = 0; a < 256; a++) {
        for (uint32_t b = 0; b < 256; b++) {
          s[0] = static_cast<uint8_t>(a);
          s[1] = static_cast<uint8_t>(b);
          decode_bytes(out, code_page, flags, s, 2);
        }
      }
    }
    if (code_page == CP_UTF8) utf8_sequences(out, flags);
  }
}

void encode_section(cp_dump_out* out, UINT code_page) {
  static const char kDefault[2] = {0x0F, 0};
  bool utf8 = code_page == CP_UTF8;
  WCHAR u[2];
  for (uint32_t unit = 0; unit < 0x10000; unit++) {
    u[0] = static_cast<WCHAR>(unit);
    if (utf8) {
      encode_units(out, code_page, 0, u, 1, nullptr, false);
      continue;
    }
    encode_units(out, code_page, 0, u, 1, nullptr, true);
    encode_units(out, code_page, 0, u, 1, kDefault, true);
    encode_units(out, code_page, WC_NO_BEST_FIT_CHARS, u, 1, nullptr, true);
  }
  // Surrogates in pairs, reversed, and next to other characters.
  for (uint32_t i = 0; i < 0x400; i++) {
    WCHAR high = static_cast<WCHAR>(0xD800 + i);
    WCHAR low = static_cast<WCHAR>(0xDC00 + i);
    const WCHAR pairs[][2] = {{high, 0xDC00}, {high, 0xDFFF}, {high, 0x41},
                              {0xD800, low},  {0xDBFF, low},  {low, 0xD800}};
    for (const WCHAR* pair : pairs) encode_units(out, code_page, 0, pair, 2, nullptr, !utf8);
  }
}

// The Win32 contract as callers see it: terminators, size queries, short
// destinations, bad arguments, default characters and their report.
void contract_section(cp_dump_out* out, UINT) {
  Record r;
  r.length = 0;
  put_text(&r, "acp ");
  put_dec(&r, static_cast<int32_t>(GetACP()));
  put_text(&r, " oem ");
  put_dec(&r, static_cast<int32_t>(GetOEMCP()));
  emit(out, &r);

  static const uint8_t kAbc[] = {'a', 'b', 'c', 0, 'd'};
  static const uint8_t kHigh[] = {0x80, 0x9B, 0xE9, 0xFF, 0};
  static const uint8_t kBadUtf8[] = {'a', 0xC3, 'b', 0};
  static const uint8_t kJapanese[] = {0x82, 0xA0, 'a', 0x82, 0};
  static const uint8_t kLongUtf8[] = {0xF0, 0x9F, 0x98, 0x80, 0xC3, 0xA9, 0};
  static const uint8_t kThai[] = {0xDB, 'a', 'b', 0};
  static const uint8_t kControls[] = {0x01, 0x7F, 0x1F, 0};
  static const uint8_t kUtf8Runs[] = {0xE0, 0x80, 0x41, 0xF0, 0x80, 0x80, 0xEF, 0xBF, 0};
  const int32_t room = static_cast<int32_t>(kRoom);
  const DecodeCall decodes[] = {
      {1252, 0, kAbc, 5, -1, room, false, true},    // up to and with the terminator
      {1252, 0, kAbc, 5, 5, room, false, true},     // a zero byte inside the count
      {1252, 0, kAbc, 5, -1, 0, false, true},       // size query
      {1252, 0, kAbc, 5, -1, 0, true, true},        // size query, no destination
      {1252, 0, kAbc, 5, -1, 3, false, true},       // one unit short
      {1252, 0, kAbc, 5, -1, 4, false, true},       // exactly enough
      {1252, 0, kAbc, 5, 0, room, false, true},     // nothing to convert
      {1252, 0, kAbc, 5, -2, room, false, true},    // other negative counts
      {1252, 0, nullptr, 0, 3, room, false, true},  // no source
      {1252, 0, kAbc, 5, 3, -1, false, true},       // negative room
      {1252, 0, kAbc, 5, 3, 4, true, true},         // room but no destination
      {1252, kMbPrecomposed, kHigh, 5, -1, room, false, true},
      {1252, 0x10, kHigh, 5, -1, room, false, true},  // unknown flag
      {437, kMbUseGlyphChars, kHigh, 5, -1, room, false, true},
      {CP_ACP, 0, kHigh, 5, -1, room, false, true},
      {CP_OEMCP, 0, kHigh, 5, -1, room, false, true},
      {12345, 0, kAbc, 5, -1, room, false, true},  // unknown code pages
      {7, 0, kAbc, 5, -1, room, false, true},
      {1200, 0, kAbc, 5, -1, room, false, true},
      {CP_UTF8, 0, kBadUtf8, 4, -1, room, false, true},
      {CP_UTF8, MB_ERR_INVALID_CHARS, kBadUtf8, 4, -1, room, false, true},
      {CP_UTF8, MB_ERR_INVALID_CHARS, kBadUtf8, 4, -1, 0, false, true},
      {CP_UTF8, MB_ERR_INVALID_CHARS, kBadUtf8, 4, 1, room, false, true},
      {CP_UTF8, 0, kLongUtf8, 7, -1, room, false, true},
      {CP_UTF8, 0, kLongUtf8, 7, -1, 1, false, true},  // a pair does not fit
      {CP_UTF8, 0, kLongUtf8, 7, -1, 2, false, true},
      {CP_UTF8, 0, kLongUtf8, 7, 3, room, false, true},  // cut inside a sequence
      {CP_UTF8, 0, kUtf8Runs, 9, -1, room, false, true},
      {CP_UTF8, MB_ERR_INVALID_CHARS, kUtf8Runs, 9, -1, room, false, true},
      {932, 0, kJapanese, 5, -1, room, false, true},  // lead byte before the terminator
      {932, 0, kJapanese, 5, 4, room, false, true},   // lead byte at the end
      {932, MB_ERR_INVALID_CHARS, kJapanese, 5, 4, room, false, true},
      {932, MB_ERR_INVALID_CHARS, kJapanese, 5, 3, 1, false, true},
      {874, MB_ERR_INVALID_CHARS, kThai, 4, -1, 1, false, true},
      {874, MB_ERR_INVALID_CHARS, kThai, 4, -1, room, false, true},
      {CP_UTF8, MB_ERR_INVALID_CHARS, kBadUtf8, 4, -1, 1, false, true},
      {CP_UTF8, MB_ERR_INVALID_CHARS, kBadUtf8, 4, -1, 2, false, true},
      {437, kMbUseGlyphChars | MB_ERR_INVALID_CHARS, kControls, 4, -1, room, false, true},
      {932, 0, kJapanese, 5, 4, 1, false, true},
      {932, 0, kJapanese, 5, 4, 0, false, true},
  };
  for (const DecodeCall& c : decodes) decode(out, c);

  // The same buffer as source and destination.
  {
    uint8_t shared[16] = {'a', 'b', 'c', 0};
    SetLastError(kErrorSentinel);
    int result = MultiByteToWideChar(1252, 0, reinterpret_cast<LPCSTR>(shared), 3,
                                     reinterpret_cast<LPWSTR>(shared), 4);
    Record s;
    s.length = 0;
    put_text(&s, "M same buffer = ");
    put_dec(&s, result);
    put_text(&s, " e");
    put_dec(&s, static_cast<int32_t>(GetLastError()));
    emit(out, &s);
  }

  static const WCHAR kText[] = {'a', 0x0101, 0x4E00, 0, 'b'};
  static const WCHAR kPlain[] = {'a', 'b', 'c', 0};
  static const WCHAR kSurrogates[] = {0xD83D, 0xDE00, 0xD800, 'a', 0xDC00, 0};
  static const WCHAR kKana[] = {0x3042, 'a', 0x0101, 0x2160, 0};
  static const char kCaret[2] = {'^', 0};
  static const char kEmpty[2] = {0, 0};
  static const char kWide[2] = {'\x81', '\x40'};
  static const char kLeadOnly[2] = {'\x81', 0};
  const EncodeCall encodes[] = {
      {1252, 0, kText, 5, -1, room, nullptr, true, true},
      {1252, 0, kText, 5, 5, room, nullptr, true, true},
      {1252, 0, kPlain, 4, -1, room, nullptr, true, true},  // nothing replaced
      {1252, 0, kText, 5, -1, room, kCaret, true, true},
      {1252, 0, kText, 5, -1, room, kEmpty, true, true},
      {1252, 0, kText, 5, -1, room, kCaret, false, true},
      {1252, WC_NO_BEST_FIT_CHARS, kText, 5, -1, room, kCaret, true, true},
      {1252, 0, kText, 5, -1, 0, nullptr, true, true},  // size query
      {1252, 0, kText, 5, -1, 3, nullptr, true, true},  // one byte short
      {1252, 0, kText, 5, -1, 4, nullptr, true, true},
      {1252, 0, kText, 5, 0, room, nullptr, true, true},
      {1252, 0, nullptr, 0, 3, room, nullptr, true, true},
      {1252, 0, kText, 5, 3, -1, nullptr, true, true},
      {1252, 0, kText, 5, -2, room, nullptr, true, true},
      {1252, 0x10, kText, 5, -1, room, nullptr, true, true},  // only with composite checks
      {1252, 0x60, kText, 5, -1, room, kCaret, true, true},
      {1252, 0x800, kText, 5, -1, room, nullptr, true, true},  // unknown flag
      {1252, 0, kText, 5, -1, 1, nullptr, true, true},         // used past the room
      {1252, 0, kText, 5, -1, 2, nullptr, true, true},
      {CP_ACP, 0, kText, 5, -1, room, nullptr, true, true},
      {CP_OEMCP, 0, kText, 5, -1, room, nullptr, true, true},
      {12345, 0, kText, 5, -1, room, nullptr, true, true},
      {1200, 0, kText, 5, -1, room, nullptr, false, true},
      {CP_UTF8, 0, kText, 5, -1, room, nullptr, false, true},
      {CP_UTF8, kWcErrInvalidChars, kPlain, 4, -1, room, nullptr, false, true},
      {CP_UTF8, 0, kSurrogates, 6, -1, room, nullptr, false, true},
      {CP_UTF8, 0, kSurrogates, 6, -1, 0, nullptr, false, true},
      {CP_UTF8, 0, kSurrogates, 6, -1, 3, nullptr, false, true},  // a pair does not fit
      {CP_UTF8, 0, kSurrogates, 6, -1, 5, nullptr, false, true},
      {CP_UTF8, 0, kText, 5, -1, 5, nullptr, false, true},  // a three-byte form does not fit
      {932, 0, kKana, 5, -1, room, nullptr, true, true},
      {932, 0, kKana, 5, -1, room, kWide, true, true},  // a double-byte default
      {932, 0, kKana, 5, -1, room, kLeadOnly, true, true},
      {932, 0, kKana, 5, -1, room, kCaret, true, true},
      {932, WC_NO_BEST_FIT_CHARS, kKana, 5, -1, room, nullptr, true, true},
      {932, 0, kKana, 5, -1, 2, nullptr, true, true},  // a double byte does not fit
      {932, 0, kKana, 5, -1, 1, nullptr, true, true},
      {932, 0, kKana, 5, -1, 4, nullptr, true, true},
      {932, 0, kKana, 5, -1, 0, nullptr, true, true},
      {936, 0, kKana, 5, -1, room, nullptr, true, true},
      {949, 0, kKana, 5, -1, room, nullptr, true, true},
      {950, 0, kKana, 5, -1, room, nullptr, true, true},
  };
  for (const EncodeCall& c : encodes) encode(out, c);
}

// CharToOemA with the process's ANSI and OEM code pages: every byte, into
// another buffer and in place.
void char_to_oem_section(cp_dump_out* out, UINT) {
  uint8_t source[256];
  uint8_t dest[256];
  for (uint32_t i = 0; i < 255; i++) source[i] = static_cast<uint8_t>(i + 1);
  source[255] = 0;
  for (uint8_t& byte : dest) byte = 0xCC;
  BOOL result = CharToOemA(reinterpret_cast<LPCSTR>(source), reinterpret_cast<LPSTR>(dest));
  Record r;
  r.length = 0;
  put_text(&r, "apart ");
  put_dec(&r, result);
  put_char(&r, ' ');
  put_bytes(&r, dest, 256);
  emit(out, &r);

  result = CharToOemA(reinterpret_cast<LPCSTR>(source), reinterpret_cast<LPSTR>(source));
  r.length = 0;
  put_text(&r, "in place ");
  put_dec(&r, result);
  put_char(&r, ' ');
  put_bytes(&r, source, 256);
  emit(out, &r);

  SetLastError(kErrorSentinel);
  result = CharToOemA(nullptr, reinterpret_cast<LPSTR>(dest));
  DWORD error = GetLastError();
  r.length = 0;
  put_text(&r, "no source ");
  put_dec(&r, result);
  put_text(&r, " e");
  put_dec(&r, static_cast<int32_t>(error));
  emit(out, &r);

  SetLastError(kErrorSentinel);
  result = CharToOemA(reinterpret_cast<LPCSTR>(source), nullptr);
  error = GetLastError();
  r.length = 0;
  put_text(&r, "no destination ");
  put_dec(&r, result);
  put_text(&r, " e");
  put_dec(&r, static_cast<int32_t>(error));
  emit(out, &r);
}

}  // namespace

const cp_dump_section cp_dump_sections[] = {
#define CP_PAGE(n) \
  {#n ".decode", decode_section, n}, { #n ".encode", encode_section, n }
    CP_PAGE(1250),
    CP_PAGE(1251),
    CP_PAGE(1252),
    CP_PAGE(1253),
    CP_PAGE(1254),
    CP_PAGE(1255),
    CP_PAGE(1256),
    CP_PAGE(1257),
    CP_PAGE(1258),
    CP_PAGE(874),
    CP_PAGE(437),
    CP_PAGE(720),
    CP_PAGE(737),
    CP_PAGE(775),
    CP_PAGE(850),
    CP_PAGE(852),
    CP_PAGE(855),
    CP_PAGE(857),
    CP_PAGE(862),
    CP_PAGE(866),
    CP_PAGE(932),
    CP_PAGE(936),
    CP_PAGE(949),
    CP_PAGE(950),
    CP_PAGE(65001),
#undef CP_PAGE
    {"contract", contract_section, 0},
    {"char_to_oem", char_to_oem_section, 0},
};

const uint32_t cp_dump_section_count = sizeof(cp_dump_sections) / sizeof(cp_dump_sections[0]);

const cp_dump_section* cp_dump_find(const char* name) {
  for (uint32_t i = 0; i < cp_dump_section_count; i++) {
    const char* a = cp_dump_sections[i].name;
    const char* b = name;
    while (*a && *a == *b) a++, b++;
    if (*a == 0 && *b == 0) return &cp_dump_sections[i];
  }
  return nullptr;
}

uint64_t cp_dump_run(const cp_dump_section* section, cp_dump_out* out) {
  out->digest = 0xcbf29ce484222325ull;
  section->run(out, section->code_page);
  return out->digest;
}

void cp_dump_hex64(uint64_t value, char text[17]) {
  static const char kDigits[] = "0123456789abcdef";
  for (int i = 15; i >= 0; i--, value >>= 4) text[i] = kDigits[value & 15];
  text[16] = 0;
}
