#!/usr/bin/env python3
"""Generates platform/code_pages/code_page_tables.cpp from Windows' code-page files.

usage: code_page_tables.py [--nls DIR] [--output FILE]

DIR holds the NLS files c_<page>.nls (default /usr/share/wine/nls). Each file
has a header (page number, character size, default characters, lead-byte
ranges), the byte-to-unit table (with a glyph table for OEM pages and, for
double-byte pages, one 256-entry table per lead byte) and the full unit-to-byte
table with best fit. What is written keeps only what cannot be derived:

- per page the 256 units of the single bytes;
- the glyph forms of bytes 0x01-0x1F and 0x7F where the page has them;
- for a double-byte page, per lead byte the units of its trail bytes from the
  first to the last one that is defined;
- the encoding as the inverse of the decoding (pairs in order, then single
  bytes in order, a later code replacing an earlier one) plus runs of the
  units whose encoding differs from that inverse: best fit, mostly.

The result is checked against the full tables before it is written.
"""
import argparse
import os
import struct
import sys

PAGES = [1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 874,
         437, 720, 737, 775, 850, 852, 855, 857, 862, 866,
         932, 936, 949, 950]

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUTPUT = os.path.join(HERE, "..", "platform", "code_pages", "code_page_tables.cpp")


class Page:
    pass


def read_page(directory, number):
    data = open(os.path.join(directory, f"c_{number}.nls"), "rb").read()

    def word(offset):
        return struct.unpack_from("<H", data, offset)[0]

    def words(offset, count):
        return list(struct.unpack_from(f"<{count}H", data, offset))

    header = words(0, 13)
    page = Page()
    page.number = header[1]
    assert page.number == number, f"c_{number}.nls holds page {page.number}"
    page.double_byte = header[2] == 2
    page.default_code = header[3]        # what unmappable units become
    page.default_unit = header[4]        # what undefined bytes become
    page.default_code_unit = header[5]   # the unit of default_code
    page.default_unit_code = header[6]   # the code of default_unit

    at = header[0] * 2
    wide_table = at + word(at) * 2
    page.bytes = words(at + 2, 256)
    at += 2 + 512
    page.glyphs = words(at + 2, 256) if word(at) else None
    at += 2 + (512 if word(at) else 0)
    page.leads = {}
    if page.double_byte:
        at += 2
        offsets = words(at, 256)
        for lead in range(256):
            if offsets[lead]:
                page.leads[lead] = words(at + offsets[lead] * 2, 256)
    at = wide_table + 2
    page.encode = words(at, 65536) if page.double_byte else list(data[at:at + 65536])
    return page


def derived_encoding(page, trails):
    """The encoding the runtime builds before it applies the runs."""
    table = [page.default_code] * 65536
    for lead in sorted(page.leads):
        first, units = trails[lead]
        for i, unit in enumerate(units):
            if unit != page.default_unit:
                table[unit] = lead << 8 | (first + i)
    for byte in range(256):
        if byte not in page.leads:
            table[page.bytes[byte]] = byte
    return table


def fit_runs(page, derived):
    """Runs (first, last, code, step) of units whose encoding differs."""
    units = [u for u in range(65536) if page.encode[u] != derived[u]]
    runs = []
    i = 0
    while i < len(units):
        first = units[i]
        code = page.encode[first]
        step = None
        j = i
        while j + 1 < len(units) and units[j + 1] == units[j] + 1:
            delta = page.encode[units[j + 1]] - page.encode[units[j]]
            if step is None and delta in (0, 1):
                step = delta
            elif delta != step:
                break
            j += 1
        runs.append((first, units[j], code, step or 0))
        i = j + 1
    return runs


def trail_ranges(page):
    trails = {}
    for lead, table in page.leads.items():
        defined = [t for t in range(256)
                   if table[t] != page.default_unit or (lead << 8 | t) == page.default_unit_code]
        if defined:
            trails[lead] = (defined[0], table[defined[0]:defined[-1] + 1])
        else:
            trails[lead] = (1, [])
    return trails


def glyph_forms(page):
    if page.glyphs is None:
        return None
    changed = [b for b in range(256) if page.glyphs[b] != page.bytes[b]]
    assert all(b < 0x20 or b == 0x7F for b in changed), f"{page.number}: glyphs beyond controls"
    assert page.glyphs[0] == page.bytes[0]
    # Index 0 stands for 0x7F: byte 0 has no glyph form of its own.
    return [page.glyphs[0x7F]] + page.glyphs[1:0x20]


def check(page, trails, runs):
    """The compact form gives back both full tables."""
    table = derived_encoding(page, trails)
    for first, last, code, step in runs:
        for unit in range(first, last + 1):
            table[unit] = code + (unit - first) * step
    assert table == page.encode, f"{page.number}: encoding differs"
    for lead, units in page.leads.items():
        first, kept = trails[lead]
        for trail in range(256):
            inside = first <= trail < first + len(kept)
            unit = kept[trail - first] if inside else page.default_unit
            assert unit == units[trail], f"{page.number}: {lead:02x} {trail:02x}"
    # Undefined single bytes decode to U+F8xx, never to the rest of the private use area.
    assert not any(0xE000 <= page.bytes[b] < 0xF800 for b in range(256))
    assert all(page.bytes[b] == b for b in range(0x80)), f"{page.number}: not ASCII below 0x80"
    assert all(page.encode[u] == u for u in range(0x80)), f"{page.number}: not ASCII below 0x80"


