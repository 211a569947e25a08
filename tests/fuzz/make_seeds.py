#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into corpus/<target>/seed-*.

The seeds spell out each target's input layout (see the head of each
<target>_fuzz.cpp) for the cases worth starting from. Reproducers of findings
are kept next to them as regress-* files, other inputs worth keeping as
case-* files; neither is ever rewritten here.

    tests/fuzz/make_seeds.py            rewrite every target's seeds
    tests/fuzz/make_seeds.py format     only these targets'
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def u32(value):
    return struct.pack("<I", value & 0xFFFFFFFF)


def u64(value):
    return struct.pack("<Q", value & 0xFFFFFFFFFFFFFFFF)


# --- format ----------------------------------------------------------------

FORMAT_KNOWN = b"0123456789*,-;.lc%diuxbs"


def format_seed(fmt, slots=(), strings=(), options=0, answers=()):
    data = bytes([options])
    pairs = list(answers) + [(0, 255)] * (4 - len(answers))
    for letter, answer in pairs:
        data += bytes([letter, FORMAT_KNOWN.index(answer) if answer != 255 else 255])
    slots = list(slots) + [0] * (12 - len(slots))
    for value in slots:
        data += u64(value)
    strings = list(strings) + [b""] * (4 - len(strings))
    for text in strings:
        data += bytes([len(text)]) + text
    return data + fmt


def format_seeds():
    most_negative = 1 << 63
    return {
        "plain": format_seed(b"no conversions\n"),
        "signs": format_seed(b"%d %i %i %ld %d", [0, 7, 0, most_negative, -5]),
        "bases": format_seed(b"%x %b %lx %lb", [255, 5, 1 << 40, 3]),
        "groups": format_seed(b"%3,u %3,d %,u %2,b %0,u", [1234567, -1234567, 123, 10, 9]),
        "widths": format_seed(b"%5d|%-6u|%05d|%2u|%.2u|%.;2u|%010u|%5.3d", [42, 42, -42, 12345,
                                                                          12345, 12345, 7, 42]),
        "strings": format_seed(b"%5s|%-5s|%.;3s|%0s|%s", [], [b"abcdefgh", b"ab", b"abcdef",
                                                             b"xyz"]),
        "chars": format_seed(b"%.3c|%.3%|%c|%0c", [ord("x"), ord("y"), ord("z")]),
        "stars": format_seed(b"%**d|%*d|%-*d|%**s", [0x501, 42, 6, 7, 4, 7, 0x801], [b"s"]),
        "wide": format_seed(b"%l5d|%5ld|%l,x", [1, 1, 0xFFFFFFFFFFFF]),
        "unknown": format_seed(b"%q%d%y%5z", [3], options=1,
                               answers=[(ord("y"), b"d"), (ord("z"), b"*")]),
        "ends inside": format_seed(b"abc%-5"),
        "lone percent": format_seed(b"abc%"),
        "printf": format_seed(b"%s=%3,u [%-4c] %i%%", [0, 1234567, ord("q"), 9], [b"key"],
                              options=2),
        "long digits": format_seed(b"%99999999999d|%4294967295s", [1], [b"", b"x"]),
    }


# --- tokenizer -------------------------------------------------------------

def tokenizer_seed(first, second=None, push=0, capacity=0x80, separator=0):
    second = second or b""
    return bytes([capacity, push, separator, len(second)]) + second + first


def tokenizer_seeds():
    return {
        "plain": tokenizer_seed(b"prog -ia in.txt out.txt"),
        "quotes": tokenizer_seed(b'"" "" "a""b" "ab"cd ab"c d"e x "a b  '),
        "backslash": tokenizer_seed(b'"C:\\dir\\" next'),
        "separators": tokenizer_seed(b"a\tb\rc\nd\0e", separator=1),
        "long word": tokenizer_seed(b"x" * 300 + b" next", separator=3),
        "small capacity": tokenizer_seed(b'abcdef "gh""ij" k', capacity=3),
        "push": tokenizer_seed(b"one two three", b'"pushed" text', push=2),
        "push at end": tokenizer_seed(b"one", b"two", push=5),
        "quoted nul": tokenizer_seed(b'"a\0b" c', separator=4),
    }


# --- path_lines ------------------------------------------------------------

