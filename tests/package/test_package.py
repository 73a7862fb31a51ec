"""The Windows package end to end: CPack's zip unpacked into a folder whose
path holds a blank and a single quote, the DLL registered from there with
regsvr32, driven through its ProgID by the packaged tvdhost, checked with
the packaged tvd, and unregistered, leaving the classes root as it was."""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

ARGS = None


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


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
        name = "Vellisto-%s-win32" % ARGS.version
        archive = zipfile.ZipFile(os.path.join(out, name + ".zip"))
        self.assertEqual(sorted([name + "/INSTALL.txt", name + "/Vellisto.dll", name + "/tvd.exe",
                                 name + "/tvdhost.exe", name + "/sample/KivRes.dll",
                                 name + "/sample/sample.tvd"]),
                         sorted(n for n in archive.namelist() if not n.endswith("/")))
        folder = os.path.join(self.dir, "Bob's programs")
        archive.extractall(folder)
        home = os.path.join(folder, name)
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
        finally:
            self.assertEqual(0, self.wine("regsvr32", "/s", "/u", dll)[0])
        self.assertEqual(before, self.classes_root("after.reg"))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--cpack", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--version", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v", *rest])
