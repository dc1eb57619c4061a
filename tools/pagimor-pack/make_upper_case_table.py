#!/usr/bin/env python3
"""Writes upper_case_table.inc: the simple upper-case mapping of every UTF-16
unit outside the surrogates, from Python's own Unicode data, as runs of
(first, last, delta, stride). Run it again only to move to a newer Unicode."""
import sys
import unicodedata

mapping = {}
for c in range(0x10000):
    if 0xD800 <= c <= 0xDFFF:
        continue
    upper = chr(c).upper()
    if len(upper) == 1 and ord(upper) != c and ord(upper) < 0x10000:
        mapping[c] = ord(upper) - c

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
