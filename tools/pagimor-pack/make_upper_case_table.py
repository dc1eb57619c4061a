#!/usr/bin/env python3
"""Writes upper_case_table.inc: for every UTF-16 unit outside the surrogates
that has one, its upper-case partner, from Python's own Unicode data, as runs
of (first, last, delta, stride). Run it again only to move to a newer Unicode.

A unit's partner is the one unit whose lower-case form is the unit and
whose upper-case form agrees with the unit's own (the capital, where a
title-case letter would also do). So 'a' and 'A' are one
letter, and so are the Greek letters with a subscript iota ('\u1f80' and
'\u1f88', which both upper-case to two units); the micro sign, the dotless
i, the long s and the final sigma stay apart from 'M', 'I', 'S' and sigma,
whose lower-case forms are other letters, and 'ß' stays apart from 'ẞ',
which upper-cases to itself while 'ß' upper-cases to "SS". Windows compares
names by the same pairs."""
import sys
import unicodedata

partners = {}
for upper in range(0x10000):
    if 0xD800 <= upper <= 0xDFFF:
        continue
    lower = chr(upper).lower()
    if len(lower) == 1 and ord(lower) != upper and chr(upper).upper() == lower.upper():
        partners.setdefault(ord(lower), []).append(upper)

mapping = {}
for c, candidates in partners.items():
    # A title-case letter such as 'Dž' shares 'dž' with 'DŽ': the capital
    # is the partner.
    capitals = [u for u in candidates if chr(u).upper() == chr(u)]
    chosen = capitals if capitals else candidates
    assert len(chosen) == 1, "U+%04X has %d partners" % (c, len(chosen))
    mapping[c] = chosen[0] - c

keys = sorted(mapping)
runs = []
i = 0
while i < len(keys):
    first, delta = keys[i], mapping[keys[i]]
    ends = {}
    for stride in (1, 2):
        j = i
        while j + 1 < len(keys) and keys[j + 1] == keys[j] + stride and mapping[keys[j + 1]] == delta:
            j += 1
        ends[stride] = j
    stride = 2 if ends[2] > ends[1] else 1
    runs.append((first, keys[ends[stride]], delta, stride))
    i = ends[stride] + 1

out = sys.stdout
out.write("// Made by make_upper_case_table.py from Unicode %s; do not edit.\n" % unicodedata.unidata_version)
out.write("// {first, last, delta, stride}: every stride-th unit from first to last\n")
out.write("// has the upper-case form unit + delta.\n")
for k in range(0, len(runs), 4):
    out.write(" ".join("{0x%04X, 0x%04X, %d, %d}," % r for r in runs[k:k + 4]) + "\n")
