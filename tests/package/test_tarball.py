"""The native package: CPack's .tar.gz holds tvd and its help page, and the
unpacked tvd runs."""
import os
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
        expected = [name + "/bin/tvd", name + "/share/doc/vellisto/tvd.txt"]
        if files != expected:
            sys.exit("package holds %s, not %s" % (files, expected))
        archive.extractall(out)
    page = open(os.path.join(out, name, "share/doc/vellisto/tvd.txt")).read()
    for command in ("dump", "import", "get", "set", "convert", "new", "check"):
        if "---- tvd %s\n" % command not in page:
            sys.exit("the help page lacks tvd %s" % command)
    result = subprocess.run([os.path.join(out, name, "bin/tvd"), "new", os.path.join(out, "x.tvd")])
    if result.returncode != 0 or os.path.getsize(os.path.join(out, "x.tvd")) != 38:
        sys.exit("the packaged tvd does not run")
print("ok:", name + ".tar.gz")
