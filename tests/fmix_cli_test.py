"""The pack commands of fmix, run as a user runs them.
usage: fmix_cli_test.py FMIX [WINE_RUNNER]"""
import os
import pty
import re
import subprocess
import sys

from fmix_harness import KEY1, KEY2, Fmix, expect, pack, raw_controls, read, run_cases, sharing, stub, write

SIZES = [0, 1, 61439, 61440, 61441, 3 * 1024 * 1024 + 7]


def files_in(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder) for d, _, fs in os.walk(folder) for f in fs)


def round_trip_in_every_mode(fmix, work):
    args, plain = [fmix.path(work + "/p.pack")], {}
    for mode in (0, 1, 2):
        args += ["--scramble=%d" % mode] if mode < 2 else ["--scramble", "2"]  # both spellings
        for size in SIZES:
            name = "m%d_%d.bin" % (mode, size)
            plain[name] = os.urandom(size)
            write(work + "/" + name, plain[name])
            args.append(fmix.path(work + "/" + name))
    fmix.ok("create", *args)
    data = read(work + "/p.pack")
    expect(data[:5] == b"fMix\x01" and int.from_bytes(data[5:7], "little") == len(plain), "header")
    expect(int.from_bytes(data[7:11], "little") == len(data), "TotalSize is not the pack's size")
    offset = 11 + 265 * len(plain)
    for name, size, at, mode in fmix.listing(work + "/p.pack"):
        expect((size, at, mode) == (len(plain[name]), offset, int(name[1])), "listing of " + name)
        key = bytes(a ^ b for a, b in zip(data[at:at + 16], plain[name]))
        expect(key == {0: bytes(16), 1: (KEY1 * 3)[:16], 2: KEY2}[mode][:len(key)], "key stream of " + name)
        offset += size
    expect(offset == len(data), "data not back to back")
    fmix.ok("extract", fmix.path(work + "/p.pack"), fmix.path(work + "/out"))
    expect(files_in(work + "/out") == sorted(plain), "extracted files")
    for name in plain:
        expect(read(work + "/out/" + name) == plain[name], name + " differs after extract")
    # By name, with the reader's lookup: ASCII letters in either case.
    fmix.ok("extract", fmix.path(work + "/p.pack"), fmix.path(work + "/one"), "M2_61441.BIN")
    expect(files_in(work + "/one") == ["m2_61441.bin"], "extract by name")


def usage_errors_exit_2(fmix, work):
    """One line that names the word refused and points at the command's help."""
    write(work + "/a", b"a")
    for args, says in ((["create"], "missing OUT.pack"), (["create", "p"], "missing FILE"),
                       (["create", "p", "--scramble=3", "a"], "--scramble 3: give 0, 1 or 2"),
                       (["list", "a", "b"], "unexpected argument b"), (["extract", "a"], "missing PACK_OR_EXE DIR"),
                       (["append", "a", "b"], "missing STUB.exe"), (["zip", "--solid=1", "o", "d"], "--solid takes no"),
                       (["verify", "--codepage"], "--codepage needs a value"),
                       (["setup", "-o", "x.exe", "--payload", "p", "--icn", "a.ico"], "unknown option --icn"),
                       (["setup", "-o", "x.exe", "-o", "y.exe"], "-o given twice"),
                       (["setup", "--payload", "p", "--run", "a.exe"], "missing -o OUT.exe")):
        fmix.fails(2, *args, says=says)
        _, _, err = fmix.run(*args)
        expect(err.strip().endswith("(see fmix help %s)" % args[0]), "no pointer to the help: %r" % err)
    fmix.fails(1, "setup", "-o", fmix.path(work + "/x.exe"), "--payload", "nothere", "--run", "a.exe",
               says="payload folder nothere does not exist")
    code, out, _ = fmix.run("help", "create")
    expect(code == 0 and "create [--codepage N] OUT.pack" in out, "help create: %r" % out)
    expect(files_in(work) == ["a"], "a usage error left files")


def refusals_leave_no_output(fmix, work):
    write(work + "/a.txt", b"a")
    write(work + "/old.pack", b"old")
    os.mkdir(work + "/folder")
    refused = [([work + "/missing"], "missing"), ([work + "/folder"], "folder"),
               ([work + "/con.txt"], "con.txt")]
    write(work + "/con.txt", b"device")
    for size in (0x7FFFE001,):  # sparse files: nothing is read before the refusal
        with open(work + "/huge", "wb") as f:
            f.truncate(size)
    refused.append(([work + "/huge"], "huge"))
    for i in range(3):
        with open(work + "/big%d" % i, "wb") as f:
            f.truncate(0x7FFFE000)
    refused.append(([work + "/big0", work + "/big1", work + "/big2"], "big2"))
    if not fmix.runner:  # names that only POSIX file names can hold
        for name in ("back\\slash", "dri:ve"):
            write(work + "/" + name, b"x")
            refused.append(([work + "/" + name], name))
        write(work + "/line\nbreak", b"x")  # spelled out: the refusal stays one line
        refused.append(([work + "/line\nbreak"], "line\\nbreak"))
    for inputs, culprit in refused:
        fmix.fails(1, "create", fmix.path(work + "/old.pack"), fmix.path(work + "/a.txt"),
                   *map(fmix.path, inputs), says=culprit)
        expect(read(work + "/old.pack") == b"old", "a refused create touched the output")
    expect(not [f for f in files_in(work) if "tmp" in f], "a temporary file stayed")
    fmix.fails(1, "create", fmix.path(work + "/nowhere/out.pack"), fmix.path(work + "/a.txt"),
               says="cannot create the output file: " + ("" if fmix.runner else "No such file or directory"))


