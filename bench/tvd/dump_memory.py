#!/usr/bin/env python3
"""Peak memory of 'tvd dump' and 'tvd dump --json' against the file's size.

usage: dump_memory.py TVD [MEGABYTES]
Writes two version-2 files of about MEGABYTES (default 10) in a temporary
folder: one of mixed values, and the worst case for memory, one block of
10-byte attributes (no name, an i4). Runs check and each dump once on each
under /usr/bin/time -v with the output thrown away, and prints the peak
resident set size and its ratio to the file size. Goal for both: at most
about 4 times the file's size plus a constant (measured: 1.4 times). Not a
test: ctest does not run it.
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
        for name, make in (("mixed", make_file), ("worst", make_worst_file)):
            path = os.path.join(folder, name + ".tvd")
            make(path, megabytes)
            size_kb = os.path.getsize(path) / 1024
            print("%s file: %.0f KB" % (name, size_kb))
            for args in (["check"], ["dump"], ["dump", "--json"]):
                peak = peak_kb([tvd] + args + [path])
                print("  tvd %-12s peak %7d KB = %5.2f x the file (%5.2f x beyond --help)" % (
                    " ".join(args), peak, peak / size_kb, (peak - baseline) / size_kb))

if __name__ == "__main__":
    main()
