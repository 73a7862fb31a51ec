#!/usr/bin/env python3
"""Runs the built tvd as a user would, on real files in a temporary folder.

usage: test_tvd.py COMMAND... [-- unittest options]
COMMAND is how to start the tool, for example build/native/tools/tvd/tvd or
build/win32/wine-run build/win32/bin/tvd.exe.
"""

import json
import math
import os
import random
import resource
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import unittest

TVD = []

NEWEST = b"Tavorin Virtual Document x.xx\0"
FOUR = b"Tavorin Virtual Document 4.00\0"
OLDEST = b"Mirelda Virtual Document 1.00\0"
EMPTY_V2 = NEWEST + struct.pack("<II", 2, 0)

I4, R8, DATE, TEXT = 3, 5, 7, 8


def WINDOWS_BUILD():
    return TVD[-1].lower().endswith(".exe")


def WINE_SERVER_LOG():
    """What the Wine server said, when the tool runs under Wine's run script
    beside its prefix: a failure with nothing on standard error may be
    Wine's."""
    log = os.path.join(os.path.dirname(TVD[0]), "wineprefix", "wineserver.log")
    if len(TVD) < 2 or not os.path.exists(log):
        return ""
    with open(log, errors="replace") as f:
        return "; the Wine server's log: %r" % f.read()[-2000:]


def POINTER_BITS():
    """32 or 64: the width of the tool's own pointers, read from its binary
    (an ELF's class byte or a PE's machine field)."""
    with open(TVD[-1], "rb") as f:
        head = f.read(4096)
    if head.startswith(b"\x7fELF"):
        return 64 if head[4] == 2 else 32
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    return 64 if struct.unpack_from("<H", head, pe + 4)[0] == 0x8664 else 32


def bits(value):
    return struct.unpack("<Q", struct.pack("<d", value))[0]


def from_bits(pattern):
    return struct.unpack("<d", struct.pack("<Q", pattern))[0]