def extract_refuses_unsafe_entries(fmix, work):
    for name in (b"../evil", b"/abs", b"C:x", b"sub\\a", b"sub/a", b"con", b"a\x01b"):
        write(work + "/p.pack", pack([(b"ok.txt", b"ok", 0), (name, b"evil", 0)]))
        fmix.fails(1, "extract", fmix.path(work + "/p.pack"), fmix.path(work + "/out/in"), says="refusing")
        expect(not os.path.exists(work + "/out"), "something was written for %r" % name)
        expect(files_in(work) == ["p.pack"], "written outside the folder for %r" % name)
    # Named extraction checks only the entries named.
    fmix.ok("extract", fmix.path(work + "/p.pack"), fmix.path(work + "/out"), "OK.TXT")
    expect(read(work + "/out/ok.txt") == b"ok", "named extraction")
    fmix.fails(1, "extract", fmix.path(work + "/p.pack"), fmix.path(work + "/out"), "nope", says="nope")


def extract_refuses_damaged_packs(fmix, work):
    good = pack([(b"a", b"data", 0), (b"b", b"more", 1)])
    cases = {"past.pack": good[:-1], "cut.pack": good[:11 + 265 + 10], "head.pack": good[:9]}
    for name, data in cases.items():
        write(work + "/" + name, data)
        fmix.fails(1, "extract", fmix.path(work + "/" + name), fmix.path(work + "/out"), says=name)
        expect(not os.path.exists(work + "/out/a"), "wrote from " + name)
    # Two entries of one name: both written in order, the later one stays.
    write(work + "/twice.pack", pack([(b"same", b"one", 0), (b"same", b"two", 0)]))
    fmix.ok("extract", fmix.path(work + "/twice.pack"), fmix.path(work + "/out"))
    expect(read(work + "/out/same") == b"two", "the later of two entries must win")


def hostile_packs(fmix, work):
    """A pack from anyone: its names reach the terminal spelled out, records
    that share data are refused unless asked for, and links planted in DIR
    are replaced, never followed."""
    write(work + "/esc.pack", pack([(b"a\x1b]0;x\x07\x1b[2Kb\rc\x85", b"x", 0)]))
    code, out, err = fmix.run("list", fmix.path(work + "/esc.pack"))
    expect(code == 0 and out.startswith("a\\x1B]0;x\\x07\\x1B[2Kb\\rc"), "list: %r" % out)
    code, out, err = fmix.run("extract", fmix.path(work + "/esc.pack"), fmix.path(work + "/esc"))
    expect(code == 1 and "refusing" in err and not raw_controls(out + err), "extract: %r" % err)
    shared = os.urandom(4096)
    bomb = pack([(b"f%03d" % i, shared if i == 0 else b"", 0) for i in range(100)])
    write(work + "/bomb.pack", sharing(bomb, 0, range(1, 100)))
    fmix.fails(1, "extract", fmix.path(work + "/bomb.pack"), fmix.path(work + "/bomb"), says="share data")
    expect(not os.path.exists(work + "/bomb"), "a refused extract wrote files")
    fmix.ok("extract", "--allow-overlap", fmix.path(work + "/bomb.pack"), fmix.path(work + "/bomb"), "f000", "F099")
    expect(read(work + "/bomb/f099") == shared, "--allow-overlap")
    if fmix.runner:
        return  # links are made on the host's side
    os.makedirs(work + "/dest")
    os.mkdir(work + "/outside")
    write(work + "/outside/kept", b"kept")
    for name, points_to in (("f000", "/outside/new"), ("f001", "/outside/kept"), ("f002", "/outside")):
        os.symlink(work + points_to, work + "/dest/" + name)
    fmix.ok("extract", "--allow-overlap", fmix.path(work + "/bomb.pack"), fmix.path(work + "/dest"), "f000", "f001", "f002")
    expect(os.listdir(work + "/outside") == ["kept"] and read(work + "/outside/kept") == b"kept",
           "written outside DIR: %s" % os.listdir(work + "/outside"))
    expect(all(not os.path.islink(work + "/dest/" + n) and read(work + "/dest/" + n) == shared
               for n in ("f000", "f001", "f002")), "the links in DIR were not replaced by the entries")


