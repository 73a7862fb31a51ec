#!/usr/bin/env python3
"""Files per second of 'tvd check -r' and 'tvd convert -r --dry-run' over a
tree of small documents, against 'cat' of the same files and a bare
open+read+close loop, in the same run; and peak memory for a small and a
large tree.

usage: tree_check.py TVD [FILES] [SMALL]
Writes FILES (default 100,000) documents of about 300 bytes (one in ten of
an old generation, so that convert finds work) in folders of 1,000 under a
temporary folder, and a second tree of SMALL (default 1,000). Each command
runs once to warm the page cache, then three times interleaved with the
others; the median wall time counts. Compares:
  - find -print0 | xargs -0 cat > /dev/null
  - a bare loop (C, built here with cc) that opens, reads and closes each
    file of a list made beforehand: the floor for reading the files
  - tvd check -r and tvd convert -r --dry-run at -j1, -j2 and the default
and prints files/s, the ratios, files per processor-second (what the work
costs, whatever else runs), and the peak resident size of tvd check -r
and convert --dry-run on both trees. Goals: the default at least as fast
as cat; -j2 at least 1.6 times -j1 on two cores; check at the default at
least 70% of the bare loop's files/s; peak memory within 10% between the
two trees. Not a test: ctest does not run it. Run it on a quiet machine.
"""

import os
import resource
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

ROUNDS = 3
NEWEST = b"Tavorin Virtual Document x.xx\0"
FOUR = b"Tavorin Virtual Document 4.00\0"

BARE_LOOP = r"""
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
/* Opens, reads and closes every file named in a NUL-separated list. */
int main(int argc, char** argv) {
  FILE* list = fopen(argv[1], "rb");
  if (!list) return 2;
  static char buffer[65536];
  char* name = NULL;
  size_t capacity = 0;
  long files = 0;
  while (getdelim(&name, &capacity, '\0', list) > 0) {
    int fd = open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 1;
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
    close(fd);
    ++files;
  }
  printf("%ld\n", files);
  return 0;
}
"""


def string(text, wide=True):
    data = text.encode("utf-16-le") if wide else text.encode("cp1252")
    return struct.pack("<I", len(data) // 2 if wide else len(data)) + data


def document(n):
    """About 300 bytes: one block of a few attributes; every tenth of the
    older generation with 8-bit text."""
    old = n % 10 == 0
    attribs = [("Number", struct.pack("<i", n)), ("Title", "Part %d" % n),
               ("Material", "Steel 1.4301"), ("Revision", "C"),
               ("Supplier", "Brenner & Sohn"), ("Drawing", "DWG-%07d" % n)]
    parts = [string("Card", not old), struct.pack("<I", len(attribs))]
    for name, value in attribs:
        parts.append(string(name, not old))
        if old:
            parts.append(string(value if isinstance(value, str) else str(n), False))
        elif isinstance(value, str):
            parts.append(struct.pack("<H", 8) + string(value))
        else:
            parts.append(struct.pack("<H", 3) + value)
    head = FOUR if old else NEWEST + struct.pack("<I", 2)
    return head + struct.pack("<I", 1) + b"".join(parts)


def make_tree(root, count):
    for n in range(count):
        folder = os.path.join(root, "f%03d" % (n // 1000))
        if n % 1000 == 0:
            os.makedirs(folder)
        with open(os.path.join(folder, "part%06d.tvd" % n), "wb") as f:
            f.write(document(n))


def cpu_of_children():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run(command, shell=False):
    """(wall seconds, processor seconds) of one run, output thrown away. On
    a machine that others load, the processor time still says what the work
    costs."""
    cpu = cpu_of_children()
    start = time.perf_counter()
    code = subprocess.run(command, shell=shell, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode
    seconds = time.perf_counter() - start
    if code not in (0, 1):
        sys.exit("%s failed with %d" % (command, code))
    return seconds, cpu_of_children() - cpu


def peak_kib(command):
    """Peak resident size of one run, from /usr/bin/time (a child of this
    process would count this process's own size, from before its exec)."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, check=False)
    return int(result.stderr.decode().split()[-1])


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    tvd = os.path.abspath(sys.argv[1])
    files = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
    small = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
    work = tempfile.mkdtemp(prefix="tvd-tree-bench-")
    try:
        big, little = os.path.join(work, "big"), os.path.join(work, "small")
        make_tree(big, files)
        make_tree(little, small)
        bare = os.path.join(work, "bare")
        with open(bare + ".c", "w") as f:
            f.write(BARE_LOOP)
        subprocess.run(["cc", "-O2", "-o", bare, bare + ".c"], check=True)
        listing = os.path.join(work, "list")
        with open(listing, "wb") as f:
            subprocess.run(["find", big, "-name", "*.tvd", "-print0"], stdout=f, check=True)
        cores = os.cpu_count()
        commands = {
            "cat (find | xargs -0 cat)":
                ("find %s -name '*.tvd' -print0 | xargs -0 cat > /dev/null" % big, True),
            "bare open+read+close": ([bare, listing], False),
        }
        for jobs in ("1", "2", None):
            label = "-j%s" % jobs if jobs else "default (-j%d)" % cores
            extra = ["-j", jobs] if jobs else []
            commands["check -r " + label] = ([tvd, "check", "-r", big] + extra, False)
            commands["convert -r --dry-run " + label] = (
                [tvd, "convert", "-r", "--dry-run", big] + extra, False)
        times = {name: [] for name in commands}
        cpu = {name: [] for name in commands}
        for name, (command, shell) in commands.items():
            run(command, shell)  # warm the page cache
        for _ in range(ROUNDS):
            for name, (command, shell) in commands.items():
                wall, processor = run(command, shell)
                times[name].append(wall)
                cpu[name].append(processor)
        rate = {name: files / statistics.median(t) for name, t in times.items()}
        cpu_rate = {name: files / statistics.median(t) for name, t in cpu.items()}
        cat, loop = rate["cat (find | xargs -0 cat)"], rate["bare open+read+close"]
        print("%d files of about %d bytes, %d cores, median of %d runs; load average before: %s"
              % (files, len(document(1)), cores, ROUNDS, os.getloadavg()[0]))
        print("%-34s %12s %9s %9s %14s" % ("", "files/s", "vs cat", "vs bare",
                                          "files/cpu-s"))
        for name in commands:
            print("%-34s %12.0f %8.2fx %8.2fx %14.0f" % (
                name, rate[name], rate[name] / cat, rate[name] / loop, cpu_rate[name]))
        for command in ("check -r ", "convert -r --dry-run "):
            print("%s-j2 / -j1: %.2f" % (command, rate[command + "-j2"] / rate[command + "-j1"]))
        print("peak resident size (KiB), default jobs:")
        for label, extra in (("check -r", ["check", "-r"]),
                             ("convert -r --dry-run", ["convert", "-r", "--dry-run"])):
            peaks = [min(peak_kib([tvd] + extra + [tree]) for _ in range(3))
                     for tree in (little, big)]
            print("  %-22s %d files: %d, %d files: %d (%.3fx)" % (
                label, small, peaks[0], files, peaks[1], peaks[1] / peaks[0]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
