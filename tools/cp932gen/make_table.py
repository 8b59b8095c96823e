#!/usr/bin/env python3
"""Turns the output of cp932dump.exe into src/platform/cp932_table.inc.

    python3 tools/cp932gen/make_table.py DUMP > src/platform/cp932_table.inc

The table holds what the decoder needs (single bytes, lead bytes, the characters of each
double-byte row) and the encoder's exceptions. The encoder inverts the rows in the order they
are written, the first code of a character winning; the exceptions are the codes that order
does not give. Before writing anything the script runs both algorithms over the whole dump and
stops on any difference that is not one of the two intended ones listed below.
"""
import sys
import unicodedata

REPLACEMENT = 0xFFFD

# Windows decodes a lone lead byte, or a lead byte with a trail that has no character, to the
# code page's default character U+30FB, the same character as 81 45. We decode those to U+FFFD
# so that damage stays visible; the bytes consumed are the same.
WINDOWS_DEFAULT_CHAR = 0x30FB

# Linux input methods give these JIS forms where a Windows PC types the characters beside them.
# Windows turns them into '?'; we send the code of the Windows character instead.
JIS_FORMS = {
    0x2014: 0x815C,  # em dash, Windows: horizontal bar U+2015
    0x2016: 0x8161,  # double vertical line, Windows: parallel to U+2225
    0x2212: 0x817C,  # minus sign, Windows: full-width hyphen-minus U+FF0D
    0x301C: 0x8160,  # wave dash, Windows: full-width tilde U+FF5E
}


def load(path):
    cpinfo, single, pairs, encode = None, {}, {}, {}
    for line in open(path, encoding="ascii"):
        f = line.split()
        if not f:
            continue
        if f[0] == "C":
            cpinfo = f[1:]
            continue
        if f[0] not in "SPE":
            continue
        if "ERR" in line:
            sys.exit(f"make_table: conversion failed in the dump: {line.strip()}")
        key, values = int(f[1], 16), f[3:]
        if f[0] == "S":
            single[key] = [int(v, 16) for v in values]
        elif f[0] == "P":
            pairs[key] = [int(v, 16) for v in values]
        else:
            defaulted = values[-1:] == ["U"]
            encode[key] = None if defaulted else int("".join(values), 16)
    if cpinfo is None or len(single) != 256 or len(pairs) != 128 * 256 or len(encode) != 0x10000 - 0x800:
        sys.exit("make_table: the dump is incomplete")
    return cpinfo, single, pairs, encode


def lead_bytes(cpinfo):
    leads = set()
    for r in cpinfo[3:]:
        lo, hi = (int(x, 16) for x in r.split("-"))
        leads.update(range(lo, hi + 1))
    return leads


TRAILS = range(0x40, 0xFD)


def build(cpinfo, single, pairs, encode):
    leads = lead_bytes(cpinfo)
    if int(cpinfo[2], 16) != WINDOWS_DEFAULT_CHAR:
        sys.exit("make_table: unexpected default character")
    single_table = [REPLACEMENT if b in leads else single[b][0] for b in range(256)]
    rows = {}
    for lead in sorted(leads):
        row = []
        for trail in TRAILS:
            (u,) = pairs[lead << 8 | trail]
            own = encode.get(u) == (lead << 8 | trail)
            row.append(REPLACEMENT if u == WINDOWS_DEFAULT_CHAR and not own else u)
        for trail in set(range(1, 256)) - set(TRAILS):
            if pairs[lead << 8 | trail] != [WINDOWS_DEFAULT_CHAR]:
                sys.exit(f"make_table: trail {trail:02X} outside 40-FC has a character")
        rows[lead] = row
    # Rows whose characters Windows encodes elsewhere (the NEC-selected copies of the IBM
    # extensions) are inverted last, so that the first code wins for nearly every character.
    def foreign(lead):
        chars = [u for u in rows[lead] if u != REPLACEMENT]
        return bool(chars) and sum(1 for t, u in zip(TRAILS, rows[lead]) if u != REPLACEMENT and encode.get(u) != (lead << 8 | t)) * 2 > len(chars)
    order = sorted(rows, key=lambda lead: (foreign(lead), lead))
    return leads, single_table, rows, order


def invert(single_table, rows, order):
    code = {c: c for c in range(0x80)}
    for b in range(0x80, 0x100):
        u = single_table[b]
        if u != REPLACEMENT:
            code.setdefault(u, b)
    for lead in order:
        for trail, u in zip(TRAILS, rows[lead]):
            if u != REPLACEMENT:
                code.setdefault(u, lead << 8 | trail)
    return code