def units(text):
    """UTF-16 code units of text; lone surrogates (as '\\ud800') pass through."""
    data = text.encode("utf-16-le", "surrogatepass")
    return list(struct.unpack("<%dH" % (len(data) // 2), data))


class FileBuilder:
    """Writes virtual document files byte by byte, remembering where each
    field starts, so that tests know where a truncated copy must fail."""

    def __init__(self, magic=NEWEST, version=2):
        self.version = 0 if magic != NEWEST else version
        self.data = bytearray(magic)
        self.fields = [(0, len(magic))]  # (offset, size) of every read
        self.block_ends = []
        if magic == NEWEST:
            self._put(struct.pack("<I", version))

    def _put(self, raw):
        self.fields.append((len(self.data), len(raw)))
        self.data += raw

    def _string(self, text, codepage="cp1252"):
        if self.version == 2:
            u = units(text) if isinstance(text, str) else list(text)
            self._put(struct.pack("<I", len(u)))
            if u:
                self._put(struct.pack("<%dH" % len(u), *u))
        else:
            raw = text if isinstance(text, bytes) else text.encode(codepage)
            self._put(struct.pack("<I", len(raw)))
            if raw:
                self._put(raw)

    def _value(self, value):
        kind, v = value
        if self.version == 0:
            self._string(v)
        elif kind == I4:
            self._put(struct.pack("<H", I4))
            self._put(struct.pack("<i", v))
        elif kind in (R8, DATE):
            self._put(struct.pack("<H", kind))
            self._put(struct.pack("<Q", v if isinstance(v, int) else bits(v)))
        else:
            self._put(struct.pack("<H", kind))
            self._string(v)

    def blocks(self, blocks):
        """blocks: [(name, [(name, (tag, value)), ...]), ...]"""
        self._put(struct.pack("<I", len(blocks)))
        for name, attribs in blocks:
            self._string(name)
            self._put(struct.pack("<I", len(attribs)))
            for attrib_name, value in attribs:
                self._string(attrib_name)
                self._value(value)
            self.block_ends.append(len(self.data))
        return bytes(self.data)

    def expected_check(self, cut):
        """(fault offset, complete blocks) for the file cut to `cut` bytes."""
        fault = next(off for off, size in self.fields if off + size > cut)
        return fault, sum(1 for end in self.block_ends if end <= cut)


# Values as our writer stores them: only the tags 3, 5, 7 and 8.
AWKWARD_BLOCKS = [
    ("Card", [
        ("Number", (I4, 42)),
        ("Title", (TEXT, "Pump")),
        ("Minimum", (I4, -2147483648)),
        ("Maximum", (I4, 2147483647)),
    ]),
    ("Doubles", [
        ("minus zero", (R8, -0.0)),
        ("tenth", (R8, 0.1)),
        ("huge", (R8, 1e300)),
        ("tiniest", (R8, 5e-324)),
        ("not a number", (R8, 0x7FF8000000000000)),
        ("payload", (R8, 0x7FF8000000000123)),
        ("negative payload", (R8, 0xFFF80000DEADBEEF)),
        ("infinity", (R8, math.inf)),
        ("minus infinity", (R8, -math.inf)),
        ("beyond 2^53", (R8, 2.0 ** 53 + 2)),
        ("sum", (R8, 0.1 + 0.2)),
    ]),
    ("Dates", [
        ("issued", (DATE, 45000.25)),
        ("with millis", (DATE, 45000.25 + 0.25 / 86400)),
        ("before 1900", (DATE, -1.25)),
        ("far out", (DATE, 1e10)),
        ("nan date", (DATE, 0x7FF8000000000042)),
    ]),
    ("Names ✓ Ünïcødé 名前 😀", [
        ("lone high \ud800 here", (TEXT, "text with lone low \udc00 inside")),
        ("reversed \udc00\ud800 pair", (TEXT, "\ud83d")),
        ("", (TEXT, "")),
        ("Title", (TEXT, "first")),
        ("Title", (TEXT, "second, same name")),
        ("quote \" backslash \\ tab \t newline \n", (TEXT, "a\r\nb")),
    ]),
    ("Card", [("Number", (I4, 7))]),  # a second block of the same name
    ("empty block", []),
]


def relaid(out):
    """The JSON as Python lays it out, numbers kept as they were written."""
    tree = json.loads(out, parse_float=lambda text: "\0number:" + text)
    text = json.dumps(tree, indent=2, ensure_ascii=False)
    return re.sub(r'"\\u0000number:([^"]*)"', r"\1", text) + "\n"


def complete_blocks(n):
    return "%d complete block%s" % (n, "" if n == 1 else "s")


def readable(text):
    """text with every lone surrogate shown as U+FFFD."""
    return text.encode("utf-16-le", "surrogatepass").decode("utf-16-le", "replace")


def plural(n, word):
    return "%d %s%s" % (n, word, "" if n == 1 else "s")


def bad_format(fault, complete):
    return "bad format at byte %d (%s before the fault)" % (
        fault, plural(complete, "complete block"))


def units_hex(text):
    return "".join("%04X" % u for u in units(text))


class TvdTestCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tvd-test-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return name

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def tvd(self, *args, stdin=None):
        """(exit code, stdout, stderr) of one run, in the test's folder."""
        result = subprocess.run(TVD + list(args), cwd=self.dir, input=stdin,
                                capture_output=True, timeout=120)
        out = result.stdout.decode("utf-8").replace("\r\n", "\n")
        err = result.stderr.decode("utf-8").replace("\r\n", "\n")
        return result.returncode, out, err

    def ok(self, *args, stdin=None):
        code, out, err = self.tvd(*args, stdin=stdin)
        self.assertEqual((code, err), (0, ""), "tvd %s; its output: %r%s" % (
            " ".join(args), out[-500:], WINE_SERVER_LOG()))
        return out

    def fails(self, code, *args, stdin=None):
        """Runs tvd expecting exit `code` and a one-line 'tvd: ' message."""
        got, out, err = self.tvd(*args, stdin=stdin)
        self.assertEqual(got, code, "tvd %s: %s" % (" ".join(args), err))
        self.assertTrue(err.startswith("tvd: "), err)
        self.assertEqual(err.count("\n"), 1, err)
        return err


class NewAndCheck(TvdTestCase):
    def test_new_writes_the_38_byte_empty_document(self):
        self.ok("new", "a.tvd")
        self.assertEqual(self.read("a.tvd"), EMPTY_V2)
        self.assertEqual(self.ok("check", "a.tvd"),
                         "a.tvd: ok (0 blocks, 0 attributes, version 2)\n")

    def test_new_does_not_replace_a_file_unless_forced(self):
        self.write("a.tvd", b"precious")
        err = self.fails(1, "new", "a.tvd")
        self.assertIn("a.tvd: already exists", err)
        self.assertEqual(self.read("a.tvd"), b"precious")
        self.ok("new", "a.tvd", "--force")
        self.assertEqual(self.read("a.tvd"), EMPTY_V2)

    def test_new_in_a_missing_folder(self):
        err = self.fails(1, "new", os.path.join("no-such-folder", "a.tvd"))
        self.assertIn("cannot write", err)

    def test_check_reports_every_file_and_fails_if_any_is_bad(self):
        self.write("good.tvd", FileBuilder().blocks(AWKWARD_BLOCKS))
        self.write("empty.tvd", b"")
        self.write("junk.tvd", b"x" * 100)
        os.mkdir(self.path("folder"))
        code, out, err = self.tvd("check", "good.tvd", "missing.tvd", "folder",
                                  "junk.tvd", "empty.tvd")
        self.assertEqual(code, 1)
        self.assertEqual(err, "")
        self.assertEqual(out.splitlines(), [
            "good.tvd: ok (6 blocks, 27 attributes, version 2)",
            "missing.tvd: cannot open (no such file)",
            "folder: cannot open (is a directory; -r takes the .tvd files in it)",
            "junk.tvd: bad format at byte 0 (0 complete blocks before the fault)",
            "empty.tvd: bad format at byte 0 (0 complete blocks before the fault)",
            "checked 5 files: 1 ok, 2 bad format, 2 cannot open",
        ])
        self.assertEqual(self.tvd("check", "good.tvd", "empty.tvd")[0], 1)
        self.assertEqual(self.tvd("check", "good.tvd")[0], 0)

    def test_check_at_every_truncation_of_a_real_file(self):
        builder = FileBuilder()
        data = builder.blocks(AWKWARD_BLOCKS[:3])
        names = [self.write("cut%04d.tvd" % n, data[:n]) for n in range(1, len(data))]
        code, out, _ = self.tvd("check", *names)
        self.assertEqual(code, 1)
        lines = out.splitlines()
        self.assertEqual(len(lines), len(names) + 1)
        for n, line in zip(range(1, len(data)), lines):
            self.assertEqual(line, "cut%04d.tvd: %s" % (n, bad_format(*builder.expected_check(n))))
        self.assertEqual(lines[-1], "checked %d files: 0 ok, %d bad format, 0 cannot open"
                         % (len(names), len(names)))

    def test_check_names_the_fault_of_malformed_headers_and_lengths(self):
        huge_name = EMPTY_V2[:34] + struct.pack("<II", 1, 0xFFFFFFFF) + b"abcd"
        self.write("huge-length.tvd", huge_name)
        self.write("huge-count.tvd", EMPTY_V2[:34] + struct.pack("<I", 0xFFFFFFFF))
        self.write("version3.tvd", NEWEST + struct.pack("<II", 3, 0))
        self.write("no-zero.tvd", NEWEST[:29] + b"!" + struct.pack("<II", 2, 0))
        code, out, _ = self.tvd("check", "huge-length.tvd", "huge-count.tvd",
                                "version3.tvd", "no-zero.tvd")
        self.assertEqual(code, 1)
        self.assertEqual(out.splitlines(), [
            "huge-length.tvd: bad format at byte 42 (0 complete blocks before the fault)",
            "huge-count.tvd: bad format at byte 38 (0 complete blocks before the fault)",
            "version3.tvd: bad format at byte 30 (0 complete blocks before the fault)",
            "no-zero.tvd: bad format at byte 0 (0 complete blocks before the fault)",
            "checked 4 files: 0 ok, 4 bad format, 0 cannot open",
        ])


class Trees(TvdTestCase):
    """check and convert over folders: the walk, its order, the reports."""

    GOOD = FileBuilder().blocks(AWKWARD_BLOCKS[:1])
    OLD = FileBuilder(FOUR).blocks([("Karte", [("Titel", (TEXT, b"Caf\xe9"))])])

    def sep(self, *parts):
        return ("\\" if WINDOWS_BUILD() else "/").join(parts)

    def make_tree(self):
        """A tree of documents, other files and empty folders; returns the
        documents' shown names in the walk's order."""
        for folder in ("tree/b", "tree/a/deep/er", "tree/empty", "tree/z"):
            os.makedirs(self.path(folder))
        files = {"tree/a/deep/er/1.tvd": self.GOOD, "tree/a/x.TVD": self.GOOD,
                 "tree/a/y.tvd": b"junk", "tree/b/Old.Tvd": self.OLD,
                 "tree/b/notes.txt": b"x", "tree/b/tvd": self.GOOD, "tree/c.tvd": self.GOOD,
                 "tree/z/cut.tvd": self.GOOD[:40]}
        for name, data in files.items():
            self.write(name, data)
        return [self.sep("tree", *n.split("/")[1:]) for n in sorted(files)
                if n.lower().endswith(".tvd")]

    def test_the_walk_is_sorted_filtered_and_the_same_for_any_number_of_jobs(self):
        shown = self.make_tree()
        self.write("single.tvd", self.GOOD)
        outputs = set()
        for jobs in ([], ["-j", "1"], ["-j", "3"], ["-j", "64"]):
            code, out, err = self.tvd("check", "-r", "single.tvd", "tree", *jobs)
            self.assertEqual((code, err), (1, ""))
            outputs.add(out)
        self.assertEqual(len(outputs), 1)
        lines = outputs.pop().splitlines()
        self.assertEqual([line.split(": ")[0] for line in lines[:-1]], ["single.tvd"] + shown)
        self.assertEqual(lines[1], self.sep("tree", "a", "deep", "er", "1.tvd") +
                         ": ok (1 block, 4 attributes, version 2)")
        self.assertEqual(lines[-1], "checked 7 files: 5 ok, 2 bad format, 0 cannot open")
        # Quiet: the failures and the summary.
        self.assertEqual(self.tvd("check", "-rq", "tree")[1].splitlines(), [
            self.sep("tree", "a", "y.tvd") + ": bad format at byte 0 (0 complete blocks before the fault)",
            self.sep("tree", "z", "cut.tvd") + ": " + bad_format(38, 0),
            "checked 6 files: 4 ok, 2 bad format, 0 cannot open"])
        code, out, _ = self.tvd("check", "-r", self.sep("tree", "b"), "tree/empty")
        self.assertEqual((code, out), (0, self.sep("tree", "b", "Old.Tvd") +
                                       ": ok (1 block, 1 attribute, version 0)\n"
                                       "checked 1 file: 1 ok, 0 bad format, 0 cannot open\n"))
        # A folder without -r is named as such, and stops nothing.
        code, out, _ = self.tvd("check", "tree", "single.tvd")
        self.assertEqual((code, out.splitlines()), (1, [
            "tree: cannot open (is a directory; -r takes the .tvd files in it)",
            "single.tvd: ok (1 block, 4 attributes, version 2)",
            "checked 2 files: 1 ok, 0 bad format, 1 cannot open"]))

    def test_more_files_than_the_workers_hold_at_once_keep_their_order(self):
        # Each worker holds a window of a few hundred files; past it, the
        # thread that walks runs files itself until half the window is free.
        os.makedirs(self.path("many"))
        for i in range(1500):
            self.write(os.path.join("many", "%04d.tvd" % i), self.GOOD if i % 7 else b"bad")
        reports = {jobs: self.tvd("check", "-r", "--json", "many", "-j", jobs)
                   for jobs in ("1", "2", "3")}
        self.assertEqual(reports["2"], reports["1"])
        self.assertEqual(reports["3"], reports["1"])
        code, out, err = reports["1"]
        paths = [json.loads(line)["path"] for line in out.splitlines()]
        self.assertEqual(paths, [self.sep("many", "%04d.tvd" % i) for i in range(1500)])
        self.assertEqual((code, err.splitlines()[-1]),
                         (1, "checked 1500 files: 1285 ok, 215 bad format, 0 cannot open"))

    def test_files_larger_than_the_first_read(self):
        builder = FileBuilder()
        data = builder.blocks([("B", [("long", (TEXT, "x" * 100000)), ("n", (I4, 1))])])
        self.write("large.tvd", data)
        self.write("cut.tvd", data[:150000])
        self.write("junk.tvd", b"y" * 200000)
        self.assertEqual(self.tvd("check", "large.tvd", "cut.tvd", "junk.tvd")[1].splitlines(), [
            "large.tvd: ok (1 block, 2 attributes, version 2)",
            "cut.tvd: " + bad_format(*builder.expected_check(150000)),
            "junk.tvd: " + bad_format(0, 0), "checked 3 files: 1 ok, 2 bad format, 0 cannot open"])
        self.assertEqual(self.ok("get", "large.tvd", "B", "long"), "x" * 100000 + "\n")

    def test_a_file_cut_short_while_it_is_checked_is_no_crash(self):
        if WINDOWS_BUILD():
            self.skipTest("large files are mapped natively")
        import threading
        data = FileBuilder().blocks([("B%d" % b, [("t", (TEXT, "x" * 400000))]) for b in range(4)])
        self.write("big.tvd", data)
        done = threading.Event()

        def cut_and_restore():
            rng = random.Random(7)
            while not done.is_set():
                os.truncate(self.path("big.tvd"), rng.randrange(len(data)))
                with open(self.path("big.tvd"), "r+b") as f:
                    f.write(data)

        cutter = threading.Thread(target=cut_and_restore)
        cutter.start()
        try:
            for _ in range(150):
                code, out, err = self.tvd("check", "big.tvd", "big.tvd", "-j", "2")
                self.assertIn(code, (0, 1), err)  # not ended by a signal
                for line in out.splitlines()[:2]:
                    self.assertRegex(line, r"^big.tvd: (ok \(4 blocks|bad format at byte)")
        finally:
            done.set()
            cutter.join()

    def test_usage_errors(self):
        self.write("a.tvd", self.GOOD)
        for args in (["check", "-j", "0", "a.tvd"], ["check", "-j", "x", "a.tvd"],
                     ["convert", "-r", "a.tvd", "-o", "b.tvd"],
                     ["convert", "a.tvd", "a.tvd", "-o", "b.tvd"], ["check", "--dry-run", "a.tvd"],
                     ["convert", "-r"]):
            with self.subTest(args=args):
                self.fails(2, *args)
        self.assertFalse(os.path.exists(self.path("b.tvd")))

    def test_json_lines_name_every_file_exactly(self):
        names = ["plain.tvd", "apostrophe ' percent % ünï 名前.tvd"]
        if not WINDOWS_BUILD():
            names += ["quote \" and \\.tvd", "new\nline\ttab\x1b.tvd"]
        os.mkdir(self.path("v"))
        for name in names:
            self.write(os.path.join("v", name), self.GOOD)
        self.write(os.path.join("v", "bad.tvd"), self.GOOD[:40])
        self.write(os.path.join("v", "old.tvd"), self.OLD)
        code, out, err = self.tvd("check", "--json", "-r", "v", "missing.tvd")
        self.assertEqual(code, 1)
        self.assertEqual(err, "checked %d files: %d ok, 1 bad format, 1 cannot open\n"
                         % (len(names) + 3, len(names) + 1))
        reports = {r["path"]: r for r in map(json.loads, out.splitlines())}
        self.assertEqual(len(reports), len(names) + 3)
        for name in names:
            self.assertEqual(reports[self.sep("v", name)], {
                "path": self.sep("v", name), "status": "ok", "reason": None, "offset": None,
                "complete_blocks": None, "blocks": 1, "attributes": 4, "version": 2,
                "generation": "Tavorin Virtual Document x.xx"})
        self.assertEqual(reports[self.sep("v", "bad.tvd")], {
            "path": self.sep("v", "bad.tvd"), "status": "bad-format",
            "reason": bad_format(38, 0), "offset": 38, "complete_blocks": 0, "blocks": None,
            "attributes": None, "version": None, "generation": "Tavorin Virtual Document x.xx"})
        self.assertEqual(reports[self.sep("v", "old.tvd")]["version"], 0)
        self.assertEqual(reports[self.sep("v", "old.tvd")]["generation"],
                         "Tavorin Virtual Document 4.00")
        self.assertEqual(reports["missing.tvd"]["status"], "cannot-open")
        self.assertEqual(reports["missing.tvd"]["reason"], "no such file")
        # -q: only the failures.
        out = self.tvd("check", "--json", "-q", "-r", "v")[1]
        self.assertEqual([json.loads(line)["path"] for line in out.splitlines()],
                         [self.sep("v", "bad.tvd")])

    def test_odd_names_cannot_forge_a_line(self):
        if WINDOWS_BUILD():
            self.skipTest("names that are not UTF-8 and names with newlines are Linux's")
        forged = "evil.tvd: bad\nok.tvd: ok (1 block, 4 attributes, version 2)\n.tvd"
        os.mkdir(self.path("v"))
        self.write(os.path.join("v", forged), b"")
        raw = os.path.join(self.dir, "v").encode() + b"/caf\xe9 \xff.tvd"
        with open(raw, "wb") as f:
            f.write(self.GOOD)
        code, out, _ = self.tvd("check", "-r", "v")
        self.assertEqual(out.splitlines(), [
            "v/caf\\xe9 \\xff.tvd: ok (1 block, 4 attributes, version 2)",
            "v/evil.tvd: bad\\nok.tvd: ok (1 block, 4 attributes, version 2)\\n.tvd: " +
            bad_format(0, 0),
            "checked 2 files: 1 ok, 1 bad format, 0 cannot open"])
        # One file named alone keeps the old single line, escaped the same way.
        self.assertEqual(self.tvd("check", os.path.join("v", forged))[1].count("\n"), 1)
        first = json.loads(self.tvd("check", "--json", "-r", "v")[1].splitlines()[0])
        self.assertEqual(first["path"], "v/caf\ufffd \ufffd.tvd")
        self.assertEqual(bytes.fromhex(first["path_bytes"]), b"v/caf\xe9 \xff.tvd")
        # A tree's conversion writes such a name back under the same bytes.
        with open(raw, "wb") as f:
            f.write(self.OLD)
        self.write("old.tvd", self.OLD)
        self.ok("convert", "old.tvd", "-o", "new.tvd")
        self.assertEqual(self.tvd("convert", "-rq", "v")[0], 1)  # the forged name reads badly
        with open(raw, "rb") as f:
            self.assertEqual(f.read(), self.read("new.tvd"))
        self.assertNotIn("path_bytes", json.loads(
            self.tvd("check", "--json", "-r", "v")[1].splitlines()[1]))

    def test_symbolic_links_are_followed_only_with_follow(self):
        # Made natively; Wine shows them to tvd.exe as links to folders and files.
        os.makedirs(self.path("v/sub"))
        os.mkdir(self.path("elsewhere"))
        self.write("elsewhere/far.tvd", self.GOOD)
        self.write("v/sub/near.tvd", self.GOOD)
        os.symlink("../elsewhere", self.path("v/to-folder"))
        os.symlink("../elsewhere/far.tvd", self.path("v/to-file.tvd"))
        os.symlink("..", self.path("v/sub/loop"))
        # Wine marks a link to a folder as a link, but a link to a file not.
        unfollowed = [self.sep("v", "sub", "near.tvd")]
        if WINDOWS_BUILD():
            unfollowed.append(self.sep("v", "to-file.tvd"))
        self.assertEqual([line.split(":")[0] for line in self.tvd("check", "-r", "v")[1].splitlines()],
                         unfollowed + ["checked %s" % plural(len(unfollowed), "file")])
        code, out, _ = self.tvd("check", "-r", "--follow", "v")
        self.assertEqual(out.splitlines(), [
            self.sep("v", "sub", "loop") + ": cannot open (a link back to a folder above it)",
            self.sep("v", "sub", "near.tvd") + ": ok (1 block, 4 attributes, version 2)",
            self.sep("v", "to-file.tvd") + ": ok (1 block, 4 attributes, version 2)",
            self.sep("v", "to-folder", "far.tvd") + ": ok (1 block, 4 attributes, version 2)",
            "checked 4 files: 3 ok, 0 bad format, 1 cannot open"])
        # A link named on the command line is followed.
        self.assertEqual(self.tvd("check", "-r", self.sep("v", "to-folder"))[0], 0)

    def test_progress_shows_only_on_a_terminal(self):
        if WINDOWS_BUILD():
            self.skipTest("a terminal is made natively")
        import pty
        self.make_tree()
        master, slave = pty.openpty()
        try:
            result = subprocess.run(TVD + ["check", "-r", "tree"], cwd=self.dir,
                                    stdout=subprocess.PIPE, stderr=slave, timeout=60)
            os.close(slave)
            shown = b""
            while True:
                try:
                    piece = os.read(master, 4096)
                except OSError:
                    break
                if not piece:
                    break
                shown += piece
        finally:
            os.close(master)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"files/s, in tree", shown)
        self.assertTrue(shown.endswith(b"\r"), shown)  # the line is taken away at the end
        self.assertEqual(result.stdout.decode().count("\n"), 7)
        self.assertEqual(self.tvd("check", "-r", "tree")[2], "")

    def test_convert_brings_a_tree_to_the_newest_generation_once(self):
        self.make_tree()
        self.write("tree/b/v1.tvd", FileBuilder(NEWEST, 1).blocks([("B", [("n", (I4, 5))])]))
        self.write("tree/trailing.tvd", self.GOOD + b"extra")
        before = {n: self.read(n) for n in ("tree/b/Old.Tvd", "tree/b/v1.tvd",
                                            "tree/trailing.tvd", "tree/c.tvd", "tree/a/y.tvd")}
        self.ok("convert", "tree/b/Old.Tvd", "-o", "want-old.tvd")
        self.ok("convert", "tree/b/v1.tvd", "-o", "want-v1.tvd")
        code, out, _ = self.tvd("convert", "-r", "tree", "--dry-run")
        self.assertEqual(code, 1)
        lines = out.splitlines()
        self.assertIn(self.sep("tree", "b", "Old.Tvd") + ": to convert (was version 0)", lines)
        self.assertIn(self.sep("tree", "a", "y.tvd") + ": refused: " + bad_format(0, 0), lines)
        self.assertIn(self.sep("tree", "c.tvd") + ": unchanged (already in the newest form)", lines)
        self.assertEqual(lines[-1], "looked at 8 files: 3 to convert, 3 unchanged, 2 refused"
                         " (dry run: nothing written)")
        for name, data in before.items():
            self.assertEqual(self.read(name), data)
        unchanged_inode = os.stat(self.path("tree/c.tvd")).st_ino
        code, out, err = self.tvd("convert", "-r", "tree", "--json", "-j", "2")
        self.assertEqual((code, err), (1, "looked at 8 files: 3 converted, 3 unchanged, 2 refused\n"))
        statuses = {r["path"]: (r["status"], r["dry_run"]) for r in map(json.loads, out.splitlines())}
        self.assertEqual(statuses[self.sep("tree", "b", "v1.tvd")], ("converted", False))
        self.assertEqual(statuses[self.sep("tree", "z", "cut.tvd")], ("refused", False))
        self.assertEqual(self.read("tree/b/Old.Tvd"), self.read("want-old.tvd"))
        self.assertEqual(self.read("tree/b/v1.tvd"), self.read("want-v1.tvd"))
        self.assertEqual(self.read("tree/trailing.tvd"), self.GOOD)
        self.assertEqual(self.read("tree/a/y.tvd"), b"junk")
        self.assertEqual(os.stat(self.path("tree/c.tvd")).st_ino, unchanged_inode)
        # Run again (as after an interruption): nothing is left to convert.
        self.assertEqual(self.tvd("convert", "-rq", "tree")[1].splitlines()[-1],
                         "looked at 8 files: 0 converted, 6 unchanged, 2 refused")

    def test_convert_says_why_a_file_cannot_be_written(self):
        os.mkdir(self.path("v"))
        self.write("v/old.tvd", self.OLD)
        os.chmod(self.path("v/old.tvd"), 0o444)
        code, out, _ = self.tvd("convert", "-r", "v")
        self.assertEqual((code, out.splitlines()[0]),
                         (1, self.sep("v", "old.tvd") + ": refused: cannot write (read-only)"))
        self.assertEqual(self.read("v/old.tvd"), self.OLD)
        # Named alone, a folder is still an error that says to use -r.
        self.assertEqual(self.tvd("convert", "v")[1],
                         "v: refused: cannot open (is a directory; -r takes the .tvd files in it)\n"
                         "looked at 1 file: 0 converted, 0 unchanged, 1 refused\n")


class SetAndGet(TvdTestCase):
    def setUp(self):
        super().setUp()
        self.ok("new", "a.tvd")

    def test_set_builds_the_104_byte_example(self):
        self.ok("set", "a.tvd", "Card", "Number", "42", "--type", "i4")
        self.ok("set", "a.tvd", "Card", "Title", "Pump")
        expected = FileBuilder().blocks([("Card", [("Number", (I4, 42)),
                                                   ("Title", (TEXT, "Pump"))])])
        self.assertEqual(len(expected), 104)
        self.assertEqual(self.read("a.tvd"), expected)

    def test_each_type_reads_back(self):
        cases = [
            ("i4", "-5", "-5"),
            ("i4", "+2147483647", "2147483647"),
            ("i4", "-2147483648", "-2147483648"),
            ("r8", "0.1", "0.1"),
            ("r8", "-0", "-0"),
            ("r8", "1e300", "1e+300"),
            ("r8", "nan", "NaN"),
            ("r8", "-Infinity", "-Infinity"),
            ("date", "2023-03-15", "2023-03-15T00:00:00"),
            ("date", "2023-03-15T06:00", "2023-03-15T06:00:00"),
            ("date", "2023-03-15 06:00:00.25", "2023-03-15T06:00:00.250"),
            ("date", "1899-12-29T06:00:00", "1899-12-29T06:00:00"),
            ("date", "45000.25", "2023-03-15T06:00:00"),
            ("date", "-1.25", "1899-12-29T06:00:00"),
            ("text", "Ärger ∑ 名前 😀", "Ärger ∑ 名前 😀"),
            ("text", "", ""),
        ]
        for type_, value, shown in cases:
            with self.subTest(type=type_, value=value):
                # A negative number passes as it is; other text that starts
                # with '-' needs the '--' that ends the options.
                end = ["--"] if value.startswith("-I") else []
                self.ok("set", "a.tvd", "Block", "Attr", "--type", type_, *end, value)
                self.assertEqual(self.ok("get", "a.tvd", "Block", "Attr"), shown + "\n")

    def test_stored_bits_are_exact(self):
        self.ok("set", "a.tvd", "B", "minus zero", "-0.0", "--type", "r8")
        self.ok("set", "a.tvd", "B", "quarter past", "2023-03-15T06:15", "--type", "date")
        data = self.read("a.tvd")
        self.assertIn(struct.pack("<HQ", R8, bits(-0.0)), data)
        self.assertIn(struct.pack("<Hd", DATE, 45000 + 6.25 / 24), data)

    def test_patterns_find_and_overwrite_the_first_match(self):
        self.ok("set", "a.tvd", "Card", "date of issue", "first")
        self.ok("set", "a.tvd", "Card", "Part No", "P-1")
        self.ok("set", "a.tvd", "Card", "Revision", "C")
        self.assertEqual(self.ok("get", "a.tvd", "card", "Date*"), "first\n")
        self.assertEqual(self.ok("get", "a.tvd", "Card", "*no"), "P-1\n")
        self.assertEqual(self.ok("get", "a.tvd", "Card", "*REV*"), "C\n")
        self.ok("set", "a.tvd", "Card", "*rev*", "D")
        self.assertEqual(self.ok("get", "a.tvd", "Card", "Revision"), "D\n")
        # Nothing matches: the pattern becomes a literal name.
        self.ok("set", "a.tvd", "Card", "*x", "literal")
        self.assertIn('"*x": text "literal"', self.ok("dump", "a.tvd"))

    def test_get_of_something_missing(self):
        # 3: the file reads well and holds nothing that matches; 1 stays a
        # problem with the file.
        self.ok("set", "a.tvd", "Card", "Title", "Pump")
        self.assertIn("a.tvd: no block named 'Nope'",
                      self.fails(3, "get", "a.tvd", "Nope", "Title"))
        self.assertIn("a.tvd: no attribute matching 'Weight' in block 'Card'",
                      self.fails(3, "get", "a.tvd", "Card", "Weight"))
        self.assertIn("b.tvd: cannot open (no such file)", self.fails(1, "get", "b.tvd", "C", "T"))
        self.write("cut.tvd", self.read("a.tvd")[:-1])
        self.assertIn("cut.tvd: bad format", self.fails(1, "get", "cut.tvd", "Card", "Nope"))

    def test_set_keeps_the_type_of_the_value_it_replaces(self):
        self.ok("set", "a.tvd", "Card", "Number", "42", "--type", "i4")
        self.ok("set", "a.tvd", "Card", "Weight", "2.5", "--type", "r8")
        self.ok("set", "a.tvd", "Card", "Issued", "2023-03-15", "--type", "date")
        self.ok("set", "a.tvd", "Card", "Title", "Pump")
        self.ok("set", "a.tvd", "Card", "Number", "4712")
        self.ok("set", "a.tvd", "Card", "weight", "7.2")
        self.ok("set", "a.tvd", "Card", "Iss*", "2024-02-29T13:45")
        self.ok("set", "a.tvd", "Card", "Title", "17")
        self.ok("set", "a.tvd", "Card", "Added", "5")  # a new attribute is text
        dump = self.ok("dump", "a.tvd")
        for line in ('"Number": i4 4712', '"Weight": r8 7.2', '"Issued": date 45351.57',
                     '"Title": text "17"', '"Added": text "5"'):
            self.assertIn(line, dump)
        # A value that is not of the attribute's type changes nothing and
        # says how to change the type.
        before = self.read("a.tvd")
        for pattern, value, kind in (("Number", "4712a", "i4"), ("Weight", "heavy", "r8"),
                                     ("Issued", "soon", "date")):
            with self.subTest(pattern=pattern):
                err = self.fails(2, "set", "a.tvd", "Card", pattern, value)
                self.assertIn(kind, err)
                self.assertIn("--type text", err)
                self.assertIn(value, err)
        self.assertEqual(self.read("a.tvd"), before)
        # --type still forces.
        self.ok("set", "a.tvd", "Card", "Number", "4712a", "--type", "text")
        self.ok("set", "a.tvd", "Card", "Title", "3", "--type", "i4")
        dump = self.ok("dump", "a.tvd")
        self.assertIn('"Number": text "4712a"', dump)
        self.assertIn('"Title": i4 3', dump)

    def test_bad_values_are_usage_errors_that_change_nothing(self):
        self.ok("set", "a.tvd", "Card", "Title", "Pump")
        before = self.read("a.tvd")
        cases = [
            (["--type", "i5"], "1", "i5"),
            (["--type", "i4"], "12x", "12x"),
            (["--type", "i4"], "2147483648", "2147483648"),
            (["--type", "i4"], "", "i4"),
            (["--type", "r8"], "1,5", "1,5"),
            (["--type", "r8"], "1e999", "1e999"),
            (["--type", "date"], "2023-02-30", "2023-02-30"),
            (["--type", "date"], "2023-03-15T24:00", "2023-03-15T24:00"),
            (["--type", "date"], "2023-03-15T06:00Z", "time zone"),
            (["--type", "date"], "tomorrow", "tomorrow"),
            (["--type", "date"], "1e10", "1e10"),
            (["--type", "date"], "9999-12-31T23:59:59.9999", "9999-12-31T23:59:59.9999"),
        ]
        for type_args, value, mentioned in cases:
            with self.subTest(args=type_args, value=value):
                err = self.fails(2, "set", "a.tvd", "Card", "Title", value, *type_args)
                self.assertIn(mentioned, err)
        self.assertEqual(self.read("a.tvd"), before)

    def test_set_on_a_missing_file_creates_nothing(self):
        self.assertIn("b.tvd: cannot open (no such file)",
                      self.fails(1, "set", "b.tvd", "Card", "Title", "Pump"))
        self.assertFalse(os.path.exists(self.path("b.tvd")))


class JsonRoundTrip(TvdTestCase):
    def dump_json(self, name):
        return json.loads(self.ok("dump", "--json", name))

    def test_import_of_dump_gives_the_same_bytes(self):
        original = FileBuilder().blocks(AWKWARD_BLOCKS)
        self.write("a.tvd", original)
        self.write("a.json", self.ok("dump", "--json", "a.tvd").encode("utf-8"))
        self.ok("import", "a.json", "-o", "b.tvd")
        self.assertEqual(self.read("b.tvd"), original)
        # Through standard input as well.
        self.ok("import", "-", "-o", "c.tvd", stdin=self.read("a.json"))
        self.assertEqual(self.read("c.tvd"), original)

    def test_random_doubles_come_back_bit_for_bit(self):
        rng = random.Random(20231115)
        patterns = [p for p in (rng.getrandbits(64) for _ in range(500))
                    if p >> 52 & 0x7FF != 0x7FF][:400]  # finite ones: JSON numbers
        patterns += [0x0010000000000000, 0x000FFFFFFFFFFFFF, 0x7FEFFFFFFFFFFFFF, 1,
                     bits(2.2250738585072011e-308), bits(123456789012345678.0)]
        attribs = [("d%d" % i, (R8 if i % 2 else DATE, p)) for i, p in enumerate(patterns)]
        original = FileBuilder().blocks([("Random", attribs)])
        self.write("a.tvd", original)
        self.ok("import", "-", "-o", "b.tvd",
                stdin=self.ok("dump", "--json", "a.tvd").encode("utf-8"))
        self.assertEqual(self.read("b.tvd"), original)

    def test_signalling_nan_comes_back(self):
        original = FileBuilder().blocks([("B", [("r8", (R8, 0x7FF0000000000123)),
                                                ("date", (DATE, 0xFFF4000000000001))])])
        self.write("a.tvd", original)
        out = self.ok("dump", "--json", "a.tvd")
        self.assertIn('"bits": "7FF0000000000123"', out)
        self.ok("import", "-", "-o", "b.tvd", stdin=out.encode("utf-8"))
        self.assertEqual(self.read("b.tvd"), original)
        self.ok("convert", "a.tvd")
        self.assertEqual(self.read("a.tvd"), original)

    def test_json_shape_and_escapes(self):
        self.write("a.tvd", FileBuilder().blocks(AWKWARD_BLOCKS))
        doc = self.dump_json("a.tvd")
        self.assertEqual(doc["generation"], "Tavorin Virtual Document x.xx")
        self.assertEqual(doc["version"], 2)
        self.assertEqual([b["name"] for b in doc["blocks"]],
                         ["Card", "Doubles", "Dates", "Names ✓ Ünïcødé 名前 😀", "Card",
                          "empty block"])
        card = doc["blocks"][0]["attributes"]
        self.assertEqual(card[0], {"name": "Number", "type": "i4", "value": 42})
        self.assertEqual(card[1], {"name": "Title", "type": "text", "value": "Pump"})
        doubles = {a["name"]: a for a in doc["blocks"][1]["attributes"]}
        self.assertEqual(math.copysign(1, doubles["minus zero"]["value"]), -1)
        self.assertEqual(doubles["tenth"]["value"], 0.1)
        self.assertEqual(doubles["payload"]["value"], "NaN")
        self.assertEqual(doubles["payload"]["bits"], "7FF8000000000123")
        self.assertEqual(doubles["negative payload"]["bits"], "FFF80000DEADBEEF")
        self.assertEqual(doubles["infinity"]["value"], "Infinity")
        self.assertEqual(doubles["minus infinity"]["value"], "-Infinity")
        self.assertNotIn("bits", doubles["huge"])
        dates = {a["name"]: a for a in doc["blocks"][2]["attributes"]}
        self.assertEqual(dates["issued"], {"name": "issued", "type": "date",
                                           "value": 45000.25, "iso": "2023-03-15T06:00:00"})
        self.assertEqual(dates["with millis"]["iso"], "2023-03-15T06:00:00.250")
        self.assertEqual(dates["before 1900"]["iso"], "1899-12-29T06:00:00")
        self.assertNotIn("iso", dates["far out"])
        self.assertEqual(dates["nan date"]["bits"], "7FF8000000000042")
        names = doc["blocks"][3]["attributes"]
        self.assertEqual(names[0]["name"], "lone high \ufffd here")
        self.assertEqual(names[0]["name_utf16"],
                         "".join("%04X" % u for u in units("lone high \ud800 here")))
        self.assertEqual(names[0]["value"], "text with lone low \ufffd inside")
        self.assertIn("value_utf16", names[0])
        self.assertEqual(names[1]["value_utf16"], "D83D")
        self.assertNotIn("name_utf16", names[2])
        self.assertEqual([n["value"] for n in names[3:5]], ["first", "second, same name"])
        self.assertEqual(doc["blocks"][5], {"name": "empty block", "attributes": []})

    def test_hand_written_json_imports(self):
        doc = {"blocks": [{"name": "B", "attributes": [
            {"name": "nan", "type": "r8", "value": "NaN"},
            {"name": "whole", "type": "r8", "value": 3},
            {"name": "day", "type": "date", "value": 1},
            {"name": "bits win", "type": "r8", "value": 1.5, "bits": "3FF0000000000000"},
            {"name": "units win", "name_utf16": "0041", "type": "text", "value": "x",
             "value_utf16": "DC00"},
        ]}, {"name": "no attributes"}]}
        self.write("in.json", json.dumps(doc).encode())
        self.ok("import", "in.json", "-o", "out.tvd")
        attrs = self.dump_json("out.tvd")["blocks"][0]["attributes"]
        self.assertEqual(attrs[0]["bits"], "7FF8000000000000")
        self.assertEqual(attrs[1]["value"], 3.0)
        self.assertEqual(attrs[2]["iso"], "1899-12-31T00:00:00")
        self.assertEqual(attrs[3]["value"], 1.0)
        self.assertEqual(attrs[4]["name"], "A")
        self.assertEqual(attrs[4]["value_utf16"], "DC00")

    def test_a_date_given_only_in_calendar_form(self):
        doc = {"blocks": [{"name": "B", "attributes": [
            {"name": "iso only", "type": "date", "iso": "2023-03-15T06:00:00.250"},
            {"name": "value wins", "type": "date", "value": 1, "iso": "2023-03-15"},
        ]}]}
        self.write("in.json", json.dumps(doc).encode())
        self.ok("import", "in.json", "-o", "out.tvd")
        attrs = self.dump_json("out.tvd")["blocks"][0]["attributes"]
        self.assertEqual(attrs[0]["iso"], "2023-03-15T06:00:00.250")
        self.assertEqual(attrs[1]["value"], 1)
        for iso in ("15.03.2023", 45000, "2023-03-15Z"):
            with self.subTest(iso=iso):
                bad = {"blocks": [{"name": "B", "attributes": [
                    {"name": "d", "type": "date", "iso": iso}]}]}
                self.write("bad.json", json.dumps(bad).encode())
                self.assertIn("blocks[0].attributes[0].iso",
                              self.fails(1, "import", "bad.json", "-o", "bad.tvd"))
        self.assertFalse(os.path.exists(self.path("bad.tvd")))

    def test_bad_json_is_refused_and_writes_nothing(self):
        cases = [
            (b"{not json", "not JSON"),
            (b"[]", "expected an object"),
            (b'{"blocks": {}}', "blocks: expected an array"),
            (b'{"blocks": [{"attributes": []}]}', 'blocks[0]: "name" is missing'),
            (b'{"blocks": [{"name": "B", "attributes": [{"name": "a", "type": "i5", '
             b'"value": 1}]}]}', "blocks[0].attributes[0].type"),
            (b'{"blocks": [{"name": "B", "attributes": [{"name": "a", "type": "i4", '
             b'"value": 2147483648}]}]}', "blocks[0].attributes[0].value"),
            (b'{"blocks": [{"name": "B", "attributes": [{"name": "a", "type": "i4", '
             b'"value": 1.5}]}]}', "blocks[0].attributes[0].value"),
            (b'{"blocks": [{"name": "B", "attributes": [{"name": "a", "type": "r8", '
             b'"value": "1.5"}]}]}', "blocks[0].attributes[0].value"),
            (b'{"blocks": [{"name": "B", "attributes": [{"name": "a", "type": "r8", '
             b'"bits": "123"}]}]}', "blocks[0].attributes[0].bits"),
            (b'{"blocks": [{"name": "B", "attributes": [{"name": "a", "type": "text", '
             b'"value": "a\\u0000b"}]}]}', "zero character"),
            (b'{"blocks": [{"name": "B", "name_utf16": "00G1"}]}', "blocks[0].name_utf16"),
        ]
        for data, mentioned in cases:
            with self.subTest(json=data):
                self.write("in.json", data)
                err = self.fails(1, "import", "in.json", "-o", "out.tvd")
                self.assertIn(mentioned, err)
                self.assertFalse(os.path.exists(self.path("out.tvd")))
        self.assertIn("missing.json: cannot open (no such file)",
                      self.fails(1, "import", "missing.json", "-o", "out.tvd"))
        self.fails(2, "import", "in.json")  # no -o


class ImportOfDumpIsConvert(TvdTestCase):
    """'tvd import' of 'tvd dump --json' writes what 'tvd convert' writes, so
    a file that convert leaves unchanged comes back byte for byte."""

    def crafted(self):
        """Files that convert changes, each as (name, bytes)."""
        zero_in_names = FileBuilder().blocks([("Bl\0ock", [("na\0me", (TEXT, "te\0xt")),
                                                            ("\0", (TEXT, "\0"))])])
        files = [("zeros", zero_in_names),
                 ("trailing", FileBuilder().blocks(AWKWARD_BLOCKS[:2]) + b"\0trailing bytes"),
                 ("count 0, then bytes", EMPTY_V2 + b"x" * 9),
                 ("v1", FileBuilder(NEWEST, 1).blocks(Generations.BLOCKS)),
                 ("v0", FileBuilder(OLDEST).blocks([("K", [("T", (TEXT, b"\x80 5"))])]))]
        # Tags that load as text: a boolean, by-reference forms of 3 and 8,
        # 0 and 0xFFFF; each followed by a string.
        for tag in (11, 0x4003, 0x4008, 0, 0xFFFF):
            files.append(("tag %d" % tag, FileBuilder().blocks([("B", [("v", (tag, "-1"))])])))
        return files

    def test_import_of_dump_writes_what_convert_writes(self):
        for name, data in self.crafted():
            with self.subTest(file=name):
                self.write("a.tvd", data)
                self.ok("convert", "a.tvd", "-o", "converted.tvd")
                self.assertNotEqual(self.read("converted.tvd"), data)
                self.ok("import", "-", "-o", "imported.tvd",
                        stdin=self.ok("dump", "--json", "a.tvd").encode("utf-8"))
                self.assertEqual(self.read("imported.tvd"), self.read("converted.tvd"))
                self.ok("convert", "converted.tvd", "-o", "again.tvd")
                self.assertEqual(self.read("again.tvd"), self.read("converted.tvd"))

    def test_a_file_of_0_bytes_is_no_document_to_the_tool(self):
        self.write("empty.tvd", b"")
        message = "empty.tvd: bad format at byte 0 (0 complete blocks before the fault)"
        self.assertEqual(self.tvd("check", "empty.tvd")[:2], (1, message + "\n"))
        for args in (["dump", "empty.tvd"], ["dump", "--json", "empty.tvd"],
                     ["convert", "empty.tvd"], ["set", "empty.tvd", "B", "A", "x"]):
            with self.subTest(args=args):
                self.assertIn(message, self.fails(1, *args))
        self.assertEqual(self.read("empty.tvd"), b"")

    def test_the_json_is_laid_out_with_two_space_indents(self):
        for blocks in (AWKWARD_BLOCKS, [], [("no attributes", [])]):
            self.write("a.tvd", FileBuilder().blocks(blocks))
            out = self.ok("dump", "--json", "a.tvd")
            self.assertEqual(out, relaid(out))


class LargeDumps(TvdTestCase):
    """A document larger than the pieces the tool writes its output in, and
    than a huge page of the buffer it reads into: every attribute is written
    once and in order, whatever character a piece ends at."""

    ALPHABET = ["a", "\u00e9", "\u540d", "\U0001F600", "\n", '"', "\x01", "\ud800"]

    def large_file(self):
        rng = random.Random(2024)
        blocks = []
        for b in range(12):
            attribs = []
            for a in range(2000):
                name = "".join(rng.choice(self.ALPHABET) for _ in range(rng.randrange(12)))
                attribs.append((name, [(I4, a - 1000), (R8, a / 7.0), (DATE, 45000 + a / 3.0),
                                       (TEXT, name * 24)][a % 4]))
            blocks.append(("Block %d" % b, attribs))
        data = FileBuilder().blocks(blocks)
        self.assertGreater(len(data), 2 * 1024 * 1024)
        self.write("large.tvd", data)
        return blocks

    def test_json_holds_every_attribute_once_in_order(self):
        blocks = self.large_file()
        dumped = json.loads(self.ok("dump", "--json", "large.tvd"))["blocks"]
        self.assertEqual([b["name"] for b in dumped], [name for name, _ in blocks])
        for (_, attribs), block in zip(blocks, dumped):
            self.assertEqual(
                [(a["name"], a["type"], a["value"]) for a in block["attributes"]],
                [(readable(name), {I4: "i4", R8: "r8", DATE: "date", TEXT: "text"}[tag],
                  readable(value) if tag == TEXT else value)
                 for name, (tag, value) in attribs])

    def test_dump_holds_every_attribute_once_in_order(self):
        blocks = self.large_file()

        def quoted(text):
            named = {'"': '\\"', "\n": "\\n"}
            return '"%s"' % "".join(
                named.get(c, "\\u%04X" % ord(c) if ord(c) < 0x20 or 0xD800 <= ord(c) < 0xE000
                          else c) for c in text)

        def number(value):  # the shortest form, without Python's ".0"
            return re.sub(r"\.0$", "", repr(value))
        lines = self.ok("dump", "large.tvd").splitlines()
        expected = lines[:3]
        for name, attribs in blocks:
            expected.append('block "%s" (2000 attributes)' % name)
            for attrib, (tag, value) in attribs:
                shown = ("i4 %d" % value if tag == I4 else "r8 " + number(value) if tag == R8
                         else "text " + quoted(value) if tag == TEXT
                         else "date %s (" % number(value))
                line = "  %s: %s" % (quoted(attrib), shown)
                # A date's calendar form is another test's: only what comes before it here.
                actual = lines[len(expected)] if len(expected) < len(lines) else ""
                expected.append(actual if tag == DATE and actual.startswith(line) else line)
        self.assertEqual(lines, expected)


class LongTexts(TvdTestCase):
    """Names and texts far longer than the pieces the tool escapes and
    converts them in, with every kind of character landing where a piece
    ends: multi-byte UTF-8, a surrogate pair, escapes, lone surrogates."""

    PATTERN = "\u00e9\u540d\U0001F600\n\x01\"\\\x7f\ud800x\udc00\ud83d"
    REPEATS = 2500  # 35,000 units and more: beyond two pieces of 16,384

    def long_file(self):
        """One block per shift, its name, attribute name and text all the same
        long text; returns the texts."""
        texts = ["a" * shift + self.PATTERN * self.REPEATS
                 for shift in range(len(units(self.PATTERN)))]
        self.write("long.tvd", FileBuilder().blocks([(t, [(t, (TEXT, t))]) for t in texts]))
        return texts

    def test_dump_writes_a_long_text_as_its_short_parts(self):
        texts = self.long_file()
        self.write("short.tvd", FileBuilder().blocks([("B", [("p", (TEXT, self.PATTERN))])]))
        pattern = self.ok("dump", "short.tvd").splitlines()[-1][len('  "p": text "'):-1]
        lines = self.ok("dump", "long.tvd").splitlines()
        self.assertEqual(len(lines), 3 + 2 * len(texts))
        for shift, text in enumerate(texts):
            body = "a" * shift + pattern * self.REPEATS
            self.assertEqual(lines[3 + 2 * shift], 'block "%s" (1 attribute)' % body)
            self.assertEqual(lines[4 + 2 * shift], '  "%s": text "%s"' % (body, body))

    def test_dump_json_of_long_texts_reads_back(self):
        texts = self.long_file()
        out = self.ok("dump", "--json", "long.tvd")
        self.assertEqual(out, relaid(out))
        blocks = json.loads(out)["blocks"]
        for text, block in zip(texts, blocks):
            attrib = block["attributes"][0]
            self.assertEqual((block["name"], block["name_utf16"]),
                             (readable(text), units_hex(text)))
            self.assertEqual((attrib["name"], attrib["value"], attrib["value_utf16"]),
                             (readable(text), readable(text), units_hex(text)))
        self.ok("import", "-", "-o", "back.tvd", stdin=out.encode("utf-8"))
        self.assertEqual(self.read("back.tvd"), self.read("long.tvd"))

    def test_each_kind_of_character_is_written_exactly(self):
        # Every control character but zero, DEL, quotes, a backslash, characters of 2,
        # 3 and 4 bytes in UTF-8, and a low and a high surrogate that do not pair.
        text = "".join(map(chr, range(1, 0x20))) + "\x7f\"\\/ \u00e9\u0800\uffff\U0010FFFF\udfff\ud800x"
        self.write("k.tvd", FileBuilder().blocks([("B", [(text, (TEXT, text))])]))

        def escaped(c):
            named = {'"': '\\"', "\\": "\\\\", "\n": "\\n", "\r": "\\r", "\t": "\\t"}
            if c in named:
                return named[c]
            if ord(c) < 0x20 or ord(c) == 0x7F or 0xD800 <= ord(c) < 0xE000:
                return "\\u%04X" % ord(c)
            return c
        quoted = '"%s"' % "".join(map(escaped, text))
        self.assertEqual(self.ok("dump", "k.tvd").splitlines()[-1],
                         "  %s: text %s" % (quoted, quoted))
        # JSON as Python writes it: the same short escapes plus \b and \f,
        # lower-case hex, DEL as it is, U+FFFD for each unpaired surrogate.
        out = self.ok("dump", "--json", "k.tvd")
        as_json = json.dumps(readable(text), ensure_ascii=False)
        self.assertIn('"name": %s,\n' % as_json, out)
        self.assertIn('"value": %s,\n' % as_json, out)

    def test_import_of_long_strings(self):
        # Characters of 2, 3 and 4 bytes across where UTF-8 is cut for
        # conversion (every 64 KB), and one string of many pieces.
        texts = ["a" * shift + "\u00e9\u540d\U0001F600x" * 7000 for shift in range(10)]
        texts.append("A long line of plain text. " * 60000)
        doc = {"blocks": [{"attributes": [{"name": t, "type": "text", "value": t}],
                           "name": t} for t in texts]}
        self.write("in.json", json.dumps(doc, ensure_ascii=False).encode("utf-8"))
        self.ok("import", "in.json", "-o", "out.tvd")
        self.assertEqual(self.read("out.tvd"), FileBuilder().blocks(
            [(t, [(t, (TEXT, t))]) for t in texts]))
        doc["blocks"][-1]["attributes"][0]["value"] += "\0"
        self.write("bad.json", json.dumps(doc).encode("utf-8"))
        self.assertIn("blocks[10].attributes[0].value: holds a zero character",
                      self.fails(1, "import", "bad.json", "-o", "bad.tvd"))
        self.assertFalse(os.path.exists(self.path("bad.tvd")))

    def test_json_that_cannot_be_read(self):
        os.mkdir(self.path("folder"))
        self.assertIn("folder: cannot open", self.fails(1, "import", "folder", "-o", "out.tvd"))
        if not WINDOWS_BUILD():
            folder = os.open(self.path("folder"), os.O_RDONLY)
            self.addCleanup(os.close, folder)
            result = subprocess.run(TVD + ["import", "-", "-o", "out.tvd"], cwd=self.dir,
                                    stdin=folder, capture_output=True, timeout=120)
            self.assertEqual((result.returncode, result.stderr),
                             (1, b"tvd: reading standard input failed\n"))
        self.assertFalse(os.path.exists(self.path("out.tvd")))


class CommandLine(TvdTestCase):
    def test_an_empty_output_name_is_a_usage_error(self):
        self.write("a.tvd", FileBuilder(NEWEST, 1).blocks([]))
        self.write("a.json", b'{"blocks": []}')
        for args in (["convert", "a.tvd", "-o", ""], ["import", "a.json", "-o", ""]):
            with self.subTest(args=args):
                self.assertIn("-o needs a file name", self.fails(2, *args))
        self.fails(2, "convert", "a.tvd", "--output=")
        self.assertEqual(self.read("a.tvd"), FileBuilder(NEWEST, 1).blocks([]))
        self.assertEqual(sorted(os.listdir(self.dir)), ["a.json", "a.tvd"])

    def test_double_dash_takes_the_next_argument_as_a_value(self):
        self.ok("new", "a.tvd")
        self.ok("set", "a.tvd", "B", "P", "--", "-5", "--type", "i4")
        self.ok("set", "a.tvd", "B", "Q", "--", "-Infinity", "--type", "r8")
        self.ok("set", "a.tvd", "B", "--", "--type", "--", "-x")
        self.ok("set", "a.tvd", "--type", "text", "B", "R", "--", "--")
        dump = self.ok("dump", "a.tvd")
        for line in ('"P": i4 -5', '"Q": r8 -Infinity', '"--type": text "-x"', '"R": text "--"'):
            self.assertIn(line, dump)
        self.write("-a.tvd", EMPTY_V2)
        self.assertEqual(self.ok("check", "--", "-a.tvd"),
                         "-a.tvd: ok (0 blocks, 0 attributes, version 2)\n")
        self.fails(2, "set", "a.tvd", "B", "P", "-5", "--type")

    def test_a_bad_codepage_points_at_the_help_that_describes_it(self):
        self.write("a.tvd", EMPTY_V2)
        for args in (["dump", "--codepage", "x", "a.tvd"], ["--codepage", "x", "check", "a.tvd"],
                     ["get", "--codepage", "65001", "a.tvd", "B", "A"]):
            with self.subTest(args=args):
                err = self.fails(2, *args)
                self.assertIn("tvd --help", err)
                self.assertNotIn("tvd dump --help", err)

    def test_version_is_the_project_version(self):
        here = os.path.dirname(os.path.abspath(__file__))
        cmake = os.path.join(here, "..", "..", "CMakeLists.txt")
        with open(cmake) as f:
            version = re.search(r"project\(Vellisto VERSION ([0-9.]+)", f.read()).group(1)
        self.assertEqual(self.ok("--version"), "tvd %s\n" % version)


class Generations(TvdTestCase):
    BLOCKS = [("Karte", [("Titel", (TEXT, b"Caf\xe9 \x80 5")),
                         ("Nummer", (I4, 12))]),
              ("Leer", [])]
    V2_OF_OLD_TEXT = [("Karte", [("Titel", (TEXT, "Café € 5")),
                                 ("Nummer", (TEXT, "12"))]),
                      ("Leer", [])]

    def test_convert_each_old_generation(self):
        for magic, name in ((OLDEST, "Mirelda Virtual Document 1.00"),
                            (FOUR, "Tavorin Virtual Document 4.00")):
            with self.subTest(generation=name):
                blocks = [("Karte", [("Titel", (TEXT, b"Caf\xe9 \x80 5")),
                                     ("Nummer", (TEXT, b"12"))]), ("Leer", [])]
                old = FileBuilder(magic).blocks(blocks)
                self.write("old.tvd", old)
                dump = self.ok("dump", "old.tvd")
                self.assertTrue(dump.startswith("generation: %s\nversion: 0\n" % name), dump)
                self.assertIn('"Titel": text "Café € 5"', dump)
                self.ok("convert", "old.tvd", "-o", "new.tvd")
                self.assertEqual(self.read("old.tvd"), old)
                self.assertEqual(self.read("new.tvd"), FileBuilder().blocks(self.V2_OF_OLD_TEXT))
                self.ok("convert", "old.tvd")
                self.assertEqual(self.read("old.tvd"), self.read("new.tvd"))

    def test_version_1_keeps_types_and_decodes_8_bit_text(self):
        self.write("v1.tvd", FileBuilder(NEWEST, 1).blocks(self.BLOCKS))
        self.assertEqual(self.ok("check", "v1.tvd"),
                         "v1.tvd: ok (2 blocks, 2 attributes, version 1)\n")
        self.ok("convert", "v1.tvd")
        self.assertEqual(self.read("v1.tvd"), FileBuilder().blocks(
            [("Karte", [("Titel", (TEXT, "Café € 5")), ("Nummer", (I4, 12))]), ("Leer", [])]))

    def test_codepage_chooses_how_8_bit_text_reads(self):
        block, value = b"\xc0\xe1", b"\xcf\xf0\xe8\xe2\xe5\xf2"
        self.write("v1.tvd", FileBuilder(NEWEST, 1).blocks([(block, [("n", (TEXT, value))])]))
        self.assertEqual(self.ok("get", "v1.tvd", block.decode("cp1252"), "n"),
                         value.decode("cp1252") + "\n")
        self.assertEqual(self.ok("--codepage", "1251", "get", "v1.tvd", "Аб", "n"), "Привет\n")
        # The option may follow the command too.
        self.assertEqual(self.ok("get", "--codepage", "1250", "v1.tvd", block.decode("cp1250"),
                                 "n"), value.decode("cp1250") + "\n")
        self.ok("--codepage", "1251", "convert", "v1.tvd")
        self.assertEqual(self.ok("get", "v1.tvd", "аБ", "n"), "Привет\n")

    def test_codepages_that_cannot_decode_are_usage_errors(self):
        self.write("v1.tvd", FileBuilder(NEWEST, 1).blocks([]))
        for page in ("65001", "932", "936", "949", "99999", "-1", "x"):
            with self.subTest(page=page):
                self.fails(2, "--codepage", page, "check", "v1.tvd")


def AS_OTHER_USER():
    """setpriv arguments to run as nobody in group 1234, or None where that is not possible."""
    if WINDOWS_BUILD() or os.geteuid() != 0 or shutil.which("setpriv") is None:
        return None
    return ["setpriv", "--reuid=65534", "--regid=65534", "--groups=1234"]


class SavingAsAnotherUser(TvdTestCase):
    """A save writes a new file beside the old one: what that needs and keeps."""

    def setUp(self):
        super().setUp()
        self.setpriv = AS_OTHER_USER()
        if self.setpriv is None:
            self.skipTest("needs the native build, root and setpriv")
        os.chmod(self.dir, 0o755)  # tvd cannot make files here as nobody

    def run_as_other(self, *args):
        tool = os.path.realpath(TVD[-1])
        result = subprocess.run(self.setpriv + [tool] + list(args), cwd=self.dir,
                                capture_output=True, timeout=120)
        return result.returncode, result.stderr.decode("utf-8")

    def test_a_folder_without_room_for_a_new_file_cannot_be_saved_into(self):
        self.write("a.tvd", EMPTY_V2)
        os.chmod(self.path("a.tvd"), 0o666)
        code, err = self.run_as_other("set", "a.tvd", "B", "A", "x")
        self.assertEqual(code, 1, err)
        self.assertIn("cannot", err)
        self.assertEqual(self.read("a.tvd"), EMPTY_V2)
        self.assertEqual(os.listdir(self.dir), ["a.tvd"])

    def test_the_group_and_mode_are_kept(self):
        os.chmod(self.dir, 0o777)
        self.write("a.tvd", EMPTY_V2)
        os.chown(self.path("a.tvd"), 0, 1234)
        os.chmod(self.path("a.tvd"), 0o664)
        code, err = self.run_as_other("set", "a.tvd", "B", "A", "x")
        self.assertEqual(code, 0, err)
        st = os.stat(self.path("a.tvd"))
        self.assertEqual((st.st_gid, st.st_mode & 0o7777), (1234, 0o664))
        self.assertNotEqual(self.read("a.tvd"), EMPTY_V2)


class SavingKeepsAccess(TvdTestCase):
    """A save leaves the file's owner, group and mode as they were, under Wine
    too, where access is the Unix mode that no Windows call can set exactly."""

    def test_every_mode_owner_and_group_is_kept(self):
        for mode in (0o600, 0o604, 0o640, 0o644, 0o660, 0o664, 0o666, 0o700):
            with self.subTest(mode=oct(mode)):
                self.write("a.tvd", EMPTY_V2)
                if os.getuid() == 0:
                    os.chown(self.path("a.tvd"), 0, 65534)
                os.chmod(self.path("a.tvd"), mode)
                before = os.stat(self.path("a.tvd"))
                self.ok("set", "a.tvd", "B", "A", "x")
                after = os.stat(self.path("a.tvd"))
                self.assertEqual((after.st_mode & 0o7777, after.st_uid, after.st_gid),
                                 (mode, before.st_uid, before.st_gid))
                self.assertEqual(self.ok("get", "a.tvd", "B", "A"), "x\n")
        self.assertEqual(os.listdir(self.dir), ["a.tvd"])


class BadInput(TvdTestCase):
    def test_nothing_is_written_over_a_file_that_does_not_read_to_the_end(self):
        builder = FileBuilder()
        data = builder.blocks(AWKWARD_BLOCKS[:3])
        cut = data[:builder.block_ends[1] + 10]
        self.write("cut.tvd", cut)
        fault, complete = builder.expected_check(len(cut))
        message = "cut.tvd: " + bad_format(fault, complete)
        for args in (["set", "cut.tvd", "Card", "Title", "x"], ["convert", "cut.tvd"],
                     ["convert", "cut.tvd", "-o", "out.tvd"], ["dump", "cut.tvd"],
                     ["dump", "--json", "cut.tvd"], ["get", "cut.tvd", "Card", "Title"]):
            with self.subTest(args=args):
                self.assertIn(message, self.fails(1, *args))
        self.assertEqual(self.read("cut.tvd"), cut)
        self.assertFalse(os.path.exists(self.path("out.tvd")))

    def test_missing_files_and_folders(self):
        os.mkdir(self.path("folder"))
        for args, mentioned in (
                (["dump", "missing.tvd"], "missing.tvd: cannot open (no such file)"),
                (["dump", "folder"], "folder: cannot open (is a directory)"),
                (["get", "folder", "B", "A"], "folder: cannot open (is a directory)"),
                (["convert", "missing.tvd"], "missing.tvd: cannot open (no such file)"),
                (["new", "folder"], "folder: already exists"),
                (["new", "--force", "folder"], "folder: cannot write (is a directory)")):
            with self.subTest(args=args):
                self.assertIn(mentioned, self.fails(1, *args))

    def test_usage_errors(self):
        self.write("a.tvd", EMPTY_V2)
        for args in ([], ["frobnicate"], ["dump"], ["dump", "a.tvd", "extra"],
                     ["get", "a.tvd", "B"], ["set", "a.tvd", "B", "A"],
                     ["check"], ["dump", "--yaml", "a.tvd"], ["--codepage"]):
            with self.subTest(args=args):
                self.fails(2, *args)

    def test_help_for_every_command(self):
        out = self.ok("--help")
        self.assertIn("--codepage", out)
        for command in ("dump", "import", "get", "set", "convert", "new", "check"):
            self.assertIn(command, out)
            with self.subTest(command=command):
                self.assertIn("Usage: tvd " + command, self.ok(command, "--help"))
        self.assertIn('"bits"', self.ok("dump", "--help"))


class NonAsciiFileNames(TvdTestCase):
    def test_every_command_takes_a_non_ascii_name(self):
        name = "Übersicht данные 名前.tvd"
        self.ok("new", name)
        self.ok("set", name, "Карта", "Größe", "3", "--type", "i4")
        self.assertEqual(self.ok("get", name, "карта", "größe"), "3\n")
        self.assertEqual(self.ok("check", name), name + ": ok (1 block, 1 attribute, version 2)\n")
        self.write("j.json", self.ok("dump", "--json", name).encode("utf-8"))
        self.ok("import", "j.json", "-o", "копия.tvd")
        self.assertEqual(self.read("копия.tvd"), self.read(name))
        self.ok("convert", name, "-o", "ü.tvd")
        self.assertEqual(self.read("ü.tvd"), self.read(name))


    def test_a_name_that_is_not_utf8_opens_and_prints_back_exactly(self):
        if WINDOWS_BUILD():
            self.skipTest("Windows names are UTF-16")
        raw = b"caf\xe9 \xff \xed\xb2\x80.tvd"  # Latin-1, a stray byte, an encoded surrogate
        name = os.fsdecode(raw)

        def run(*args):
            r = subprocess.run(TVD + list(args), cwd=self.dir, capture_output=True, timeout=60)
            return r.returncode, r.stdout, r.stderr

        self.ok("new", name)
        self.assertTrue(os.path.exists(os.path.join(os.fsencode(self.dir), raw)))
        self.assertEqual(run("set", name, "B", "A", "1", "--type", "i4")[0], 0)
        self.assertEqual(run("get", name, "B", "A"), (0, b"1\n", b""))
        # check's report shows bytes that are not UTF-8 as escapes, so that no
        # name can forge a line.
        self.assertEqual(run("check", name),
                         (0, b"caf\\xe9 \\xff \\xed\\xb2\\x80.tvd: ok (1 block, 1 attribute, version 2)\n",
                          b""))
        self.assertEqual(run("convert", name, "-o", os.fsdecode(b"\xfe.tvd"))[0], 0)
        self.assertEqual(self.read(os.fsdecode(b"\xfe.tvd")), self.read(name))
        self.assertEqual(run("dump", os.fsdecode(b"no\xff.tvd")),
                         (1, b"", b"tvd: no\xff.tvd: cannot open (no such file)\n"))
        self.assertEqual(sorted(os.listdir(os.fsencode(self.dir))), sorted([b"\xfe.tvd", raw]))


class StandardStreams(TvdTestCase):
    """'-' names standard input for the commands that read a document and
    standard output for -o."""

    def setUp(self):
        super().setUp()
        self.data = FileBuilder().blocks(AWKWARD_BLOCKS[:1])
        self.write("a.tvd", self.data)

    def raw(self, *args, stdin=None):
        r = subprocess.run(TVD + list(args), cwd=self.dir, input=stdin, capture_output=True,
                           timeout=60)
        return r.returncode, r.stdout, r.stderr.decode().replace("\r\n", "\n")

    def test_documents_read_from_standard_input(self):
        self.assertEqual(self.ok("dump", "-", stdin=self.data), self.ok("dump", "a.tvd"))
        self.assertEqual(self.ok("dump", "--json", "-", stdin=self.data),
                         self.ok("dump", "--json", "a.tvd"))
        self.assertEqual(self.ok("get", "-", "Card", "Title", stdin=self.data), "Pump\n")
        self.assertEqual(self.ok("check", "-", stdin=self.data),
                         "-: ok (1 block, 4 attributes, version 2)\n")
        self.assertIn("no attribute matching 'X'",
                      self.fails(3, "get", "-", "Card", "X", stdin=self.data))
        cut = self.data[:45]
        self.assertEqual(self.tvd("check", "-", stdin=cut)[:2],
                         (1, "-: bad format at byte 42 (0 complete blocks before the fault)\n"))
        self.assertIn("standard input: bad format at byte 0",
                      self.fails(1, "dump", "-", stdin=b""))

    def test_documents_written_to_standard_output(self):
        self.write("old.tvd", FileBuilder(OLDEST).blocks([("B", [("A", (TEXT, "x"))])]))
        code, out, err = self.raw("convert", "old.tvd", "-o", "-")
        self.assertEqual((code, err), (0, ""))
        self.ok("convert", "old.tvd", "-o", "new.tvd")
        self.assertEqual(out, self.read("new.tvd"))  # bytes as they are, "\n" too
        json_text = self.ok("dump", "--json", "a.tvd").encode()
        self.assertEqual(self.raw("import", "-", "-o", "-", stdin=json_text),
                         (0, self.data, ""))
        self.assertEqual(sorted(os.listdir(self.dir)), ["a.tvd", "new.tvd", "old.tvd"])

    def test_commands_that_save_take_a_dash_as_a_file_name(self):
        self.ok("new", "-")
        self.ok("set", "-", "B", "A", "1")
        self.ok("convert", "-")
        self.assertEqual(self.ok("get", "./-", "B", "A"), "1\n")
        self.assertEqual(self.ok("get", "-", "Card", "Title", stdin=self.data), "Pump\n")
        self.assertEqual(sorted(os.listdir(self.dir)), ["-", "a.tvd"])

    def test_a_document_is_not_written_to_a_terminal(self):
        if WINDOWS_BUILD():
            self.skipTest("needs a terminal of this system")
        import pty
        master, slave = pty.openpty()
        try:
            r = subprocess.run(TVD + ["convert", "a.tvd", "-o", "-"], cwd=self.dir, stdout=slave,
                               stderr=subprocess.PIPE, timeout=60)
        finally:
            os.close(slave)
            os.close(master)
        self.assertEqual(r.returncode, 2)
        self.assertIn(b"standard output is a terminal", r.stderr)
        self.assertEqual(self.read("a.tvd"), self.data)

    def test_a_document_is_not_written_to_a_full_device(self):
        if not os.path.exists("/dev/full"):
            self.skipTest("needs /dev/full")
        with open("/dev/full", "wb") as full:
            r = subprocess.run(TVD + ["convert", "a.tvd", "-o", "-"], cwd=self.dir, stdout=full,
                               stderr=subprocess.PIPE, timeout=60)
        self.assertEqual((r.returncode, r.stderr.replace(b"\r\n", b"\n")),
                         (1, b"tvd: writing standard output failed: No space left on device\n"))
        self.assertEqual(self.read("a.tvd"), self.data)


class Conventions(TvdTestCase):
    def test_unknown_commands_and_options_are_named_with_the_nearest(self):
        self.write("a.tvd", EMPTY_V2)
        cases = [
            (["dmp", "a.tvd"], "unknown command 'dmp'; did you mean 'dump'?"),
            (["chekc", "a.tvd"], "unknown command 'chekc'; did you mean 'check'?"),
            (["frobnicate"], "unknown command 'frobnicate'"),
            (["-v"], "unknown option '-v'; did you mean '-V'?"),
            (["--verison"], "unknown option '--verison'; did you mean '--version'?"),
            (["dump", "--jsn", "a.tvd"], "unknown option '--jsn'; did you mean '--json'?"),
            (["set", "a.tvd", "B", "A", "1", "--typ=i4"],
             "unknown option '--typ'; did you mean '--type'?"),
            (["help", "sett"], "unknown command 'sett'; did you mean 'set'?"),
            ([], "a command is required"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                err = self.fails(2, *args)
                self.assertIn(message, err)
                self.assertNotIn("A subcommand is required", err)
        self.assertNotIn("did you mean", self.fails(2, "frobnicate"))

    def test_help_and_version(self):
        self.assertEqual(self.ok("help"), self.ok("--help"))
        for command in ("dump", "import", "get", "set", "convert", "new", "check"):
            with self.subTest(command=command):
                self.assertEqual(self.ok("help", command), self.ok(command, "--help"))
        self.assertIn("help", self.ok("--help"))
        self.assertEqual(self.ok("-V"), self.ok("--version"))
        self.assertIn("Exit status 3", self.ok("help", "get"))
        self.assertIn("keeps the type", self.ok("help", "set"))

    def test_wildcards_in_file_names_as_windows_tools_take_them(self):
        if not WINDOWS_BUILD():
            self.skipTest("the shell expands wildcards before the tool sees them")
        os.mkdir(self.path("sample"))
        for name in ("b.tvd", "a.tvd", "notes.txt"):
            self.write(os.path.join("sample", name), EMPTY_V2)
        self.assertEqual(self.ok("check", "sample\\*.tvd"),
                         "sample\\a.tvd: ok (0 blocks, 0 attributes, version 2)\n"
                         "sample\\b.tvd: ok (0 blocks, 0 attributes, version 2)\n"
                         "checked 2 files: 2 ok, 0 bad format, 0 cannot open\n")
        self.assertEqual(self.ok("check", "sample/?.tvd"),
                         "sample/a.tvd: ok (0 blocks, 0 attributes, version 2)\n"
                         "sample/b.tvd: ok (0 blocks, 0 attributes, version 2)\n"
                         "checked 2 files: 2 ok, 0 bad format, 0 cannot open\n")
        # A pattern that matches nothing is passed on, so the error names it.
        code, out, _ = self.tvd("check", "sample\\*.xyz")
        self.assertEqual((code, out), (1, "sample\\*.xyz: cannot open (no such file)\n"))
        # Only file names are expanded: an attribute pattern stays a pattern.
        self.ok("set", "sample\\a.tvd", "B", "First", "1")
        self.assertEqual(self.ok("get", "sample\\a.tvd", "B", "*"), "1\n")


class LongPaths(TvdTestCase):
    """Files in a folder tree whose full path is longer than the 260
    characters of a plain Windows path."""

    def setUp(self):
        super().setUp()
        self.deep = os.path.join(*["level%d-" % i + "x" * 52 for i in range(6)])
        os.makedirs(self.path(self.deep))
        self.assertGreater(len(self.path(self.deep)), 300)

    def name(self, file):
        return os.path.join(self.deep, file)

    def test_new_does_not_replace_a_document_there_unless_forced(self):
        doc = FileBuilder().blocks(AWKWARD_BLOCKS)
        self.write(self.name("a.tvd"), doc)
        err = self.fails(1, "new", self.name("a.tvd"))
        self.assertIn("already exists", err)
        self.assertEqual(self.read(self.name("a.tvd")), doc)
        self.ok("new", self.name("a.tvd"), "--force")
        self.assertEqual(self.read(self.name("a.tvd")), EMPTY_V2)

    def test_every_command_works_on_a_file_there(self):
        a, b, c = self.name("a.tvd"), self.name("b.tvd"), self.name("c.tvd")
        self.ok("new", a)
        self.assertEqual(self.read(a), EMPTY_V2)
        self.assertEqual(self.ok("check", a), a + ": ok (0 blocks, 0 attributes, version 2)\n")
        self.ok("set", a, "Card", "Count", "7", "--type", "i4")
        self.assertEqual(self.ok("get", a, "Card", "count"), "7\n")
        self.assertEqual(self.ok("check", a), a + ": ok (1 block, 1 attribute, version 2)\n")
        self.assertIn("Count", self.ok("dump", a))
        self.write(self.name("a.json"), self.ok("dump", "--json", a).encode("utf-8"))
        self.ok("import", self.name("a.json"), "-o", b)
        self.assertEqual(self.read(b), self.read(a))
        self.ok("convert", a, "-o", c)
        self.assertEqual(self.read(c), self.read(a))
        # An old generation there: its header is read again to name it.
        self.write(self.name("old.tvd"), FileBuilder(FOUR).blocks([("B", [("A", (TEXT, "x"))])]))
        self.assertIn("4.00", self.ok("dump", self.name("old.tvd")))
        self.ok("convert", self.name("old.tvd"))
        self.assertTrue(self.read(self.name("old.tvd")).startswith(NEWEST))

    def test_a_missing_file_there_is_named_as_missing(self):
        err = self.fails(1, "import", self.name("missing.json"), "-o", self.name("x.tvd"))
        self.assertIn("(no such file)", err)
        self.assertFalse(os.path.exists(self.path(self.name("x.tvd"))))


def FILE_SIZE_LIMIT(size):
    """preexec_fn that lets the tool write files of at most `size` bytes: a
    write beyond fails with EFBIG ("File too large") instead of the signal."""
    def limit():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))
    return limit


class FileAccessReasons(TvdTestCase):
    """Links, things that are not files, and the reason a failure names."""

    def setUp(self):
        super().setUp()
        self.write("a.tvd", EMPTY_V2)

    def test_a_save_through_a_symbolic_link_rewrites_the_file_it_names(self):
        os.symlink("a.tvd", self.path("link.tvd"))
        self.ok("set", "link.tvd", "B", "A", "x")
        self.assertTrue(os.path.islink(self.path("link.tvd")))
        self.assertEqual(self.ok("get", "a.tvd", "B", "A"), "x\n")
        self.assertEqual(sorted(os.listdir(self.dir)), ["a.tvd", "link.tvd"])

    def test_a_fifo_is_not_a_regular_file(self):
        os.mkfifo(self.path("fifo.tvd"))
        self.assertEqual(self.tvd("check", "fifo.tvd")[1],
                         "fifo.tvd: cannot open (not a regular file)\n")
        self.assertIn("fifo.tvd: cannot open (not a regular file)",
                      self.fails(1, "set", "fifo.tvd", "B", "A", "x"))

    def test_a_read_only_file_is_read_only_even_for_root(self):
        os.chmod(self.path("a.tvd"), 0o444)
        self.assertIn("a.tvd: cannot write (read-only)", self.fails(1, "set", "a.tvd", "B", "A", "x"))
        self.assertEqual(self.read("a.tvd"), EMPTY_V2)

    def test_a_folder_where_no_file_can_be_made(self):
        os.mkdir(self.path("locked"))
        self.write(os.path.join("locked", "a.tvd"), EMPTY_V2)
        # Immutable: the file in it stays writable, but nothing new can be made there.
        if subprocess.run(["chattr", "+i", self.path("locked")], capture_output=True).returncode:
            self.skipTest("needs chattr +i (root, ext4)")
        self.addCleanup(subprocess.run, ["chattr", "-i", self.path("locked")])
        err = self.fails(1, "set", os.path.join("locked", "a.tvd"), "B", "A", "x")
        self.assertIn("(cannot make a new file in its folder: ", err)
        self.assertEqual(self.read(os.path.join("locked", "a.tvd")), EMPTY_V2)
        self.assertEqual(os.listdir(self.path("locked")), ["a.tvd"])

    def test_a_symbolic_link_to_a_missing_file_is_refused_and_stays(self):
        os.symlink("missing.tvd", self.path("link.tvd"))
        for args in (["new", "--force", "link.tvd"], ["convert", "a.tvd", "-o", "link.tvd"]):
            with self.subTest(args=args):
                self.assertIn("link.tvd: cannot write (a symbolic link to a missing file)",
                              self.fails(1, *args))
        self.assertEqual(os.readlink(self.path("link.tvd")), "missing.tvd")
        self.assertEqual(sorted(os.listdir(self.dir)), ["a.tvd", "link.tvd"])

    def test_a_write_that_fails_midway_names_the_system_reason(self):
        if WINDOWS_BUILD():
            self.skipTest("the file size limit would bind Wine's own processes")
        result = subprocess.run(TVD + ["set", "a.tvd", "Block", "Name", "x" * 100],
                                cwd=self.dir, capture_output=True, timeout=120,
                                preexec_fn=FILE_SIZE_LIMIT(50))
        self.assertEqual((result.returncode, result.stderr.decode()), (
            1, "tvd: a.tvd: writing failed (File too large); the file is as it was before\n"))
        self.assertEqual(self.read("a.tvd"), EMPTY_V2)
        self.assertEqual(os.listdir(self.dir), ["a.tvd"])

    def test_a_file_larger_than_the_reader_takes_is_too_large(self):
        limit = (1024 if POINTER_BITS() == 64 else 256) << 20
        with open(self.path("big.tvd"), "wb") as f:
            f.write(EMPTY_V2)
            f.truncate(limit + 1)  # sparse
        self.assertIn("big.tvd: cannot open (too large)", self.fails(1, "dump", "big.tvd"))


class FailingOutput(TvdTestCase):
    """Standard output that does not take all the tool writes: the command fails."""

    def setUp(self):
        super().setUp()
        self.write("a.tvd", FileBuilder().blocks(AWKWARD_BLOCKS))

    def run_into(self, stdout, *args, preexec_fn=None):
        """(exit code, stderr) of a run whose standard output is stdout."""
        result = subprocess.run(TVD + list(args), cwd=self.dir, stdout=stdout,
                                stderr=subprocess.PIPE, preexec_fn=preexec_fn, timeout=120)
        return result.returncode, result.stderr.decode("utf-8").replace("\r\n", "\n")

    def test_every_command_that_writes_fails_on_a_full_device(self):
        if not os.path.exists("/dev/full"):
            self.skipTest("needs /dev/full")
        with open("/dev/full", "wb") as full:
            for args in (["dump", "a.tvd"], ["dump", "--json", "a.tvd"], ["check", "a.tvd"],
                         ["get", "a.tvd", "Card", "Title"], ["--help"], ["--version"]):
                with self.subTest(args=args):
                    self.assertEqual(self.run_into(full, *args), (
                        1, "tvd: writing standard output failed: No space left on device\n"))

    def test_output_cut_short_keeps_what_was_written_and_fails(self):
        if WINDOWS_BUILD():
            self.skipTest("the file size limit would bind Wine's own processes")
        self.write("big.tvd", FileBuilder().blocks(
            [("Big", [("Name %d" % i, (TEXT, "value %d" % i)) for i in range(5000)])]))
        whole = self.ok("dump", "--json", "big.tvd").encode()
        self.assertGreater(len(whole), 200000)  # several pieces of output
        with open(self.path("out.json"), "wb") as out:
            self.assertEqual(
                self.run_into(out, "dump", "--json", "big.tvd",
                              preexec_fn=FILE_SIZE_LIMIT(100000)),
                (1, "tvd: writing standard output failed: File too large\n"))
        self.assertEqual(self.read("out.json"), whole[:100000])

    def test_a_closed_output_fails_only_a_command_that_writes(self):
        close = lambda: os.close(1)  # noqa: E731
        self.assertEqual(self.run_into(None, "dump", "a.tvd", preexec_fn=close),
                         (1, "tvd: writing standard output failed: Bad file descriptor\n"))
        self.assertEqual(self.run_into(None, "set", "a.tvd", "B", "A", "x", preexec_fn=close),
                         (0, ""))
        self.assertEqual(self.ok("get", "a.tvd", "B", "A"), "x\n")


if __name__ == "__main__":
    argv = sys.argv[1:]
    split = argv.index("--") if "--" in argv else len(argv)
    # The tests run in folders of their own: the command must not be relative.
    TVD = [os.path.abspath(a) if os.path.exists(a) else a for a in argv[:split]]
    if not TVD:
        sys.exit(__doc__)
    unittest.main(argv=[sys.argv[0]] + argv[split + 1:], verbosity=2)
