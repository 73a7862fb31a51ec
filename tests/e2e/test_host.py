"""End-to-end: the reference host (tvdhost.exe) loads the real Vellisto.dll
under Wine and drives it through the host's interfaces on real files."""
import argparse
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest

import tvdfile
from tvdfile import DATE, I4, R8, TEXT

ARGS = None


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class HostTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vellisto-e2e-")

    def tearDown(self):
        for root, _, files in os.walk(self.dir):
            for name in files:
                os.chmod(os.path.join(root, name), stat.S_IRUSR | stat.S_IWUSR)
        shutil.rmtree(self.dir)

    def file(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def host(self, script=None, args=(), dll=None):
        """Runs the host with commands on stdin (script) or on its command
        line (args); returns (exit code, output lines)."""
        command = [ARGS.wine_run, ARGS.host, "--dll", dll or windows_path(ARGS.dll), *args]
        result = subprocess.run(command, input=(script or "").encode("utf-8"),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        lines = result.stdout.decode("utf-8").replace("\r", "").splitlines()
        return result.returncode, lines

    def assertCall(self, lines, call, code):
        self.assertIn("%s -> %s" % (call, code), lines)

    def test_info_describes_the_format(self):
        code, lines = self.host(args=["info"])
        self.assertEqual(0, code, lines)
        self.assertEqual(["DllGetClassObject -> 0x00000000", "CreateInstance -> 0x00000000",
                          "GetInfo -> 0x00000000", "maker: FERROLANTH",
                          "description: File format plugins for virtual files.",
                          "extensions: tvd", "GetCapabilities -> 0x00000000",
                          "flags: 0x0000000C", "DllCanUnloadNow -> 0x00000000"], lines)

    def test_read_change_save_and_read_back(self):
        path = self.file("part.tvd", tvdfile.write([
            ("Title", [("Name", (TEXT, "Bracket")), ("Count", (I4, 42)), ("Weight", (R8, 2.5))]),
            ("Vault", [("State", (TEXT, "Released"))])]))
        p = windows_path(path)
        code, lines = self.host(
            "open %s\n"
            "get Title Name Count Weight Missing\n"
            "set Title Count -3 --type i4\n"
            "set Title W* 0.25 --type r8\n"
            "set Title Made 2024-02-29 --type date\n"
            "set \"New block\" Note \"two words \u00e9\u4e2d\"\n"
            "save\n"
            "close\n"
            "open %s\n"
            "get Title Count Weight Made\n"
            "get \"New block\" Note\n" % (p, p))
        self.assertEqual(0, code, lines)
        self.assertIn('Title/Name: found=1 text "Bracket"', lines)
        self.assertIn("Title/Count: found=1 i4 42", lines)
        self.assertIn("Title/Weight: found=1 r8 2.5", lines)
        self.assertIn("Title/Missing: found=0 empty", lines)
        self.assertCall(lines, "Save", "0x00000000")
        self.assertIn("Title/Count: found=1 i4 -3", lines)
        self.assertIn("Title/Weight: found=1 r8 0.25", lines)
        self.assertIn("Title/Made: found=1 date 2024-02-29 00:00:00", lines)
        self.assertIn('New block/Note: found=1 text "two words \u00e9\u4e2d"', lines)
        self.assertEqual("DllCanUnloadNow -> 0x00000000", lines[-1])
        with open(path, "rb") as f:
            blocks = tvdfile.read_newest(f.read())
        self.assertEqual([
            ("Title", [("Name", (TEXT, "Bracket")), ("Count", (I4, -3)), ("Weight", (R8, 0.25)),
                       ("Made", (DATE, 45351.0))]),
            ("Vault", [("State", (TEXT, "Released"))]),
            ("New block", [("Note", (TEXT, "two words \u00e9\u4e2d"))])], blocks)

    def test_stop_at_first_found(self):
        path = self.file("a.tvd", tvdfile.write([("B", [("One", (I4, 1)), ("Two", (I4, 2))])]))
        code, lines = self.host("open %s\nget --first B Zero Two One\n" % windows_path(path))
        self.assertEqual(0, code, lines)
        self.assertIn("B/Zero: found=0 empty", lines)
        self.assertIn("B/Two: found=1 i4 2", lines)
        self.assertIn("B/One: found=0 empty", lines)  # left as the host passed it

    def test_older_generations_are_saved_as_version_2(self):
        for version, magic in ((0, tvdfile.OLDEST), (0, tvdfile.FOUR), (1, None)):
            with self.subTest(version=version, magic=magic):
                path = self.file("old.tvd", tvdfile.write(
                    [("Title", [("Name", (TEXT, "Caf\u00e9"))])], version=version, magic=magic))
                code, lines = self.host("open %s\nsave\n" % windows_path(path))
                self.assertEqual(0, code, lines)
                with open(path, "rb") as f:
                    self.assertEqual([("Title", [("Name", (TEXT, "Caf\u00e9"))])],
                                     tvdfile.read_newest(f.read()))

    def test_files_that_cannot_be_opened(self):
        bad = self.file("bad.tvd", b"not a virtual document at all, not at all")
        code, lines = self.host("open %s\nopen %s\nopen %s\nget B A\n" % (
            windows_path(os.path.join(self.dir, "missing.tvd")), windows_path(bad),
            windows_path(self.dir)))
        self.assertEqual(1, code, lines)
        self.assertEqual(["OpenFile -> 0x8004020B", "OpenFile -> 0x80040229",
                          "OpenFile -> 0x8004020B"],
                         [l for l in lines if l.startswith("OpenFile")])
        self.assertIn("no file is open", lines)
        self.assertEqual("DllCanUnloadNow -> 0x00000000", lines[-1])

    def test_save_onto_a_read_only_file_keeps_the_changes(self):
        original = tvdfile.write([("B", [("N", (I4, 1))])])
        path = self.file("ro.tvd", original)
        os.chmod(path, stat.S_IRUSR)
        code, lines = self.host("open %s\nset B N 2 --type i4\nsave\nget B N\n" % windows_path(path))
        self.assertEqual(1, code, lines)
        self.assertCall(lines, "Save", "0x8004020B")
        self.assertIn("B/N: found=1 i4 2", lines)
        with open(path, "rb") as f:
            self.assertEqual(original, f.read())

    def test_commands_that_are_not_understood(self):
        code, lines = self.host("frobnicate\nset B N notanumber --type i4\n")
        self.assertEqual(2, code, lines)
        self.assertEqual("DllCanUnloadNow -> 0x00000000", lines[-1])

    def test_numbers_print_in_their_shortest_form(self):
        path = self.file("n.tvd", tvdfile.write([("B", [("W", (R8, 7.2)), ("T", (R8, 0.1 + 0.2)),
                                                         ("D", (DATE, 1e300))])]))
        code, lines = self.host("open %s\nget B W T D\n" % windows_path(path))
        self.assertEqual(0, code, lines)
        self.assertIn("B/W: found=1 r8 7.2", lines)
        self.assertIn("B/T: found=1 r8 0.30000000000000004", lines)
        self.assertIn("B/D: found=1 date 1e+300", lines)

    def test_help_needs_neither_com_nor_a_library(self):
        missing = windows_path(os.path.join(self.dir, "none.dll"))
        for args in (["--help"], ["-h"], ["--dll", missing, "--help"]):
            with self.subTest(args=args):
                result = subprocess.run([ARGS.wine_run, ARGS.host, *args], capture_output=True,
                                        timeout=120)
                out = result.stdout.decode("utf-8")
                self.assertEqual(result.returncode, 0, out)
                self.assertTrue(out.startswith("Usage: tvdhost"), out)
                self.assertNotIn("LoadLibrary", out)

    def test_a_missing_library_is_reported(self):
        code, lines = self.host(args=["info"], dll=windows_path(os.path.join(self.dir, "none.dll")))
        self.assertEqual(3, code, lines)
        self.assertTrue(lines and lines[0].startswith("LoadLibrary"), lines)


class ProgIdTest(unittest.TestCase):
    """Without --dll the host finds the plugin as a registered host does."""

    def run_wine(self, *command, script=""):
        result = subprocess.run([ARGS.wine_run, *command], input=script.encode("utf-8"),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        return result.returncode, result.stdout.decode("utf-8").replace("\r", "").splitlines()

    def tearDown(self):
        self.run_wine("regsvr32", "/s", "/u", windows_path(ARGS.dll))

    def test_the_registered_format_object_is_made_by_its_progid(self):
        code, lines = self.run_wine(ARGS.host, "info")
        self.assertEqual(3, code, lines)
        self.assertEqual(["CLSIDFromProgID -> 0x800401F3"], lines)  # CO_E_CLASSSTRING
        self.assertEqual(0, self.run_wine("regsvr32", "/s", windows_path(ARGS.dll))[0])
        code, lines = self.run_wine(ARGS.host, "info")
        self.assertEqual(0, code, lines)
        self.assertEqual(["CLSIDFromProgID -> 0x00000000", "CoCreateInstance -> 0x00000000",
                          "GetInfo -> 0x00000000"], lines[:3])
        self.assertIn("extensions: tvd", lines)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--dll", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v", *rest])
