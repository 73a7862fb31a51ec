#!/usr/bin/env python3
"""Wall time of 'tvd check', 'tvd dump' and 'tvd dump --json' on a large
document against 'cat' of the same file, in the same run.

usage: dump_speed.py TVD [BEFORE]
Writes the large document of the document benchmark (200 blocks of 1,000
attributes: i4, r8, date and text in turn, about 9 MB) in a temporary
folder. Each command runs once to warm the page cache, then 9 times
interleaved with the others, its output going once to /dev/null and once to
a file in the same folder (removed before each run, so that every run writes
a fresh file). With BEFORE, another build of tvd (the one before a change),
its commands take their turns too. Prints the median wall and processor time
of each, and the ratios of the medians to cat's with the same output. Goal:
dump --json within 8 times cat. Not a test: ctest does not run it. On a
shared machine the processor times are the steadier.
"""

import os
import resource
import statistics
import struct
import subprocess
import sys
import tempfile
import time

ROUNDS = 9
NEWEST = b"Tavorin Virtual Document x.xx\0"


def string(text):
    data = text.encode("utf-16-le")
    return struct.pack("<I", len(data) // 2) + data


def make_large_file(path, blocks=200, attribs=1000):
    """As the document benchmark builds its large file and saves it."""
    parts = [NEWEST, struct.pack("<II", 2, blocks)]
    for b in range(blocks):
        parts += [string("Block%d" % b), struct.pack("<I", attribs)]
        for a in range(attribs):
            parts.append(string("Attribute%d" % a))
            kind = a % 4
            if kind == 0:
                parts.append(struct.pack("<Hi", 3, a))
            elif kind == 1:
                parts.append(struct.pack("<Hd", 5, a / 3.0))
            elif kind == 2:
                parts.append(struct.pack("<Hd", 7, 45000.0 + a))
            else:
                parts.append(struct.pack("<H", 8) + string("value text %d" % (a * 7919)))
    with open(path, "wb") as f:
        f.write(b"".join(parts))


def cpu_of_children():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run(command, output):
    """(wall seconds, processor seconds) of one run writing to output."""
    if output != os.devnull and os.path.exists(output):
        os.remove(output)
    with open(output, "wb") as out:
        cpu = cpu_of_children()
        start = time.perf_counter()
        code = subprocess.run(command, stdout=out, stderr=subprocess.DEVNULL).returncode
        seconds = time.perf_counter() - start
    if code != 0:
        sys.exit("%s failed with %d" % (" ".join(command), code))
    return seconds, cpu_of_children() - cpu


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    builds = [("tvd", os.path.abspath(sys.argv[1]))]
    if len(sys.argv) > 2:
        builds.append(("before", os.path.abspath(sys.argv[2])))
    rounds = ROUNDS
    load = os.getloadavg()[0]
    with tempfile.TemporaryDirectory(prefix="tvd-dump-bench-") as folder:
        path = os.path.join(folder, "large.tvd")
        make_large_file(path)
        commands = {"cat": ["cat", path]}
        for label, tvd in builds:
            for args in (["check"], ["dump"], ["dump", "--json"]):
                commands[" ".join([label] + args)] = [tvd] + args + [path]
        outputs = {"/dev/null": os.devnull, "a file": os.path.join(folder, "out")}
        sizes = {}
        for name, command in commands.items():
            run(command, outputs["a file"])  # warm the page cache, and note the size
            sizes[name] = os.path.getsize(outputs["a file"])
        wall = {(n, o): [] for n in commands for o in outputs}
        cpu = {(n, o): [] for n in commands for o in outputs}
        for _ in range(rounds):
            for name, command in commands.items():
                for label, output in outputs.items():
                    seconds, processor = run(command, output)
                    wall[(name, label)].append(seconds)
                    cpu[(name, label)].append(processor)
        print("file of %d bytes, median of %d interleaved runs; load average before: %.2f" %
              (os.path.getsize(path), rounds, load))
        for label in outputs:
            print("output to %s:" % label)
            print("  %-19s %11s %9s %11s %9s %12s" % ("", "wall ms", "vs cat", "cpu ms",
                                                     "vs cat", "output bytes"))
            cat_wall = statistics.median(wall[("cat", label)])
            cat_cpu = statistics.median(cpu[("cat", label)])
            for name in commands:
                w = statistics.median(wall[(name, label)])
                c = statistics.median(cpu[(name, label)])
                print("  %-19s %11.1f %8.2fx %11.1f %8.2fx %12d" % (
                    name, w * 1000, w / cat_wall, c * 1000, c / cat_cpu, sizes[name]))


if __name__ == "__main__":
    main()
