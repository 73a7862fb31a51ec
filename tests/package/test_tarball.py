"""The native package: CPack's .tar.gz holds tvd, stripped, its help page,
man page and bash completion and the C library it needs, and the unpacked
tvd runs."""
import os
import re
import subprocess
import sys
import tarfile
import tempfile

cpack, build_dir, version = sys.argv[1:4]
with tempfile.TemporaryDirectory(prefix="vellisto-tarball-") as out:
    subprocess.run([cpack, "--config", os.path.join(build_dir, "CPackConfig.cmake"), "-B", out],
                   check=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    name = "Vellisto-%s-linux" % version
    with tarfile.open(os.path.join(out, name + ".tar.gz")) as archive:
        files = sorted(m.name for m in archive.getmembers() if m.isfile())
        expected = [name + "/bin/tvd", name + "/share/bash-completion/completions/tvd",
                    name + "/share/doc/vellisto/REQUIREMENTS.txt",
                    name + "/share/doc/vellisto/tvd.txt", name + "/share/man/man1/tvd.1"]
        if files != expected:
            sys.exit("package holds %s, not %s" % (files, expected))
        archive.extractall(out)
    page = open(os.path.join(out, name, "share/doc/vellisto/tvd.txt")).read()
    for command in ("dump", "import", "get", "set", "convert", "new", "check"):
        if "---- tvd %s\n" % command not in page:
            sys.exit("the help page lacks tvd %s" % command)
    tvd = os.path.join(out, name, "bin/tvd")
    sections = subprocess.run(["objdump", "-h", tvd], check=True, capture_output=True, text=True).stdout
    if ".debug_info" in sections or ".symtab" in subprocess.run(
            ["readelf", "-S", tvd], check=True, capture_output=True, text=True).stdout:
        sys.exit("the packaged tvd is not stripped")
    # The version named is the newest the binary asks for.
    needed = re.findall(r"GLIBC_([0-9.]+)", subprocess.run(
        ["objdump", "-T", tvd], check=True, capture_output=True, text=True).stdout)
    newest = max(needed, key=lambda v: tuple(int(n) for n in v.split(".")))
    requirements = open(os.path.join(out, name, "share/doc/vellisto/REQUIREMENTS.txt")).read()
    if "glibc %s or newer" % newest not in requirements:
        sys.exit("REQUIREMENTS.txt does not name glibc %s: %s" % (newest, requirements))
    result = subprocess.run([tvd, "new", os.path.join(out, "x.tvd")])
    if result.returncode != 0 or os.path.getsize(os.path.join(out, "x.tvd")) != 38:
        sys.exit("the packaged tvd does not run")
print("ok:", name + ".tar.gz")