def decode(data, leads, single_table, rows):
    out, i = [], 0
    while i < len(data):
        b = data[i]
        if b in leads:
            if i + 1 < len(data) and data[i + 1] != 0:
                t = data[i + 1]
                out.append(rows[b][t - 0x40] if 0x40 <= t <= 0xFC else REPLACEMENT)
                i += 2
                continue
            out.append(REPLACEMENT)
        else:
            out.append(single_table[b])
        i += 1
    return out


def check(single, pairs, encode, leads, single_table, rows, code, overrides):
    # Where Windows gives its default character for bytes other than 81 45, we give U+FFFD.
    inputs = [([b], units) for b, units in single.items()]
    inputs += [([pair >> 8, pair & 0xFF], units) for pair, units in pairs.items()]
    bad = 0
    for data, units in inputs:
        want = [REPLACEMENT if u == WINDOWS_DEFAULT_CHAR and data != [0x81, 0x45] else u for u in units]
        bad += decode(data, leads, single_table, rows) != want
    for u, expected in encode.items():
        got = overrides.get(u, code.get(u))
        if u in JIS_FORMS:
            expected = JIS_FORMS[u]
        bad += got != expected
    if bad:
        sys.exit(f"make_table: {bad} conversions differ from the dump")


def printable(u):
    return (unicodedata.category(chr(u))[0] in "LNPS" and not 0xE000 <= u < 0xFB00 and u != REPLACEMENT
            and unicodedata.normalize("NFC", chr(u)) == chr(u) and chr(u) not in '"\\')


def literal(chars):
    return "".join(chr(u) if printable(u) else f"\\u{u:04X}" for u in chars)


def emit(leads, single_table, rows, order, overrides):
    w = sys.stdout.write
    w("// Generated by tools/cp932gen/make_table.py from Windows' own code page 932 conversion.\n")
    w("// Do not edit; run tools/cp932gen/regenerate.sh.\n\n")
    w("// Each byte on its own; U+FFFD for a lead byte.\n")
    w("constexpr char16_t kSingleBytes[256] = {\n")
    for i in range(0, 256, 16):
        w("    " + " ".join(f"0x{u:04X}," for u in single_table[i:i + 16]) + "\n")
    w("};\n\n")
    w("// The double-byte rows in the order the encoder inverts them. A row either lists the\n")
    w("// characters of trail bytes 0x40-0xFC from kPairChars[offset] (U+FFFD where the pair has\n")
    w("// none), runs on from its first character without gaps over all trails but 0x7F, or is empty.\n")
    w("constexpr PairRow kPairRows[] = {\n")
    chars, offset = [], 0
    for lead in order:
        row = rows[lead]
        present = [u for u in row if u != REPLACEMENT]
        run = [u for t, u in zip(TRAILS, row) if t != 0x7F]
        if not present:
            w(f"    {{0x{lead:02X}, PairRow::Empty, 0}},\n")
        elif run == list(range(run[0], run[0] + len(run))) and row[0x7F - 0x40] == REPLACEMENT:
            w(f"    {{0x{lead:02X}, PairRow::Run, 0x{run[0]:04X}}},\n")
        else:
            w(f"    {{0x{lead:02X}, PairRow::Listed, {offset}}},\n")
            chars.append((lead, row))
            offset += len(row)
    w("};\n\n")
    w("// The listed rows, one lead byte a paragraph (trail bytes 0x40-0x7E, 0x7F, 0x80-0xBE, 0xBF-0xFC).\n")
    w("constexpr char16_t kPairChars[] =\n")
    for lead, row in chars:
        w(f"    // {lead:02X}\n")
        for a, b in ((0, 0x3F), (0x3F, 0x40), (0x40, 0x7F), (0x7F, 0xBD)):
            w(f'    u"{literal(row[a:b])}"\n')
    w("    ;\n\n")
    w("// Codes the inversion of the rows does not give: Windows' best fits for characters without a\n")
    w("// code of their own, a few duplicates, and JIS forms that get the code of the Windows form.\n")
    w("constexpr EncodeException kEncodeExceptions[] = {\n")
    items = [f"{{0x{u:04X}, 0x{c:02X}}}," for u, c in sorted(overrides.items())]
    for i in range(0, len(items), 6):
        w("    " + " ".join(items[i:i + 6]) + "\n")
    w("};\n")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    cpinfo, single, pairs, encode = load(sys.argv[1])
    leads, single_table, rows, order = build(cpinfo, single, pairs, encode)
    code = invert(single_table, rows, order)
    overrides = {}
    for u, expected in encode.items():
        expected = JIS_FORMS.get(u, expected)
        if code.get(u) != expected:
            if expected is None:
                sys.exit(f"make_table: U+{u:04X} decodes from some bytes but Windows cannot encode it")
            overrides[u] = expected
    check(single, pairs, encode, leads, single_table, rows, code, overrides)
    emit(leads, single_table, rows, order, overrides)


if __name__ == "__main__":
    main()