def path_lines_seed(stream, room=0, failure=0xFFFF, sizes=(), quotes_in_names=True, pairs=False):
    rule = (0 if quotes_in_names else 8) | (16 if pairs else 0)
    data = bytes([room]) + struct.pack("<H", failure) + bytes([len(sizes) | rule])
    for size in sizes:
        data += struct.pack("<H", size)
    return data + stream


def path_lines_seeds():
    return {
        "crlf": path_lines_seed(b"a.txt\r\nb.txt\r\n\r\n\nc d.txt"),
        "quotes": path_lines_seed(b'"C:\\x y\\z.txt"\n""\nq"u"ote\0after',
                                  quotes_in_names=False),
        "quotes in names": path_lines_seed(b'"my file"\nx"y\n"open\nclose"\n"\n""\n"a"b"'),
        "quoted long line": path_lines_seed(b'"abcd"\n"abcde"\n"abc\n', room=5),
        "long line": path_lines_seed(b"x" * 300 + b"\nshort\n" + b"y" * 259 + b"\n"),
        "small reads": path_lines_seed(b"one\ntwo\r\nthree", sizes=(1, 2, 3)),
        "small room": path_lines_seed(b"abcdef\nab\n\"abc\"\n", room=4),
        "failing read": path_lines_seed(b"kept\ncut here\nnever", failure=8, sizes=(5,)),
        "pairs": path_lines_seed(b'a\tb\n"a b"\t"c d"\n\tb\na\t\n\t\nx\ty\tz\n"q\tr"\nplain\n',
                                 sizes=(3, 1), pairs=True),
        "long pairs": path_lines_seed(b"abcd\tab\nab\tabcd\n\"abc\"\t\"abc\"\n", room=4, pairs=True),
        "pairs without quotes": path_lines_seed(b'"a"\t"b"\n"\t"\n', quotes_in_names=False,
                                                pairs=True),
    }


# --- operations ------------------------------------------------------------

def operations_seed(operations, times=((0, 0),) * 5):
    data = b""
    for kind, value in times:
        data += bytes([kind]) + u64(value)
    return data + operations


SECOND = 10000000
NEAR = [(2, 0), (2, -1000000), (2, 3), (2, 86400), (2, 10)]  # W C A G N, seconds apart
APART = [(2, 0), (2, 5), (2, 8), (2, 86399), (2, 100)]


def operations_seeds():
    return {
        "default": operations_seed(b"ww"),
        "help examples": operations_seed(b"Wcnw#a.g w+w.a.g nwnang Wwc<aW<c.g", NEAR),
        "grammar": operations_seed(b"  w+<w w-+-w ww  ca w# w. w: wn #w nw#w", APART),
        "conditions": operations_seed(b"c!a nw w=cXY w~g", APART),
        "condition fails": operations_seed(b"c!a nw", [(2, 0), (2, 0), (2, 3), (2, 0), (2, 9)]),
        "illegal": operations_seed(b"w<+w", NEAR),
        "rounding fails": operations_seed(b"Gg .w :c Ww", [(3, -1), (5, 0), (4, 0), (5, 0),
                                                            (6, 0)]),
        "dos range": operations_seed(b"WwCcAaGg", [(3, 0), (3, -1), (4, -1), (4, 0), (0, 0)]),
        "controls": operations_seed(b"\x03w\x0ec\x1aa", NEAR),
        # C 24 h after W, A 4 s before C, G 4 s and 100 ns after A, N 24 h less 100 ns
        # before G.
        "edges": operations_seed(b"w~c c~w w=a c=a a!g a=g g~n n~w", [(2, 0), (8, 6), (9, 3),
                                                                         (8, 4), (9, 5)]),
        "minutes": operations_seed(b"w--w c++++c a-a", [(1, 12345678), (0, 0), (7, 0),
                                                         (7, 1 << 63), (0, 0)]),
        "shifts": operations_seed(b"w+90sw c-1Hc a+-2da g+1m+g W+007sa", NEAR),
        "shift ranges": operations_seed(b"w-2sw :+1sc .+0sa w+99999999999999999999dg n-1sn",
                                        [(7, 10000000), (0, 0), (0, 0), (0, 0), (7, 0)]),
        "shift units": operations_seed(b"w+1w", NEAR),
    }


