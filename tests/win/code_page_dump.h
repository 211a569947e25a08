// The code-page conversions laid out as text, one record per call: the
// arguments, the result, the last-error code and every unit or byte written.
// Built into the probe (which runs it against Windows' own functions) and into
// the native unit tests (which run it against ours); both reduce each section
// to a digest, and the committed digests tie the two together.
//
// Nothing here needs a C library: the probe links none on Windows.
#ifndef TESTS_WIN_CODE_PAGE_DUMP_H
#define TESTS_WIN_CODE_PAGE_DUMP_H

#include <stdint.h>

#include "platform/platform.h"

// Where the records go. Every record reaches `emit` without its line feed;
// the digest covers it with the line feed.
struct cp_dump_out {
  void (*emit)(cp_dump_out* out, const char* record, uint32_t length);
  void* user;
  uint64_t digest;  // FNV-1a, 64 bits
};

struct cp_dump_section {
  const char* name;  // "1252.decode", "65001.encode", "contract", ...
  void (*run)(cp_dump_out* out, UINT code_page);
  UINT code_page;
};

extern const cp_dump_section cp_dump_sections[];
extern const uint32_t cp_dump_section_count;

// The section of that name, or null.
const cp_dump_section* cp_dump_find(const char* name);

// Runs one section into `out` (digest reset first) and returns its digest.
uint64_t cp_dump_run(const cp_dump_section* section, cp_dump_out* out);

// The digest as 16 lower-case hex digits and a terminating zero.
void cp_dump_hex64(uint64_t value, char text[17]);

#endif
