#!/usr/bin/env python3
"""The publisher's kit: the shipped stub and plug-in (their sizes, flags, and
that the Windows tests run them), the Debian package and Windows zip
(contents, version, and the same bytes from two runs of CPack), and its CMake
package used by a project cross-built with mingw.

usage: kit_test.py SHIP_BIN TEST_BIN KIT_DIR KIT_WIN32_DIR WINE_BASE"""
import glob
import io
import os
import re
import struct
import subprocess
import sys
import tarfile
import time
import zipfile

from fmix_harness import expect, read, run_cases

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "e2e"))
from wine_session import WineSession, windows_path  # noqa: E402

CMAKE_FOLDER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cmake")
CEILINGS_FILE = os.path.join(CMAKE_FOLDER, "shipped_ceilings.txt")
DYNAMIC_BASE, NX_COMPAT = 0x40, 0x100


def ceilings():
    """The ceilings the shipped parts must stay under; sizes are deterministic."""
    with open(CEILINGS_FILE) as f:
        return {name: int(size) for name, size in (line.split() for line in f if line.strip()
                                                   and not line.startswith("#"))}


class Kit:
    def __init__(self, ship_bin, test_bin, kit_dir, kit_win32_dir, wine_base):
        self.ship_bin, self.test_bin, self.kit_dir, self.kit_win32_dir = ship_bin, test_bin, kit_dir, kit_win32_dir
        self.wine_base = wine_base

    def shipped(self, name):
        return read(os.path.join(self.ship_bin, name))


def dll_characteristics(image):
    pe = struct.unpack_from("<I", image, 60)[0]
    return struct.unpack_from("<H", image, pe + 24 + 70)[0]


def shipped_parts(kit, work):
    for name, ceiling in ceilings().items():
        image = kit.shipped(name)
        print("shipped %s: %d bytes (ceiling %d)" % (name, len(image), ceiling))
        expect(len(image) <= ceiling, "%s: %d bytes, over %d" % (name, len(image), ceiling))
        flags = dll_characteristics(image)
        expect(flags & DYNAMIC_BASE and flags & NX_COMPAT, "%s lacks DYNAMIC_BASE|NX_COMPAT (%#x)" % (name, flags))
        expect(read(os.path.join(kit.test_bin, name)) == image, "the Windows tests do not run the shipped " + name)


def cpack(tree, out):
    result = subprocess.run(["cpack", "--config", os.path.join(tree, "CPackConfig.cmake"), "-B", out],
                            capture_output=True, text=True)
    expect(result.returncode == 0, "cpack in %s: %s%s" % (tree, result.stdout, result.stderr))
    (package,) = [f for f in os.listdir(out) if os.path.isfile(os.path.join(out, f))]
    return os.path.join(out, package)


def packed_twice(tree, work):
    """The package of tree, built twice a second apart; both must be equal."""
    first = cpack(tree, os.path.join(work, "one"))
    time.sleep(1.1)
    second = cpack(tree, os.path.join(work, "two"))
    one, two = read(first), read(second)
    differ = next((i for i, (a, b) in enumerate(zip(one, two)) if a != b), min(len(one), len(two)))
    expect(os.path.basename(first) == os.path.basename(second) and one == two,
           "two runs of cpack in %s gave different packages (%d and %d bytes, first difference at %d)"
           % (tree, len(one), len(two), differ))
    return first


def fmix_version(kit):
    out = subprocess.run([os.path.join(kit.kit_dir, "bin", "fmix"), "--version"], capture_output=True, text=True)
    expect(re.fullmatch(r"fmix \d+\.\d+\.\d+\n", out.stdout), "fmix --version: %r" % out.stdout)
    return out.stdout.split()[1]


def debian_package(kit, work):
    deb = packed_twice(kit.kit_dir, work)
    version = fmix_version(kit)
    arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True).stdout.strip()
    expect(os.path.basename(deb) == "fmix_%s_%s.deb" % (version, arch), "package name " + deb)
    fields = subprocess.run(["dpkg-deb", "-f", deb, "Package", "Version", "Depends"],
                            capture_output=True, text=True).stdout
    expect("Package: fmix" in fields and "Version: " + version in fields and "libc6" in fields, fields)
    tar = tarfile.open(fileobj=io.BytesIO(subprocess.run(["dpkg-deb", "--fsys-tarfile", deb],
                                                         capture_output=True).stdout))
    files = {m.name: m for m in tar.getmembers() if m.isfile()}
    expect(sorted(files) == ["./usr/bin/fmix"] + ["./usr/lib/cmake/fmix/" + n for n in CMAKE_PACKAGE] +
           ["./usr/share/doc/fmix/README.md", "./usr/share/doc/fmix/changelog.gz",
                             "./usr/share/doc/fmix/copyright", "./usr/share/fmix/launcher.exe",
                             "./usr/share/fmix/yz1.dll", "./usr/share/man/man1/fmix.1.gz"],
           "the package holds %s" % sorted(files))
    lint = subprocess.run(["lintian", deb], capture_output=True, text=True)
    errors = [line for line in lint.stdout.splitlines() if line.startswith("E: ")]
    expect(lint.returncode == 0 and not errors, "lintian: %s%s" % (lint.stdout, lint.stderr))
    expect(files["./usr/bin/fmix"].mode & 0o111, "fmix is not executable")
    for name in ceilings():
        expect(tar.extractfile(files["./usr/share/fmix/" + name]).read() == kit.shipped(name),
               "the package's %s is not the shipped one" % name)
    epoch = int(os.environ["SOURCE_DATE_EPOCH"])
    expect({m.mtime for m in tar.getmembers()} == {epoch}, "file times other than SOURCE_DATE_EPOCH")


