"""The Windows package end to end: CPack's zip unpacked into a folder whose
path holds a blank and a single quote, the DLL registered from there with
regsvr32, driven through its ProgID by the packaged tvdhost, checked with
the packaged tvd, its preview rendered to a PNG with the packaged sample
resource library as the host's installation, and unregistered, leaving the
classes root as it was."""
import argparse
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import struct
import unittest
import zipfile
import zlib

ARGS = None
HOST_KEY = "HKLM\\Software\\Ferrolanth\\Applications\\Quilmoor Enterprise"


def read_png(path):
    """Width, height and rows of (r, g, b) tuples of an 8-bit RGB PNG."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert (depth, colour, interlace) == (8, 2, 0), "not 8-bit RGB"
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw, stride, rows, previous = zlib.decompress(idat), width * 3, [], bytearray(width * 3)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b = previous[i]
            c = previous[i - 3] if i >= 3 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append([tuple(line[x * 3:x * 3 + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def pe_platform(path):
    """win32 or win64, from a Windows binary's machine field."""
    with open(path, "rb") as f:
        head = f.read(4096)
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    machine = struct.unpack_from("<H", head, pe + 4)[0]
    return {0x14C: "win32", 0x8664: "win64"}.get(machine, hex(machine))


def has_symbols(path):
    """Whether a Windows binary still carries its COFF symbol table (and the
    debug sections whose long names it holds)."""
    with open(path, "rb") as f:
        head = f.read(4096)
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    pointer, count = struct.unpack_from("<II", head, pe + 12)
    return pointer != 0 or count != 0


class PackageTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vellisto-package-")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def wine(self, *command, script=""):
        result = subprocess.run([ARGS.wine_run, *command], input=script.encode("utf-8"),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
        return result.returncode, result.stdout.decode("utf-8", "replace").replace("\r", "").splitlines()

    def classes_root(self, name):
        path = os.path.join(self.dir, name)
        code, _ = self.wine("regedit", "/E", windows_path(path), "HKEY_LOCAL_MACHINE\\Software\\Classes")
        self.assertEqual(0, code)
        with open(path, "rb") as f:
            return f.read().decode("utf-16", "replace").splitlines()

    def test_unpack_register_drive_by_progid_and_unregister(self):
        out = os.path.join(self.dir, "out")
        subprocess.run([ARGS.cpack, "--config", os.path.join(ARGS.build_dir, "CPackConfig.cmake"), "-B", out],
                       check=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
        name = "Vellisto-%s-%s" % (ARGS.version, ARGS.arch)
        archive = zipfile.ZipFile(os.path.join(out, name + ".zip"))
        self.assertEqual(sorted([name + "/INSTALL.txt", name + "/Vellisto.dll", name + "/tvd.exe",
                                 name + "/tvdhost.exe", name + "/sample/KivRes.dll",
                                 name + "/sample/sample.tvd"]),
                         sorted(n for n in archive.namelist() if not n.endswith("/")))
        folder = os.path.join(self.dir, "Bob's programs")
        archive.extractall(folder)
        home = os.path.join(folder, name)
        for program in ("Vellisto.dll", "tvd.exe", "tvdhost.exe"):
            self.assertEqual(ARGS.arch, pe_platform(os.path.join(home, program)), program)
            self.assertFalse(has_symbols(os.path.join(home, program)), program + " is not stripped")
        dll = windows_path(os.path.join(home, "Vellisto.dll"))
        document = windows_path(os.path.join(home, "sample", "sample.tvd"))

        before = self.classes_root("before.reg")
        self.assertEqual(0, self.wine("regsvr32", "/s", dll)[0])
        try:
            code, lines = self.wine(os.path.join(home, "tvdhost.exe"), script=(
                "info\nopen \"%s\"\nget Card Title\nset Mass \"Weight kg\" 12.5 --type r8\nsave\n"
                "get Mass *kg\n" % document))
            self.assertEqual(0, code, lines)
            self.assertEqual("CLSIDFromProgID -> 0x00000000", lines[0], lines)
            for call in ("CoCreateInstance", "OpenFile", "GetValues", "SetValues", "Save"):
                self.assertIn(call + " -> 0x00000000", lines)
            self.assertIn("Mass/*kg: found=1 r8 12.5", lines)
            code, lines = self.wine(os.path.join(home, "tvd.exe"), "get", document, "Mass", "Weight kg")
            self.assertEqual((0, ["12.5"]), (code, lines))
            self.check_preview(home, document)
        finally:
            self.assertEqual(0, self.wine("regsvr32", "/s", "/u", dll)[0])
        self.assertEqual(before, self.classes_root("after.reg"))

    def install_steps(self, home, verb):
        """The `reg VERB` commands of the unpacked INSTALL.txt, as a user types
        them at a prompt in that folder."""
        with open(os.path.join(home, "INSTALL.txt"), encoding="utf-8") as f:
            lines = [line.strip() for line in f]
        steps = [shlex.split(line.replace("%CD%", windows_path(home)))
                 for line in lines if line.startswith("reg %s " % verb)]
        self.assertTrue(steps, "INSTALL.txt has no 'reg %s'" % verb)
        return steps

    def check_preview(self, home, document):
        # The host's installation entry names the unpacked sample folder,
        # whose KivRes.dll holds the document-type icon: the try-out's steps
        # exactly as INSTALL.txt gives them, registry view included.
        for step in self.install_steps(home, "add"):
            self.assertEqual(0, self.wine(*step)[0], step)
        try:
            png = os.path.join(self.dir, "preview.png")
            code, lines = self.wine(os.path.join(home, "tvdhost.exe"), "preview", document,
                                    "--size", "320x200", "--caption", "Tavorin Virtual Document",
                                    "--png", windows_path(png))
            self.assertEqual(0, code, lines)
        finally:
            for step in self.install_steps(home, "delete"):
                self.assertEqual(0, self.wine(*step)[0], step)
            self.assertNotEqual(0, self.wine("reg", "query", HOST_KEY, "/v", "Location")[0])
            self.wine("reg", "delete", HOST_KEY, "/f")
        width, height, rows = read_png(png)
        self.assertEqual((320, 200), (width, height))
        white = (255, 255, 255)
        self.assertEqual(white, rows[0][0])
        self.assertEqual(white, rows[height - 1][width - 1])
        # The icon sits in the middle of the block above the two text lines.
        drawn = [y for y in range(height) if any(p != white for p in rows[y])]
        self.assertTrue(drawn, "the preview is blank")
        middle = (drawn[0] + drawn[-1]) // 2
        self.assertLess(abs(middle - height // 2), 4, (drawn[0], drawn[-1]))
        self.assertTrue(any(p != white and len(set(p)) > 1 for row in rows for p in row),
                        "the icon's colours are missing")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--cpack", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--arch", required=True, choices=["win32", "win64"])
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v", *rest])
