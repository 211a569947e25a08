// The supported code pages and their encodings. The encoding of a page is the
// inverse of its decoding (pairs first, single bytes over them) corrected by
// the generated runs, built once into a table of every unit when first used.
#include "platform/code_pages/code_page.h"

#include <stdlib.h>

namespace {

constexpr uint32_t kMaxPages = 32;
constexpr size_t kUnits = 65536;

void* encodings[kMaxPages];

template <typename Code>
void fill_encoding(const plat_code_page* page, Code* table) {
  for (size_t unit = 0; unit < kUnits; unit++) table[unit] = static_cast<Code>(page->default_code);
  if (page->double_byte) {
    for (uint32_t lead = 0; lead < 256; lead++) {
      if (!plat_cp_is_lead(page, static_cast<uint8_t>(lead))) continue;
      const plat_cp_lead& l = page->leads[lead];
      for (uint32_t trail = l.first; trail <= l.last; trail++) {
        WCHAR unit = page->trails[l.offset + trail - l.first];
        if (unit != page->default_unit) table[unit] = static_cast<Code>(lead << 8 | trail);
      }
    }
  }
  for (uint32_t byte = 0; byte < 256; byte++) {
    if (!plat_cp_is_lead(page, static_cast<uint8_t>(byte))) {
      table[page->bytes[byte]] = static_cast<Code>(byte);
    }
  }
  for (uint32_t i = 0; i < page->run_count; i++) {
    const plat_cp_run& run = page->runs[i];
    for (uint32_t unit = run.first; unit <= run.last; unit++) {
      table[unit] = static_cast<Code>(run.code + (unit - run.first) * run.step);
    }
  }
}

// Threads that convert at once may each build a page's table first: the
// first one made is kept (published whole), the others are let go.
template <typename Code>
const Code* encoding(const plat_code_page* page) {
  size_t index = static_cast<size_t>(page - plat_code_pages);
  void* made = __atomic_load_n(&encodings[index], __ATOMIC_ACQUIRE);
  if (made != nullptr) return static_cast<const Code*>(made);
  Code* table = static_cast<Code*>(malloc(kUnits * sizeof(Code)));
  if (table == nullptr) return nullptr;
  fill_encoding(page, table);
  if (__atomic_compare_exchange_n(&encodings[index], &made, table, false, __ATOMIC_ACQ_REL,
                                  __ATOMIC_ACQUIRE)) {
    return table;
  }
  free(table);
  return static_cast<const Code*>(made);
}

}  // namespace

const plat_code_page* plat_cp_find(UINT code_page) {
  static_assert(kMaxPages >= 24, "room for every generated page");
  for (uint32_t i = 0; i < plat_code_page_count; i++) {
    if (plat_code_pages[i].number == code_page) return &plat_code_pages[i];
  }
  return nullptr;
}

const uint8_t* plat_cp_byte_codes(const plat_code_page* page) {
  return page->double_byte ? nullptr : encoding<uint8_t>(page);
}

const uint16_t* plat_cp_wide_codes(const plat_code_page* page) {
  return page->double_byte ? encoding<uint16_t>(page) : nullptr;
}