# --- code_pages ------------------------------------------------------------

CODE_PAGES = 24  # the pages of the tables; index 24 stands for UTF-8


def code_pages_seed(page, units, data, options=0, fallback=b"\x0f\x00"):
    out = bytes([page, options]) + fallback + bytes([len(units)])
    for kind, a, b in units:
        out += bytes([kind, a, b])
    return out + data


def code_pages_seeds():
    seeds = {}
    mapped = [(0, b, 0) for b in range(0x20, 0x100, 9)]
    pairs = [(1, lead, trail) for lead in (0x81, 0x88, 0xA1, 0xB0, 0xE0) for trail in (0x40, 0xA1, 0xFE)]
    other = [(3, 0x01, 0x01), (3, 0x00, 0x4E), (3, 0x3D, 0xD8), (3, 0x00, 0xDC), (3, 0xFD, 0xFF),
             (2, ord("a"), 0), (3, 0xAC, 0x20)]
    every_byte = bytes(range(1, 256))
    pair_bytes = bytes([0x81, 0x40, 0x88, 0x9F, 0xE0, 0x41, 0x81, 0x00, 0x82])
    for page in range(CODE_PAGES):
        seeds["page %d" % page] = code_pages_seed(page, mapped + pairs + other,
                                                  every_byte + pair_bytes, options=page % 6)
    utf8 = "aé€\U0001F600".encode() + b"\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe2\x82"
    seeds["utf-8"] = code_pages_seed(CODE_PAGES, mapped + other, utf8)
    seeds["utf-8 pairs"] = code_pages_seed(CODE_PAGES, [(3, 0x3D, 0xD8), (3, 0x00, 0xDE),
                                                        (3, 0x00, 0xDE)], b"\xf0\x9f\x98\x80")
    return seeds


# --- text_string -----------------------------------------------------------

# Opcodes of text_string_fuzz.cpp's run_operation.
(TS_RESET, TS_VIEW, TS_ASSIGN_TEXT, TS_ASSIGN, TS_COPY, TS_EMPTY, TS_OWN_COPY, TS_MAKE_OWN,
 TS_TERMINATE, TS_TERMINATED_COPY, TS_APPEND, TS_CONCAT, TS_REPEAT, TS_ERASE, TS_REINTERPRET,
 TS_RESIZE, TS_REBUILD, TS_WIDE, TS_NARROW, TS_STATE, TS_UNIT) = range(21)
TS_PAGES = [1252, 437, 65001, 932, 936, 0, 1, 1253]
KEEP, FILL, RESERVE = 1, 2, 4


def ts_op(op, a=0, b=0, *operands):
    return bytes([op, a, b]) + bytes(operands)


def ts_erase(a, index, count):
    return ts_op(TS_ERASE, a, 0) + u32(index + 512) + bytes([count])


def ts_repeat(a, unit, count):
    return ts_op(TS_REPEAT, a, 0) + u32(unit) + bytes([count & 0xFF, count >> 8])


def ts_resize(a, length, hint, seed=1):
    return ts_op(TS_RESIZE, a, 0, length & 0xFF, length >> 8, hint & 0xFF, hint >> 8, seed)


def ts_rebuild(a, pick, offset, source_width, target_width, mode, count, seed=3):
    widths = source_width | (2 if target_width is None else target_width << 2)
    return ts_op(TS_REBUILD, a, 0, pick, offset, widths, mode, count & 0xFF, count >> 8, seed)


def ts_state(page, replacement=0x0F, report=True):
    return ts_op(TS_STATE, 0, 0, TS_PAGES.index(page), replacement, 1 if report else 0)


def text_string_seed(ops, views=(b"abc", b"hello world", b"\x82\xa0\x81"), pool=b"pool of bytes",
                     page=1252, slack=16, report=False):
    data = bytes([TS_PAGES.index(page), 0x5E, 1 if report else 0, slack])
    for view in views:
        data += bytes([len(view)]) + view
    return data + bytes([len(pool)]) + pool + b"".join(ops)


