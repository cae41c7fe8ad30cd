#!/usr/bin/env python3
"""Prints the table of text/case_fold.cpp: Unicode simple case folding as runs of code points.

Simple folding maps one code point to one code point: the folding of Python's str.casefold() where
that gives a single character, otherwise the single-character lower case (the few letters whose
full folding is longer but which still have a one-character folding, such as U+1E9E).
"""
import unicodedata


def simple_folding():
    table = {}
    for cp in range(0x110000):
        if 0xD800 <= cp <= 0xDFFF:
            continue
        c = chr(cp)
        folded = c.casefold()
        if len(folded) != 1:
            folded = c.lower()
        if len(folded) == 1 and folded != c:
            table[cp] = ord(folded)
    return table


def runs(table):
    """(first, last, delta, stride): every stride-th code point from first to last adds delta."""
    out = []
    for cp, target in sorted(table.items()):
        delta = target - cp
        if out:
            first, last, d, stride = out[-1]
            if d == delta and ((stride == 0 and cp - last in (1, 2)) or
                               (stride and cp - last == stride)):
                out[-1] = (first, cp, delta, cp - last)
                continue
        out.append((cp, cp, delta, 0))
    return [(f, l, d, s or 1) for f, l, d, s in out]


def main():
    print(f"// Unicode {unicodedata.unidata_version}, made by tools/make_case_fold.py.")
    for first, last, delta, stride in runs(simple_folding()):
        print(f"    {{0x{first:04X}, 0x{last:04X}, {delta}, {stride}}},")


if __name__ == "__main__":
    main()
