#!/usr/bin/env python3
"""Checks what we ship for Windows without running it, so that a build whose
programs this machine cannot run (32-bit code on some hypervisors) is still
checked:

  check-windows-binaries.py --arch win32|win64 [--version X.Y.Z] [--server Vellisto.dll] PROGRAM...

Every binary: built for ARCH, imports only DLLs that Windows ships (the
compiler's runtime and libwinpthread are linked in statically), and carries
a version resource naming its file (of VERSION, when given). The server
also: exports the four plain names, carries registration scripts 102-104 in
language 1053, the type library as TYPELIB 1 (for ARCH's SYSKIND) and a
version resource that announces "OLESelfRegister"."""

import argparse
import os
import struct
import sys

SYSTEM_DLLS = {"advapi32", "comctl32", "comdlg32", "gdi32", "kernel32", "msvcrt", "msvfw32",
               "ole32", "oleaut32", "rpcrt4", "shell32", "shlwapi", "user32", "version"}
MACHINES = {0x14C: "win32", 0x8664: "win64"}
SYSKINDS = {"win32": 1, "win64": 3}
SERVER_EXPORTS = ["DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                  "DllUnregisterServer"]
RT_VERSION = 16
LANG_SWEDISH = 1053


class Image:
    """The parts of a PE file these checks read: headers, sections, the
    import, export and resource directories."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        self.machine, sections, _, _, _, optional_size = struct.unpack_from("<HHIIIH", self.data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", self.data, optional)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.directories = [struct.unpack_from("<II", self.data, directories + 8 * i) for i in range(16)]
        self.sections = []
        for i in range(sections):
            at = optional + optional_size + 40 * i
            size, address, raw_size, raw = struct.unpack_from("<IIII", self.data, at + 8)
            self.sections.append((address, max(size, raw_size), raw))

    def offset(self, rva):
        for address, size, raw in self.sections:
            if address <= rva < address + size:
                return raw + rva - address
        raise ValueError("address 0x%x is in no section" % rva)

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def string(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def imports(self):
        rva = self.directories[1][0]
        names = []
        while rva and self.u32(rva + 12):
            names.append(self.string(self.u32(rva + 12)))
            rva += 20
        return names

    def exports(self):
        rva = self.directories[0][0]
        if not rva:
            return []
        count, _, names = struct.unpack_from("<III", self.data, self.offset(rva + 24))
        return [self.string(self.u32(names + 4 * i)) for i in range(count)]

    def resources(self):
        """{(type, name, language): bytes}; names and types are numbers or
        upper-case strings."""
        base = self.directories[2][0]
        found = {}

        def entries(rva):
            at = self.offset(rva)
            named, numbered = struct.unpack_from("<HH", self.data, at + 12)
            for i in range(named + numbered):
                key, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
                if key & 0x80000000:
                    name_at = self.offset(base + (key & 0x7FFFFFFF))
                    length = struct.unpack_from("<H", self.data, name_at)[0]
                    key = self.data[name_at + 2:name_at + 2 + 2 * length].decode("utf-16-le")
                yield key, target

        if not base:
            return found
        for kind, types in entries(base):
            for name, names in entries(base + (types & 0x7FFFFFFF)):
                for language, leaf in entries(base + (names & 0x7FFFFFFF)):
                    data_rva, size = struct.unpack_from("<II", self.data, self.offset(base + leaf))
                    at = self.offset(data_rva)
                    found[(kind, name, language)] = self.data[at:at + size]
        return found


def fixed_version(data):
    """The file version (a.b.c.d) of a version resource's fixed part."""
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return None
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def check(path, arch, server, version=None):
    problems = []
    image = Image(path)
    built_for = MACHINES.get(image.machine, "machine 0x%x" % image.machine)
    if built_for != arch:
        problems.append("is built for %s, not %s" % (built_for, arch))
    for dll in image.imports():
        if dll.lower().rsplit(".", 1)[0] not in SYSTEM_DLLS:
            problems.append("needs %s, which Windows does not ship" % dll)
    versions = [data for (kind, _, _), data in image.resources().items() if kind == RT_VERSION]
    name = os.path.basename(path)
    if not any("VS_VERSION_INFO".encode("utf-16-le") in v for v in versions):
        problems.append("has no version resource")
    elif not any(("OriginalFilename\0" + name).encode("utf-16-le") in v for v in versions):
        problems.append("has a version resource that does not name %s" % name)
    elif version and not any(fixed_version(v) == version for v in versions):
        problems.append("has a version resource of another version than %s" % version)
    if not server:
        return problems
    if sorted(image.exports()) != SERVER_EXPORTS:
        problems.append("exports %s, not %s" % (sorted(image.exports()), SERVER_EXPORTS))
    resources = image.resources()
    for name in (102, 103, 104):
        if ("REGISTRY", name, LANG_SWEDISH) not in resources:
            problems.append("has no REGISTRY %d in language %d" % (name, LANG_SWEDISH))
    typelibs = [data for (kind, name, _), data in resources.items() if (kind, name) == ("TYPELIB", 1)]
    if not typelibs or not typelibs[0].startswith(b"MSFT"):
        problems.append("has no type library as TYPELIB 1")
    elif struct.unpack_from("<I", typelibs[0], 20)[0] & 0xF != SYSKINDS[arch]:
        problems.append("has a type library for another platform than %s" % arch)
    versions = [data for (kind, _, _), data in resources.items() if kind == RT_VERSION]
    if not any("OLESelfRegister".encode("utf-16-le") in data for data in versions):
        problems.append('has no version resource announcing "OLESelfRegister"')
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--arch", required=True, choices=sorted(SYSKINDS))
    parser.add_argument("--server", help="the COM server DLL, checked further")
    parser.add_argument("--version", help="the version (a.b.c) every binary's resource carries")
    parser.add_argument("programs", nargs="*")
    args = parser.parse_args()
    failed = False
    binaries = [(p, False) for p in args.programs] + ([(args.server, True)] if args.server else [])
    for path, server in binaries:
        try:
            problems = check(path, args.arch, server,
                             args.version + ".0" if args.version else None)
        except (OSError, ValueError, struct.error) as error:
            problems = ["cannot be read as a Windows binary: %s" % error]
        for problem in problems:
            print("%s %s" % (path, problem))
        failed = failed or bool(problems)
    if not failed:
        print("%s binaries, system DLLs only%s: %s" % (
            args.arch, ", the server's exports and resources in place" if args.server else "",
            " ".join(p for p, _ in binaries)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