def c_array(kind, name, values, per_line, width):
    lines = [f"const {kind} {name}[{len(values)}] = {{"]
    for i in range(0, len(values), per_line):
        chunk = values[i:i + per_line]
        lines.append("    " + " ".join(f"0x{v:0{width}x}," for v in chunk))
    lines.append("};")
    return "\n".join(lines)


def invalid_bytes(page):
    """Bytes that MB_ERR_INVALID_CHARS rejects: lead bytes on their own, bytes
    that do not come back from their unit, and undefined bytes."""
    mask = [0] * 8
    for byte in range(256):
        unit = page.bytes[byte]
        bad = (byte in page.leads or page.encode[unit] != byte or 0xE000 <= unit <= 0xF8FF)
        if bad:
            mask[byte >> 5] |= 1 << (byte & 31)
    return mask


def emit_page(page, out):
    n = page.number
    trails = trail_ranges(page)
    runs = fit_runs(page, derived_encoding(page, trails))
    check(page, trails, runs)
    glyphs = glyph_forms(page)

    out.append(f"// {n}")
    out.append(c_array("WCHAR", f"k{n}Bytes", page.bytes, 12, 4))
    if glyphs:
        out.append(c_array("WCHAR", f"k{n}Glyphs", glyphs, 12, 4))
    out.append(f"const plat_cp_run k{n}Runs[{len(runs)}] = {{")
    for first, last, code, step in runs:
        out.append(f"    {{0x{first:04x}, 0x{last:04x}, 0x{code:04x}, {step}}},")
    out.append("};")
    if page.double_byte:
        units = []
        leads = []
        for lead in range(256):
            if lead in trails:
                first, kept = trails[lead]
                leads.append(f"{{{len(units)}, 0x{first:02x}, 0x{first + len(kept) - 1:02x}}}")
                units.extend(kept)
            else:
                leads.append("{0, 1, 0}")
        out.append(c_array("WCHAR", f"k{n}Trails", units, 12, 4))
        out.append(f"const plat_cp_lead k{n}Leads[256] = {{")
        for i in range(0, 256, 6):
            out.append("    " + " ".join(x + "," for x in leads[i:i + 6]))
        out.append("};")
    lead_mask = [0] * 8
    for lead in page.leads:
        lead_mask[lead >> 5] |= 1 << (lead & 31)
    return {
        "number": n,
        "double_byte": page.double_byte,
        "default_code": page.default_code,
        "default_unit": page.default_unit,
        "default_code_unit": page.default_code_unit,
        "default_unit_code": page.default_unit_code,
        "bytes": f"k{n}Bytes",
        "glyphs": f"k{n}Glyphs" if glyphs else "nullptr",
        "leads": f"k{n}Leads" if page.double_byte else "nullptr",
        "trails": f"k{n}Trails" if page.double_byte else "nullptr",
        "runs": f"k{n}Runs",
        "run_count": len(runs),
        "lead_mask": lead_mask,
        "invalid_mask": invalid_bytes(page),
    }


def mask_text(mask):
    return "{" + ", ".join(f"0x{m:08x}u" for m in mask) + "}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--nls", default="/usr/share/wine/nls")
    parser.add_argument("--output", default=DEFAULT_OUTPUT)
    args = parser.parse_args()

    out = [
        "// Generated by tools/code_page_tables.py from Windows' code-page files;",
        "// do not edit. See tools/README.md.",
        "// clang-format off",
        '#include "platform/code_pages/code_page.h"',
        "",
        "namespace {",
        "",
    ]
    pages = []
    for number in PAGES:
        pages.append(emit_page(read_page(args.nls, number), out))
        out.append("")
    out.append("}  // namespace")
    out.append("")
    out.append(f"const plat_code_page plat_code_pages[{len(pages)}] = {{")
    for p in pages:
        out.append(
            f"    {{{p['number']}, {'true' if p['double_byte'] else 'false'}, "
            f"0x{p['default_code']:04x}, 0x{p['default_unit']:04x}, "
            f"0x{p['default_code_unit']:04x}, 0x{p['default_unit_code']:04x},\n"
            f"     {p['bytes']}, {p['glyphs']}, {p['leads']}, {p['trails']}, "
            f"{p['runs']}, {p['run_count']},\n"
            f"     {mask_text(p['lead_mask'])},\n"
            f"     {mask_text(p['invalid_mask'])}}},")
    out.append("};")
    out.append("")
    out.append(f"const uint32_t plat_code_page_count = {len(pages)};")
    out.append("")
    with open(args.output, "w") as f:
        f.write("\n".join(out))
    print(f"wrote {args.output}: {len(pages)} pages")
    return 0


if __name__ == "__main__":
    sys.exit(main())