def text_string_seeds():
    return {
        "sharing": text_string_seed([
            ts_op(TS_VIEW, 0, 0, 1), ts_op(TS_MAKE_OWN, 0), ts_op(TS_ASSIGN, 1, 0),
            ts_op(TS_ASSIGN, 1, 1), ts_erase(1, 0, 1), ts_op(TS_COPY, 2, 1), ts_erase(2, 3, 2),
            ts_op(TS_UNIT, 2, 0, 3), ts_op(TS_RESET, 0)]),
        "append and concat": text_string_seed([
            ts_op(TS_VIEW, 0, 0, 0), ts_repeat(1, 0xFEFF, 1), ts_op(TS_APPEND, 1, 0),
            ts_op(TS_APPEND, 0, 0), ts_op(TS_APPEND, 0, 1), ts_op(TS_CONCAT, 2, 0, 1, 1),
            ts_op(TS_TERMINATED_COPY, 3, 2)]),
        "width changes": text_string_seed([
            ts_op(TS_VIEW, 0, 0, 1), ts_op(TS_WIDE, 0), ts_op(TS_ASSIGN, 1, 0),
            ts_op(TS_NARROW, 1), ts_op(TS_REINTERPRET, 0, 0, 0), ts_op(TS_REINTERPRET, 0, 0, 1),
            ts_op(TS_VIEW, 2, 0, 0), ts_op(TS_REINTERPRET, 2, 0, 1),
            ts_op(TS_REINTERPRET, 2, 0, 0), ts_op(TS_OWN_COPY, 2)], report=True),
        "double-byte": text_string_seed([
            ts_op(TS_VIEW, 0, 0, 2), ts_op(TS_WIDE, 0), ts_op(TS_NARROW, 0),
            ts_repeat(1, 0x3042, 5), ts_op(TS_NARROW, 1), ts_repeat(2, 0x4E00, 300),
            ts_op(TS_APPEND, 2, 1), ts_op(TS_NARROW, 2)], page=932, report=True),
        "lossy": text_string_seed([
            ts_state(437), ts_repeat(0, 0x4E00, 3), ts_op(TS_NARROW, 0), ts_state(1252, 0x3F),
            ts_repeat(1, 0x20AC, 2), ts_op(TS_NARROW, 1), ts_state(65001),
            ts_repeat(2, 0xD800, 1), ts_op(TS_NARROW, 2)]),
        "resize": text_string_seed([
            ts_resize(0, 10, 0), ts_resize(0, 300, 600), ts_resize(0, 5, 0),
            ts_op(TS_ASSIGN, 1, 0), ts_resize(1, 20, 0), ts_erase(0, 0, 2), ts_resize(0, 40, 0),
            ts_op(TS_VIEW, 2, 0, 1), ts_resize(2, 3, 0), ts_op(TS_TERMINATE, 2)], slack=0),
        "rebuild own block": text_string_seed([
            ts_op(TS_VIEW, 0, 0, 1), ts_op(TS_OWN_COPY, 0),
            ts_rebuild(0, 0, 2, 0, None, 0, 5), ts_rebuild(0, 0, 1, 0, 1, 0, 4),
            ts_rebuild(0, 0, 0, 1, None, KEEP, 2), ts_rebuild(0, 4, 0, 0, 0, KEEP | FILL, 100),
            ts_rebuild(0, 4, 3, 0, 1, KEEP | RESERVE, 30), ts_rebuild(0, 0, 0, 1, 0, KEEP, 7),
            ts_rebuild(1, 0, 0, 0, None, 0, 0)]),
        "erase": text_string_seed([
            ts_op(TS_VIEW, 0, 0, 1), ts_erase(0, -3, 2), ts_erase(0, -100, 1),
            ts_erase(0, 7, 60), ts_erase(0, 50, 1), ts_erase(0, 1, 0), ts_op(TS_TERMINATE, 0),
            ts_op(TS_EMPTY, 1, 0, 1), ts_op(TS_UNIT, 1, 0, 0)]),
    }


# --- utf8 ------------------------------------------------------------------

def utf8_seed(units, mark=0, repeat=1, position=0, replacement=0x80):
    data = bytes([mark, repeat - 1]) + struct.pack("<H", position) + bytes([replacement])
    for kind, value in units:
        data += bytes([kind, value & 0xFF, value >> 8])
    return data


ASCII, TWO, THREE, HIGH, LOW, ANY = 0, 2, 3, 4, 5, 6


