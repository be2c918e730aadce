#!/usr/bin/env python3
"""Writes commands/case_folding_table.inc, the table of Unicode's full case
folding (statuses C and F of CaseFolding.txt) that the emoji list's filter
folds text with, from Debian's unicode-data:

    python3 scripts/case-folding.py [/usr/share/unicode/CaseFolding.txt]

The one-to-one mappings become runs of code points with the same distance to
their folding, one after the other or every second one (most capitals sit
next to their small letter); the one-to-many mappings are listed one by one."""

import pathlib
import re
import sys

SOURCE = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "/usr/share/unicode/CaseFolding.txt")
TARGET = pathlib.Path(__file__).resolve().parent.parent / "commands" / "case_folding_table.inc"


def read(path):
    simple, full, version = {}, {}, "?"
    for line in path.read_text(encoding="utf-8").splitlines():
        match = re.match(r"# CaseFolding-(\d+\.\d+\.\d+)\.txt", line)
        if match:
            version = match.group(1)
        fields = [field.strip() for field in line.split("#")[0].split(";")]
        if len(fields) < 3:
            continue
        code, status, mapping = int(fields[0], 16), fields[1], [int(x, 16) for x in fields[2].split()]
        if status == "C":
            simple[code] = mapping[0]
        elif status == "F":
            full[code] = mapping
    return simple, full, version


def runs(simple):
    result, done = [], set()
    for first in sorted(simple):
        if first in done:
            continue
        delta = simple[first] - first
        best = (1, 1)
        for stride in (1, 2):
            count = 1
            while True:
                code = first + count * stride
                # A run of every second code point must not pass over one
                # that folds otherwise.
                if simple.get(code, code) - code != delta or (stride == 2 and code - 1 in simple):
                    break
                count += 1
            if count > best[0]:
                best = (count, stride)
        count, stride = best
        done.update(first + k * stride for k in range(count))
        result.append((first, count, stride, delta))
    return result


def main():
    simple, full, version = read(SOURCE)
    lines = [
        f"// Unicode {version} full case folding (CaseFolding.txt, statuses C and F), written by",
        "// scripts/case-folding.py: do not edit. Included by commands/case_folding.cpp only.",
        "",
        "// {first, count, stride, delta}: first + k * stride (k < count) folds to itself + delta.",
        "constexpr FoldRun kFoldRuns[] = {",
    ]
    for first, count, stride, delta in runs(simple):
        lines.append(f"    {{0x{first:04X}, {count}, {stride}, {delta}}},")
    lines += ["};", "", "// {code point, its folding of two or three code points (0: none)}.",
              "constexpr FoldMany kFoldMany[] = {"]
    for code in sorted(full):
        mapping = full[code] + [0] * (3 - len(full[code]))
        lines.append(f"    {{0x{code:04X}, {{{', '.join(f'0x{m:04X}' for m in mapping)}}}}},")
    lines.append("};")
    TARGET.write_text("\n".join(lines) + "\n", encoding="utf-8")


main()