def windows_zip(kit, work):
    archive = packed_twice(kit.kit_win32_dir, work)
    version = fmix_version(kit)
    folder = "fmix-%s-win32/" % version
    expect(os.path.basename(archive) == folder[:-1] + ".zip", "zip name " + archive)
    with zipfile.ZipFile(archive) as z:
        names = sorted(n for n in z.namelist() if not n.endswith("/"))
        expect(names == [folder + n for n in ("README.md", "fmix.exe", "launcher.exe", "yz1.dll")],
               "the zip holds %s" % names)
        for name in ceilings():
            expect(z.read(folder + name) == kit.shipped(name), "the zip's %s is not the shipped one" % name)
        expect(z.read(folder + "fmix.exe")[:2] == b"MZ", "fmix.exe is no Windows program")


# A project as a publisher writes it: its program, cross-built, is the
# installer, which marks that it ran in its working folder (its own).
CMAKE_PACKAGE = ["fmixCPack.cmake", "fmixConfig.cmake", "fmixConfigVersion.cmake", "fmixSetupCommand.cmake"]
PROJECT = r"""cmake_minimum_required(VERSION 3.20)
project(hello VERSION 1.2.3 LANGUAGES C)
find_package(fmix 1.0 REQUIRED)
add_executable(hello WIN32 hello.c)
set_target_properties(hello PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/payload/app)
fmix_add_setup(hello_setup ALL OUTPUT hello_setup.exe PAYLOAD_DIR ${CMAKE_BINARY_DIR}/payload
               RUN "app\\hello.exe" DEPENDS hello FILE_VERSION 1.2.3.4 VERSION_STRINGS ProductName=Hello QUIET)
install(TARGETS hello DESTINATION app)
set(CPACK_GENERATOR External)
set(CPACK_EXTERNAL_PACKAGE_SCRIPT "${FMIX_CPACK_SCRIPT}")
set(CPACK_FMIX_RUN "app/hello.exe")
set(CPACK_PACKAGE_VENDOR "Example Ltd")
include(CPack)
"""
HELLO = r"""#include <stdio.h>
int main(void) { FILE* f = fopen("ran.txt", "w"); return f ? fclose(f) : 1; }
"""


def cmake_project(kit, work):
    """find_package(fmix) from the installed kit in a project cross-built with
    mingw: fmix_add_setup's setup is written with the build, again only when
    the payload changed; cpack -G External makes the install tree a setup
    named as CPack names packages, with the version information of its
    CPack variables, and that setup reaches the project's program under Wine."""
    prefix, source, build = (os.path.join(work, name) for name in ("prefix", "source", "build"))
    result = subprocess.run(["cmake", "--install", kit.kit_dir, "--prefix", prefix], capture_output=True, text=True)
    expect(result.returncode == 0, "cmake --install: " + result.stdout + result.stderr)
    os.makedirs(source)
    os.makedirs(build)
    for name, text in (("CMakeLists.txt", PROJECT), ("hello.c", HELLO)):
        with open(os.path.join(source, name), "w") as f:
            f.write(text)

    def run(*command):
        result = subprocess.run(command, cwd=build, capture_output=True, text=True)
        expect(result.returncode == 0, "%s: %s%s" % (" ".join(command), result.stdout, result.stderr))
        return result.stdout

    def verify(exe):
        out = run(os.path.join(prefix, "bin", "fmix"), "verify", exe)
        expect(out.splitlines()[-1].startswith("verdict: ok"), "fmix verify %s:\n%s" % (exe, out))
        return out

    run("cmake", "-G", "Ninja", "-S", source, "-B", build, "-DCMAKE_PREFIX_PATH=" + prefix,
        "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(CMAKE_FOLDER, "mingw-i686-win32.cmake"))
    run("cmake", "--build", build)
    setup = os.path.join(build, "hello_setup.exe")
    expect('version 1.2.3.4; ProductName "Hello"' in verify(setup), "fmix_add_setup's version information")
    written = os.stat(setup).st_mtime_ns
    run("cmake", "--build", build)
    expect(os.stat(setup).st_mtime_ns == written, "the setup was written again with nothing changed")
    with open(os.path.join(build, "payload", "app", "added.txt"), "w") as f:
        f.write("added\n")
    run("cmake", "--build", build)
    expect(os.stat(setup).st_mtime_ns != written and "ZIP archive of 2 entries" in verify(setup),
           "a file added to the payload did not reach the setup")

    run("cpack", "-G", "External")
    packaged = os.path.join(build, "hello-1.2.3-win32.exe")
    expect(os.path.exists(packaged), "cpack wrote %s" % os.listdir(build))
    expect('version 1.2.3.0; ProductName "hello"; CompanyName "Example Ltd"' in verify(packaged),
           "the CPack variables' version information")
    session = WineSession(os.path.join(os.path.dirname(kit.wine_base), "wineprefix-kit"), base=kit.wine_base)
    for folder in ("tmp", "cwd"):
        os.makedirs(os.path.join(work, folder))
    code, _ = session.run(windows_path(packaged), os.path.join(work, "cwd"), os.path.join(work, "tmp"), trace=False)
    ran = glob.glob(os.path.join(work, "tmp", "vlk*.tmp_dir", "app", "ran.txt"))
    expect(code == 0 and len(ran) == 1, "the setup did not reach the project's program (exit %d)" % code)


if __name__ == "__main__":
    kit = Kit(*sys.argv[1:6])
    if not os.path.exists(os.path.join(kit.kit_dir, "bin", "fmix")):
        print("SKIP: the kit is not built in " + kit.kit_dir)
        sys.exit(0)
    os.environ.setdefault("SOURCE_DATE_EPOCH", "1700000000")
    run_cases([shipped_parts, debian_package, windows_zip, cmake_project], kit)
