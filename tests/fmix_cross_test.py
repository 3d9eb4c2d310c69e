"""Packs travel between the builds: the native fmix and the Windows fmix.exe
(under Wine) write the same bytes for the same files in every scrambling
mode, and each reads what the other wrote, also appended to an executable.
usage: fmix_cross_test.py NATIVE_FMIX WINDOWS_FMIX WINE_RUNNER"""
import os
import sys

from fmix_harness import Fmix, expect, read, run_cases, stub, write

SIZES = [0, 1, 61441, 200000]


def inputs(fmix, work):
    """create's arguments for one file of each size in each mode; the plain bytes by name."""
    args, plain = [], {}
    for mode in (0, 1, 2):
        args.append("--scramble=%d" % mode)
        for size in SIZES:
            name = "m%d_%d.bin" % (mode, size)
            plain[name] = bytes((i * 7 + mode) & 0xFF for i in range(size))
            write(os.path.join(work, name), plain[name])
            args.append(fmix.path(os.path.join(work, name)))
    # Both builds write a name beyond ASCII in the target's code page (1252),
    # whatever the host's encoding.
    plain["Ärger.bin"] = b"1252"
    write(os.path.join(work, "Ärger.bin"), plain["Ärger.bin"])
    return args + [fmix.path(os.path.join(work, "Ärger.bin"))], plain


def each_reads_the_other(tools, work):
    native, windows = tools
    packs = {}
    for name, fmix in (("native", native), ("windows", windows)):
        args, plain = inputs(fmix, work)
        fmix.ok("create", fmix.path(os.path.join(work, name + ".pack")), *args)
        packs[name] = read(os.path.join(work, name + ".pack"))
    expect(packs["native"] == packs["windows"], "the two builds wrote different packs")
    write(os.path.join(work, "stub.exe"), stub())
    native.ok("append", *(os.path.join(work, f) for f in ("stub.exe", "native.pack", "native.exe")))
    expected = native.listing(os.path.join(work, "native.pack"))
    for source, reader in (("native.pack", windows), ("windows.pack", native), ("native.exe", windows)):
        out = os.path.join(work, "out_" + source)
        expect(reader.listing(os.path.join(work, source)) == expected, "list of " + source)
        reader.ok("extract", reader.path(os.path.join(work, source)), reader.path(out))
        for name, data in plain.items():
            expect(read(os.path.join(out, name)) == data, "%s of %s differs" % (name, source))

if __name__ == "__main__":
    if not os.path.exists(sys.argv[1]):
        print("SKIP: no native fmix at %s (build the native tree first)" % sys.argv[1])
        sys.exit(0)
    run_cases([each_reads_the_other], (Fmix(sys.argv[1]), Fmix(sys.argv[2], sys.argv[3])))