def append_puts_the_pack_right_after_the_stub(fmix, work):
    write(work + "/stub.exe", stub())
    data = pack([(b"CONFIG.TXT", b"app\\setup.exe", 0), (b"../raw", b"names are not checked", 0)])
    write(work + "/p.pack", data)
    fmix.ok("append", *map(fmix.path, (work + "/stub.exe", work + "/p.pack", work + "/setup.exe")))
    expect(read(work + "/setup.exe") == stub() + data, "not the stub followed by the pack")
    expect([e[0] for e in fmix.listing(work + "/setup.exe")] == ["CONFIG.TXT", "../raw"], "list of the exe")
    write(work + "/tail.exe", stub() + b"\0" * 7)
    write(work + "/cut.pack", data[:300])
    for args, culprit in (([work + "/tail.exe", work + "/p.pack"], "7 bytes"), ([work + "/p.pack", work + "/p.pack"], "p.pack"),
                          ([work + "/stub.exe", work + "/cut.pack"], "cut.pack"),
                          ([work + "/stub.exe", work + "/stub.exe"], "stub.exe")):
        fmix.fails(1, "append", *map(fmix.path, args + [work + "/out.exe"]), says=culprit)
        expect(not os.path.exists(work + "/out.exe"), "a refused append left its output")


def names_in_the_target_code_page(fmix, work):
    """Entry names are written in the target's code page, 1252 unless
    --codepage=N names another, and read back in it."""
    write(work + "/Ärger.txt", b"1252")
    fmix.ok("create", fmix.path(work + "/w.pack"), fmix.path(work + "/Ärger.txt"))
    expect(read(work + "/w.pack")[11:21] == b"\xc4rger.txt\0", "the name is not in code page 1252")
    expect(fmix.listing(work + "/w.pack")[0][0] == "Ärger.txt", "list in code page 1252")
    fmix.ok("extract", fmix.path(work + "/w.pack"), fmix.path(work + "/w"))
    expect(read(work + "/w/Ärger.txt") == b"1252", "extract in code page 1252")
    fmix.fails(2, "list", "--codepage=99999", fmix.path(work + "/w.pack"), says="code page 99999")
    if fmix.runner:
        return  # kanji on the command line need a Japanese host code page
    write(work + "/表示.txt", b"932")
    fmix.fails(1, "create", work + "/j.pack", work + "/表示.txt", says="code page 1252")
    fmix.ok("create", "--codepage=932", work + "/j.pack", work + "/表示.txt")
    expect(read(work + "/j.pack")[11:20] == "表示.txt".encode("cp932") + b"\0", "the name is not in code page 932")
    expect(fmix.ok("list", "--codepage=932", work + "/j.pack").startswith("表示.txt\t3\t"), "list in code page 932")
    # Read as 1252, the trail byte 0x5C of 表 is a backslash.
    fmix.fails(1, "extract", work + "/j.pack", work + "/j", says="folder")
    fmix.ok("extract", work + "/j.pack", work + "/j", "--codepage=932")
    expect(files_in(work + "/j") == ["表示.txt"], "extract in code page 932")


def on_a_terminal(fmix, *args):
    """What fmix writes to stderr when that is a terminal."""
    master, slave = pty.openpty()
    proc = subprocess.Popen([fmix.binary, *args], stdout=subprocess.DEVNULL, stderr=slave)
    os.close(slave)
    seen = b""
    while True:
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the terminal is gone with the last writer
            break
        if not chunk:
            break
        seen += chunk
    os.close(master)
    expect(proc.wait() == 0, "fmix %s failed: %r" % (args[0], seen))
    return seen.decode()


def version_help_and_progress(fmix, work):
    code, out, _ = fmix.run("--version")
    expect(code == 0 and re.fullmatch(r"fmix \d+\.\d+\.\d+\s*", out), "--version: %r" % out)
    code, out, _ = fmix.run("setup", "--help")
    expect(code == 0 and "--stub" in out and "--quiet" in out and "verify SETUP.exe" not in out,
           "setup --help is not setup's help: %r" % out)
    if fmix.runner:
        return
    # Each file is read twice: 48 MB of random bytes take long enough (over
    # half a second) for a progress line.
    os.mkdir(work + "/p")
    write(work + "/p/data.bin", os.urandom(48 << 20))
    seen = on_a_terminal(fmix, "zip", work + "/a.yz1", work + "/p")
    expect(seen.startswith("\rfmix zip: zipping") and seen.endswith("100% of 48 MB\r\n"),
           "progress on a terminal: %r" % seen[-200:])
    expect(on_a_terminal(fmix, "zip", work + "/b.yz1", work + "/p", "--quiet") == "", "--quiet printed")
    code, _, err = fmix.run("zip", work + "/c.yz1", work + "/p")
    expect(code == 0 and err == "", "progress where stderr is no terminal: %r" % err[-200:])


if __name__ == "__main__":
    run_cases([round_trip_in_every_mode, usage_errors_exit_2, refusals_leave_no_output,
               extract_refuses_unsafe_entries, extract_refuses_damaged_packs, hostile_packs, names_in_the_target_code_page,
               append_puts_the_pack_right_after_the_stub, version_help_and_progress],
              Fmix(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None))