def utf8_seeds():
    text = [(ASCII, ord(c)) for c in "plain text "]
    return {
        "ascii stretch": utf8_seed(text, repeat=16, position=200),
        "mixed": utf8_seed(text + [(TWO, 0x65), (THREE, 0x3000), (HIGH, 0x3D), (LOW, 0x200)] * 3,
                           mark=1, repeat=4, position=33, replacement=0xC3),
        "short forms": utf8_seed([(TWO, k * 37) for k in range(24)] + text, repeat=3),
        "lone surrogates": utf8_seed([(LOW, 1), (HIGH, 2), (ASCII, 65), (HIGH, 3)], repeat=5),
        "zero unit": utf8_seed(text + [(ANY, 0)] + text, repeat=2, replacement=0),
        "edges": utf8_seed([(ANY, 0x7F), (ANY, 0x80), (ANY, 0x7FF), (ANY, 0x800), (ANY, 0xFFFF),
                            (ANY, 0xD7FF), (ANY, 0xE000), (ANY, 0xFEFF)], repeat=7, position=5),
        "empty": utf8_seed([], mark=1),
    }


# --- blocks ----------------------------------------------------------------

BLOCK_INPUTS = {"auto": 0, "oem": 1, "ansi": 2, "utf8": 3, "wide": 4, "932": 5}
BLOCK_OUTPUTS = {"oem": 0, "ansi": 1, "utf8": 2, "wide": 3}


def blocks_seed(text, source="auto", output="ansi", block=3, piece=0, listed=5, raw=False,
                stop=False, thread=False):
    options = (BLOCK_INPUTS[source] | BLOCK_OUTPUTS[output] << 3 | raw << 5 | stop << 6
               | thread << 7)
    return bytes([options]) + struct.pack("<H", block - 1) + bytes([piece, listed]) + text


def blocks_seeds():
    utf8 = "caf\u00e9 \u20ac \U0001F600 \u221e\u0100\r\n\u4e00 x".encode() * 3
    malformed = b"a\xe2\x82b\xf0\x9f\x98c\xc3\x80\x80\xed\xa0\x80\xe0\x80\x80\xf4\x90\x80\x80d"
    wide = "\ufeffa\U0001F600\r\n\u00e9".encode("utf-16-le")
    return {
        "utf8 to ansi": blocks_seed(utf8, block=1, thread=True),
        "utf8 with a mark to wide": blocks_seed(b"\xef\xbb\xbf" + utf8, "utf8", "wide", 5),
        "malformed utf8 checked": blocks_seed(malformed, "utf8", "utf8", 2, stop=True),
        "malformed utf8 to oem": blocks_seed(malformed, "utf8", "oem", 7, listed=200),
        "wide pairs to utf8": blocks_seed(wide * 4, "wide", "utf8", 3),
        "wide odd and unmarked": blocks_seed(b"a\x00\x3d\xd8\x00\xde!", "wide", "ansi", 1,
                                             thread=True),
        "ansi also utf8": blocks_seed("\u00e9\u20ac\U0001F600".encode() * 5, "ansi", "utf8", 2),
        "double-byte page": blocks_seed(b"ab\x82\xa0\x82\x00\x85\x40\x82", "932", "wide", 1),
        "empty": blocks_seed(b"", "auto", "utf8", 1),
    }


# --- registry --------------------------------------------------------------

TARGETS = {
    "blocks": blocks_seeds,
    "code_pages": code_pages_seeds,
    "format": format_seeds,
    "operations": operations_seeds,
    "path_lines": path_lines_seeds,
    "text_string": text_string_seeds,
    "tokenizer": tokenizer_seeds,
    "utf8": utf8_seeds,
}


def write(target, seeds):
    directory = os.path.join(HERE, "corpus", target)
    os.makedirs(directory, exist_ok=True)
    for name in os.listdir(directory):
        if name.startswith("seed-"):
            os.remove(os.path.join(directory, name))
    for name, data in seeds.items():
        with open(os.path.join(directory, "seed-" + name.replace(" ", "-")), "wb") as f:
            f.write(data)


def main(argv):
    for target in argv[1:] or sorted(TARGETS):
        write(target, TARGETS[target]())


if __name__ == "__main__":
    main(sys.argv)
