#!/usr/bin/env python3
"""Peak memory of 'tvd dump', 'tvd dump --json' and 'tvd import' against
the size of what they read.

usage: dump_memory.py TVD [MEGABYTES]
Writes version-2 files of about MEGABYTES (default 10) in a temporary
folder: one of mixed values; the worst case for the number of attributes,
one block of 10-byte attributes (no name, an i4); and three of one long text
value: plain, full of control characters (escaped in both dumps), and full
of lone surrogates (U+FFFD plus "value_utf16" in the JSON). Runs check and
each dump once on each under /usr/bin/time -v with the output thrown away,
then imports the JSON of the mixed, the worst and the plain long-text file, and
prints the peak resident set size and its ratio to the size of the input.
Goals: dumps at most about 2 times the file's size plus a constant, import
at most about 4 times the JSON's size. Not a test: ctest does not run it.
"""

import os
import struct
import subprocess
import sys
import tempfile

NEWEST = b"Tavorin Virtual Document x.xx\0"


def string(text):
    data = text.encode("utf-16-le")
    return struct.pack("<I", len(data) // 2) + data


def make_file(path, megabytes):
    """Blocks of 1,000 attributes (i4, r8, date and text in turn) until the size is reached."""
    blocks = []
    size = len(NEWEST) + 8
    while size < megabytes * 1024 * 1024:
        parts = [string("Block%d" % len(blocks)), struct.pack("<I", 1000)]
        for a in range(1000):
            parts.append(string("Attribute%d" % a))
            kind = a % 4
            if kind == 0:
                parts.append(struct.pack("<Hi", 3, a))
            elif kind == 1:
                parts.append(struct.pack("<Hd", 5, a / 3.0))
            elif kind == 2:
                parts.append(struct.pack("<Hd", 7, 45000 + a / 7.0))
            else:
                parts.append(struct.pack("<H", 8) + string("value text %d" % (a * 7919)))
        block = b"".join(parts)
        blocks.append(block)
        size += len(block)
    with open(path, "wb") as f:
        f.write(NEWEST + struct.pack("<II", 2, len(blocks)) + b"".join(blocks))


def make_worst_file(path, megabytes):
    count = int(megabytes * 1024 * 1024) // 10
    with open(path, "wb") as f:
        f.write(NEWEST + struct.pack("<III", 2, 1, 0) + struct.pack("<I", count))
        f.write(struct.pack("<IHi", 0, 3, 7) * count)


def make_long_text_file(path, megabytes, unit_cycle):
    """One block holding one text value of the units in unit_cycle, repeated."""
    count = int(megabytes * 1024 * 1024) // 2
    cycle = struct.pack("<%dH" % len(unit_cycle), *unit_cycle)
    text = (cycle * (count // len(unit_cycle) + 1))[:count * 2]
    with open(path, "wb") as f:
        f.write(NEWEST + struct.pack("<II", 2, 1) + string("Block") + struct.pack("<I", 1))
        f.write(string("Text") + struct.pack("<HI", 8, count))
        f.write(text)


def make_text_file(path, megabytes):
    make_long_text_file(path, megabytes, [ord(c) for c in "Plain text, line by line. "])


def make_control_file(path, megabytes):
    make_long_text_file(path, megabytes, list(range(1, 32)) + [0x7F, ord('"'), ord("\\")])


def make_surrogate_file(path, megabytes):
    make_long_text_file(path, megabytes, [0xD800, ord("x"), 0xDC00, 0xD83D, 0xDE00])


FILES = (("mixed", make_file), ("worst", make_worst_file), ("text", make_text_file),
         ("control", make_control_file), ("surrogate", make_surrogate_file))


def peak_kb(command):
    result = subprocess.run(["/usr/bin/time", "-v"] + command, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, check=True)
    for line in result.stderr.decode().splitlines():
        if "Maximum resident set size" in line:
            return int(line.split(":")[1])
    raise RuntimeError("no peak in /usr/bin/time output")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    tvd = os.path.abspath(sys.argv[1])
    megabytes = float(sys.argv[2]) if len(sys.argv) > 2 else 10
    with tempfile.TemporaryDirectory(prefix="tvd-bench-") as folder:
        baseline = peak_kb([tvd, "--help"])
        print("tvd --help peaks at %d KB" % baseline)
        for name, make in FILES:
            path = os.path.join(folder, name + ".tvd")
            make(path, megabytes)
            size_kb = os.path.getsize(path) / 1024
            print("%s file: %.0f KB" % (name, size_kb))
            for args in (["check"], ["dump"], ["dump", "--json"]):
                peak = peak_kb([tvd] + args + [path])
                print("  tvd %-12s peak %7d KB = %5.2f x the file (%5.2f x beyond --help)" % (
                    " ".join(args), peak, peak / size_kb, (peak - baseline) / size_kb))
        for name in ("mixed", "worst", "text"):
            json_path = os.path.join(folder, name + ".json")
            with open(json_path, "wb") as f:
                subprocess.run([tvd, "dump", "--json", os.path.join(folder, name + ".tvd")],
                               stdout=f, check=True)
            size_kb = os.path.getsize(json_path) / 1024
            peak = peak_kb([tvd, "import", json_path, "-o", os.path.join(folder, "imported.tvd")])
            print("JSON of the %s file: %.0f KB" % (name, size_kb))
            print("  tvd %-12s peak %7d KB = %5.2f x the JSON (%5.2f x beyond --help)" % (
                "import", peak, peak / size_kb, (peak - baseline) / size_kb))

if __name__ == "__main__":
    main()
