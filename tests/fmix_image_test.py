"""fmix and the locator on real PE images that nobody here wrote: Wine's own
32-bit executables and mingw-built ones. The end of the last section is
found here from the complete headers (and checked against objdump); these
images carry a symbol or string table after it, which fmix append refuses
and which the launcher would copy in front of a pack appended as they are.
usage: fmix_image_test.py FMIX [WINE_RUNNER]"""
import os
import random
import shutil
import subprocess
import sys

from fmix_harness import Fmix, expect, last_section, pack, read, run_cases, write

WINE_DIR = "/usr/lib/i386-linux-gnu/wine/i386-windows/"
PLUGIN = random.Random(70000).randbytes(70000)
PACK = pack([(b"CONFIG.TXT", b"app\\setup.exe", 0), (b"YZ1.DLL", PLUGIN, 0)])


def objdump_last_offset(path):
    """File offset of the last section as objdump lists it; None without objdump."""
    objdump = shutil.which("i686-w64-mingw32-objdump")
    if not objdump:
        return None
    rows = [line.split() for line in subprocess.run([objdump, "-h", path], capture_output=True,
                                                      text=True, check=True).stdout.splitlines()]
    rows = [r for r in rows if len(r) >= 7 and r[0].isdigit()]
    return int(rows[-1][5], 16)


def hex_start(data):
    return " ".join("%02X" % b for b in data[:8])


def check_image(fmix, work, source, has_tail):
    image = read(source)
    pointer, size = last_section(image)
    end = pointer + size
    expect(objdump_last_offset(source) in (None, pointer), "objdump disagrees on the last section")
    expect((len(image) > end) == has_tail, "expected %s after the last section" % ("data" if has_tail else "nothing"))
    f = lambda name: fmix.path(os.path.join(work, name))
    write(os.path.join(work, "p.pack"), PACK)
    if len(image) > end:
        write(os.path.join(work, "whole.exe"), image)
        fmix.fails(1, "append", f("whole.exe"), f("p.pack"), f("out.exe"), says="%d bytes" % (len(image) - end))
        write(os.path.join(work, "whole+pack.exe"), image + PACK)
        fmix.fails(1, "list", f("whole+pack.exe"), says="begins " + hex_start(image[end:]))
    cut = image[:end]
    write(os.path.join(work, "cut.exe"), cut)
    fmix.fails(1, "list", f("cut.exe"), says="neither a pack nor")
    fmix.ok("append", f("cut.exe"), f("p.pack"), f("setup.exe"))
    expect(read(os.path.join(work, "setup.exe")) == cut + PACK, "append is not the cut image and the pack")
    expect([e[0] for e in fmix.listing(os.path.join(work, "setup.exe"))] == ["CONFIG.TXT", "YZ1.DLL"], "list")
    fmix.ok("extract", f("setup.exe"), f("out"))
    expect(read(os.path.join(work, "out", "YZ1.DLL")) == PLUGIN, "extract from the image")
    write(os.path.join(work, "gap.exe"), cut + b"xyz" + PACK)
    fmix.fails(1, "list", f("gap.exe"), says="begins 78 79 7A 66 4D 69 78")
    write(os.path.join(work, "lower.exe"), b"m" + cut[1:] + PACK)
    expect(len(fmix.listing(os.path.join(work, "lower.exe"))) == 2, "an image beginning with m")


def mingw_images(work):
    """A small program built with mingw, with its symbols and stripped:
    (path, whether data follows its last section)."""
    gcc = shutil.which("i686-w64-mingw32-gcc")
    if not gcc:
        print("SKIP mingw images: no i686-w64-mingw32-gcc")
        return []
    write(os.path.join(work, "hello.c"), b'#include <stdio.h>\nint main(void) { puts("hello"); return 0; }\n')
    for name, flags in (("hello.exe", []), ("hello-s.exe", ["-s"])):
        subprocess.run([gcc, "-O2", *flags, "-o", os.path.join(work, name), os.path.join(work, "hello.c")], check=True)
    return [(os.path.join(work, "hello.exe"), True), (os.path.join(work, "hello-s.exe"), False)]


def case_for(source, has_tail):
    def case(fmix, work):
        check_image(fmix, work, source, has_tail)
    case.__name__ = os.path.basename(source)
    return case


if __name__ == "__main__":
    build = os.path.join(os.environ.get("TMPDIR", "/tmp"), "fmix_image_test_%d" % os.getpid())
    os.makedirs(build)
    try:
        images = [(WINE_DIR + name, True) for name in ("notepad.exe", "winver.exe", "hostname.exe")]
        images += mingw_images(build)
        expect(all(os.path.exists(i) for i, _ in images), "missing images: %s" % images)
        run_cases([case_for(*i) for i in images], Fmix(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None))
    finally:
        shutil.rmtree(build)
