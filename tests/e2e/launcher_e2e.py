#!/usr/bin/env python3
"""End-to-end cases of the launcher: each builds a real setup executable in a
folder of its own, runs it under Wine and checks what it left on disk, in the
registry, in the sample installer's receipt and in the relay trace.

usage: launcher_e2e.py --bin WIN32_BIN --fmix FMIX --work DIR [--kit KIT_TREE] CASE"""

import argparse
import glob
import hashlib
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import time
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import fmix_harness  # noqa: E402  (the script tests' pack builder, image reader and checks)
from fmix_harness import Failure as Check, expect  # noqa: E402
import zip_corpus  # noqa: E402
from code_signing import CodeSigner, SigningError
from wine_session import MARK_KEY, WineSession, calls, find_window, loaded_modules, shell_starts, windows_path

CASES = {}


def case(fn):
    CASES[fn.__name__] = fn
    return fn


class Setup:
    """One case's folder: the payload, the setup executable, a current folder
    and a temporary folder of its own."""

    def __init__(self, ctx, name, tmp="tmp"):
        self.ctx = ctx
        self.root = os.path.join(ctx.work, name)
        self.tmp = os.path.join(self.root, tmp)
        shutil.rmtree(self.root, ignore_errors=True)
        for sub in ("payload/app", tmp, "cwd", "parts"):
            os.makedirs(os.path.join(self.root, sub))
        shutil.copy(os.path.join(ctx.bin, "sample_installer.exe"),
                    os.path.join(self.root, "payload/app/setup.exe"))
        with open(os.path.join(self.root, "payload/readme.txt"), "w") as f:
            f.write("sample payload\n")

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def fmix(self, *args):
        result = subprocess.run([self.ctx.fmix, *args], capture_output=True, text=True)
        expect(result.returncode == 0, "fmix %s failed: %s" % (args[0], result.stderr))

    def build(self, exe_rel, run="app\\setup.exe", plugin=None, codepage=1252, options=()):
        """A setup executable assembled by fmix setup."""
        exe = self.path(exe_rel)
        os.makedirs(os.path.dirname(exe), exist_ok=True)
        self.fmix("setup", "-o", exe, "--stub", self.ctx.stub, "--plugin",
                  plugin or os.path.join(self.ctx.bin, "yz1.dll"),
                  "--payload", self.path("payload"), "--run", run, "--codepage=%d" % codepage, *options)
        return exe

    def build_raw(self, exe_rel, entries):
        """A setup executable from a pack of the given (name, bytes) entries,
        names taken as they are (fmix refuses some that the cases need)."""
        pack = self.path("parts.pack")
        with open(pack, "wb") as f:
            f.write(make_pack(entries))
        exe = self.path(exe_rel)
        os.makedirs(os.path.dirname(exe), exist_ok=True)
        self.fmix("append", self.ctx.stub, pack, exe)
        return exe

    def zip_payload(self):
        archive = self.path("payload.yz1")
        self.fmix("zip", archive, self.path("payload"))
        return read(archive)

    def run(self, exe, trace=True, extra_env=None):
        code, self.trace = self.ctx.wine.run(windows_path(exe), self.path("cwd"),
                                             self.tmp, trace, extra_env)
        expect(code == 0, "exit code %d, not 0" % code)
        return self.trace

    def run_kept(self, exe):
        """Runs exe, untraced, inside the session's kept()."""
        code = self.ctx.wine.run_kept(windows_path(exe), self.path("cwd"), self.tmp)
        expect(code == 0, "exit code %d, not 0" % code)

    def temp_packs(self):
        return sorted(glob.glob(os.path.join(self.tmp, "vlk*.tmp")))

    def unpack_dir(self):
        packs = self.temp_packs()
        expect(len(packs) == 1, "expected one temporary pack file, found %d" % len(packs))
        return packs[0] + "_dir"

    def receipts(self, rel="app/receipt.txt"):
        return receipts_in(self.unpack_dir(), rel)

    def mark(self, exe):
        return self.ctx.wine.reg_values(MARK_KEY).get(windows_path(exe))

    def boxes(self):
        return calls(self.trace, "MessageBoxW") + calls(self.trace, "MessageBoxA")


def receipts_in(unpack_dir, rel):
    """The runs of the installer that wrote its receipt at rel."""
    path = os.path.join(unpack_dir, rel)
    if not os.path.exists(path):
        return []
    return [r for r in read(path).decode("utf-8").split("installer=") if r]


def make_pack(entries):
    """A pack of (name, bytes) entries, stored plain, data back to back."""
    return fmix_harness.pack([(name.encode("latin-1"), content, 0) for name, content in entries])


def read_pack(data):
    """The (name, bytes) entries of a pack, in directory order."""
    count = struct.unpack_from("<H", data, 5)[0]
    entries = []
    for i in range(count):
        name, offset, size, _ = struct.unpack_from("<256sIIB", data, 11 + 265 * i)
        entries.append((name.split(b"\0")[0].decode("latin-1"), data[offset:offset + size]))
    return entries


def image_layout(image):
    """(end of the last section's raw data, certificate table offset, its size)
    of a 32-bit PE image."""
    pointer, size = fmix_harness.last_section(image)
    pe = struct.unpack_from("<I", image, 60)[0]
    cert_offset, cert_size = struct.unpack_from("<II", image, pe + 24 + 96 + 8 * 4)
    return pointer + size, cert_offset, cert_size


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def plugin_bytes(ctx, name="yz1.dll"):
    return read(os.path.join(ctx.bin, name))


def test_plugin(ctx):
    """The stand-in plug-in: YZ1_TEST_MODE chooses what it does; unset, it
    reports the text of "output.txt" beside itself."""
    return os.path.join("test_plugins", "yz1_test_plugin.dll")


def config(text):
    return text.encode("latin-1")


def standard_entries(ctx, s, cfg=b"app\\setup.exe\r\n", plugin="yz1.dll"):
    return [("YZ1.DLL", plugin_bytes(ctx, plugin)), ("ARC.YZ1", s.zip_payload()),
            ("CONFIG.TXT", cfg)]


def installer_in_pack(ctx):
    """Entries that carry the sample installer itself, named by CONFIG.TXT."""
    return [("INST.EXE", read(os.path.join(ctx.bin, "sample_installer.exe"))), ("CONFIG.TXT", b"INST.EXE")]


@case
def full_run(ctx):
    s = Setup(ctx, "full_run")
    exe = s.build("run/app_setup.exe")
    s.run(exe)
    stub_size = os.path.getsize(ctx.stub)
    (pack,) = s.temp_packs()
    expect(read(pack) == read(exe)[stub_size:], "the temporary pack file is not the appended pack")
    unpacked = sorted(os.listdir(s.unpack_dir()))
    for name in ("YZ1.DLL", "ARC.YZ1", "CONFIG.TXT", "app", "readme.txt"):
        expect(name in unpacked, "%s missing from the unpack folder: %s" % (name, unpacked))
    receipts = s.receipts()
    expect(len(receipts) == 1, "installer ran %d times" % len(receipts))
    expect("args=\r\n" in receipts[0], "the installer got arguments: %r" % receipts[0])
    expect("cwd=" + windows_path(os.path.join(s.unpack_dir(), "app")) + "\r\n" in receipts[0],
           "the installer's working folder is not its own folder: %r" % receipts[0])
    expect(s.mark(exe) == ("REG_DWORD", "0x1"), "no compatibility mark for %s" % exe)
    loads = [c for c in calls(s.trace, "LoadLibraryExW") if "yz1.dll" in c]
    expect(loads and "_dir\\\\" in loads[0],
           "the plug-in was not loaded from the unpack folder first: %s" % loads)
    expect(not s.boxes(), "unexpected boxes: %s" % s.boxes())


@case
def scrambled_entries(ctx):
    """Setups whose pack fmix create scrambled in each mode, with an archive
    of many times the launcher's buffer: every entry unpacks byte for byte
    and the installer starts."""
    s = Setup(ctx, "scrambled_entries")
    data = random.Random(29).randbytes(2 * 1024 * 1024 + 4097)
    write(s.path("payload/data.bin"), data)
    parts = [s.path("parts", name) for name in ("YZ1.DLL", "ARC.YZ1", "CONFIG.TXT")]
    for path, content in zip(parts, (plugin_bytes(ctx), s.zip_payload(), b"app\\setup.exe\r\n")):
        write(path, content)
    runs = []
    with ctx.wine.kept():
        for mode in (0, 1, 2):
            pack = s.path("mode%d.pack" % mode)
            s.fmix("create", pack, "--scramble=%d" % mode, *parts)
            exe = s.path("run", str(mode), "mode_setup.exe")
            os.makedirs(os.path.dirname(exe))
            s.fmix("append", ctx.stub, pack, exe)
            before = s.temp_packs()
            s.run_kept(exe)
            (new,) = sorted(set(s.temp_packs()) - set(before))
            runs.append((mode, new + "_dir"))
    for mode, unpack_dir in runs:
        for path in parts:
            unpacked = os.path.join(unpack_dir, os.path.basename(path))
            expect(os.path.exists(unpacked) and read(unpacked) == read(path),
                   "mode %d: %s is not unpacked byte for byte" % (mode, os.path.basename(path)))
        expect(read(os.path.join(unpack_dir, "data.bin")) == data, "mode %d: the payload differs" % mode)
        expect(len(receipts_in(unpack_dir, "app/receipt.txt")) == 1, "mode %d: the installer did not run" % mode)


@case
def no_pack(ctx):
    s = Setup(ctx, "no_pack")
    exe = s.path("run", "plain_setup.exe")
    os.makedirs(os.path.dirname(exe))
    shutil.copy(ctx.stub, exe)
    s.run(exe)
    packs = s.temp_packs()
    expect(len(packs) == 1 and os.path.getsize(packs[0]) == 0, "expected one empty vlk*.tmp")
    expect(not os.path.exists(packs[0] + "_dir"), "an unpack folder was created")
    expect(not s.boxes(), "unexpected boxes: %s" % s.boxes())
    expect(s.mark(exe) is None, "a mark was written")


@case
def no_config(ctx):
    s = Setup(ctx, "no_config")
    exe = s.build_raw("run/nocfg_setup.exe", standard_entries(ctx, s)[:2])
    s.run(exe)
    expect(not s.receipts(), "an installer ran")
    expect(not s.boxes(), "unexpected boxes: %s" % s.boxes())
    expect(not shell_starts(s.trace), "something was started")
    expect(s.mark(exe) is not None, "no mark although the path holds 'setup'")


@case
def config_with_blanks(ctx):
    s = Setup(ctx, "config_with_blanks")
    exe = s.build_raw("run/blank_setup.exe",
                      standard_entries(ctx, s, cfg=b" \t\r\napp\\setup.exe \r\n\r\n"))
    s.run(exe)
    expect(len(s.receipts()) == 1, "the installer did not run once")


@case
def config_absolute(ctx):
    s = Setup(ctx, "config_absolute")
    target = windows_path(s.path("payload/app/setup.exe"))
    exe = s.build_raw("run/abs_setup.exe", standard_entries(ctx, s, cfg=config(target)))
    s.run(exe)
    expect(not shell_starts(s.trace), "an absolute config path was started")
    expect(not s.boxes(), "unexpected boxes: %s" % s.boxes())


@case
def no_archive(ctx):
    s = Setup(ctx, "no_archive")
    exe = s.build_raw("run/noarc_setup.exe", [("YZ1.DLL", plugin_bytes(ctx))] + installer_in_pack(ctx))
    s.run(exe)
    boxes = s.boxes()
    expect(len(boxes) == 1 and 'L"ERROR"' in boxes[0] and "ARC.YZ1" in boxes[0]
           and boxes[0].endswith(",00000000"), "expected the missing-archive box: %s" % boxes)
    expect(len(s.receipts("receipt.txt")) == 1, "the run did not go on to the installer")


@case
def extract_failure(ctx):
    s = Setup(ctx, "extract_failure")
    entries = standard_entries(ctx, s) + [("missing\\x.txt", b"x")]
    exe = s.build_raw("run/fail_setup.exe", [e for e in entries if e[0] != "CONFIG.TXT"]
                      + [entries[2]])
    s.run(exe)
    boxes = s.boxes()
    expect(boxes and 'L"Failed to extract."' in boxes[0] and 'L"SETUP ERROR"' in boxes[0]
           and boxes[0].endswith(",00000010"), "expected the extraction box: %s" % boxes)
    expect(not s.receipts(), "an installer ran after a failed extraction")
    expect(s.mark(exe) is not None, "the mark is still written after a failed extraction")


def expect_silent_end(s, exe):
    """A run that ended at the plug-in: no installer, no mark, no box."""
    expect(not s.receipts() and not shell_starts(s.trace), "an installer ran")
    expect(s.mark(exe) is None, "a mark was written")
    expect(not s.boxes(), "unexpected boxes: %s" % s.boxes())


@case
def plugin_missing(ctx):
    s = Setup(ctx, "plugin_missing")
    exe = s.build_raw("run/nodll_setup.exe", standard_entries(ctx, s)[1:])
    s.run(exe)
    expect_silent_end(s, exe)


@case
def plugin_crash(ctx):
    s = Setup(ctx, "plugin_crash")
    exe = s.build_raw("run/crash_setup.exe", standard_entries(ctx, s, plugin=test_plugin(ctx)))
    s.run(exe, extra_env={"YZ1_TEST_MODE": "access-violation"})
    expect_silent_end(s, exe)


@case
def plugin_reports_error(ctx):
    s = Setup(ctx, "plugin_error")
    exe = s.build_raw("run/plugerr_setup.exe", [
        ("YZ1.DLL", plugin_bytes(ctx, test_plugin(ctx))), ("ARC.YZ1", b"PK"),
        ("OUTPUT.TXT", b"Error: CRC mismatch")] + installer_in_pack(ctx))
    s.run(exe)
    boxes = s.boxes()
    expect(len(boxes) == 1 and 'L"Error: CRC mismatch"' in boxes[0] and boxes[0].endswith(",00000000"),
           "expected the plug-in's box: %s" % boxes)
    expect(len(s.receipts("receipt.txt")) == 1, "the installer was not started after the box")
    expect(s.mark(exe) is not None, "no mark after the plug-in's box")


@case
def full_disk(ctx):
    """A temporary folder of 16 MB, too small for a payload of 6 MB once the
    pack and its entries are written: the plug-in refuses before writing and
    says what it needs, and no installer starts (ZIP and the solid format)."""
    for variant, options in (("zip", ()), ("solid", ("--solid",))):
        tmp = os.path.join(ctx.work, "full_disk_" + variant, "tmp")
        subprocess.run(["umount", tmp], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)  # a run cut short
        s = Setup(ctx, "full_disk_" + variant)
        write(s.path("payload/app/zdata.bin"), random.Random(6).randbytes(6_000_000))
        exe = s.build("run/full_setup.exe", options=options)
        mount = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16m", "tmpfs", s.tmp],
                               capture_output=True, text=True)
        if mount.returncode != 0:
            print("SKIP: a 16 MB tmpfs cannot be mounted as the temporary folder (needs root): " + mount.stderr.strip())
            return
        try:
            s.run(exe)
            unpack_dir = s.unpack_dir()
            entries = sorted(os.listdir(unpack_dir))
        finally:
            subprocess.run(["umount", s.tmp])
        boxes = s.boxes()
        shortage = re.search(r'L"Error: not enough space on (.*?) to unpack: needs ([\d.]+) MB, ([\d.]+) MB free"',
                             boxes[0] if len(boxes) == 1 else "")
        expect(shortage and shortage.group(1) == wine_text(windows_path(unpack_dir) + "\\")
               and float(shortage.group(2)) > 6.2 > float(shortage.group(3)),
               "%s: expected the plug-in's box naming the shortage: %s" % (variant, boxes))
        expect(not shell_starts(s.trace), "%s: something was started" % variant)
        expect(entries == ["ARC.YZ1", "CONFIG.TXT", "YZ1.DLL"],
               "%s: the unpack folder holds more than the pack's entries: %s" % (variant, entries))


@case
def shell_refuses(ctx):
    s = Setup(ctx, "shell_refuses")
    with open(s.path("payload/app/readme.xyzq"), "w") as f:
        f.write("no program opens this\n")
    exe = s.build("run/shellfail_setup.exe", run="app\\readme.xyzq")
    s.run(exe)
    expect(len(shell_starts(s.trace)) == 1, "the shell was not asked")
    expect(s.mark(exe) is None, "a mark was written after a failed start")


@case
def program_paths(ctx):
    for rel, marked in (("run/Setup.exe", False), ("install/tool.exe", True),
                        ("run/mysetup2.exe", True), ("run/plain.exe", False)):
        s = Setup(ctx, "path_" + rel.replace("/", "_"))
        exe = s.build(rel)
        s.run(exe, trace=False)
        expect((s.mark(exe) is not None) == marked,
               "%s: mark %s, expected %s" % (rel, s.mark(exe), marked))


@case
def windows_versions(ctx):
    for version, verb in (("vista", 'L"runas"'), ("win7", "(null)"), ("winxp", "(null)")):
        s = Setup(ctx, "version_" + version)
        exe = s.build("run/ver_%s_setup.exe" % version)
        ctx.wine.set_windows_version(os.path.basename(exe), version)
        s.run(exe)
        starts = shell_starts(s.trace)
        expect(len(starts) == 1 and starts[0][0] == 0x500 and starts[0][1] == verb
               and starts[0][3] == 'L""', "%s: shell start %s" % (version, starts))
        expect(len(s.receipts()) == 1, "%s: the installer did not run" % version)


@case
def two_runs(ctx):
    s = Setup(ctx, "two_runs")
    exe = s.build("run/twice_setup.exe")
    s.run(exe, trace=False)
    s.run(exe, trace=False)
    packs = s.temp_packs()
    expect(len(packs) == 2, "expected two temporary pack files: %s" % packs)
    for pack in packs:
        expect(os.path.isdir(pack + "_dir"), "missing unpack folder of " + pack)


@case
def trace_mode(ctx):
    s = Setup(ctx, "trace_mode")
    stub = ctx.stub
    ctx.stub = os.path.join(ctx.bin, "launcher_trace.exe")
    try:
        exe = s.build("run/trace.exe")
    finally:
        ctx.stub = stub
    s.run(exe)
    boxes = [b for b in s.boxes() if 'L"DEBUG"' in b]
    folder = windows_path(s.unpack_dir()).replace("\\", "\\\\")
    expected = ['L"packfile"', 'L"tempPack=' + folder[:-len("_dir")] + '"',
                'L"config=app\\\\setup.exe"', 'L"path=' + folder + '\\\\"']
    expect(len(boxes) == 4 and all(e in b and b.endswith(",00000000") for e, b in zip(expected, boxes)),
           "expected the four trace boxes %s, got %s" % (expected, boxes))
    expect(len(s.receipts()) == 1, "the installer did not run")


@case
def test_mode(ctx):
    s = Setup(ctx, "test_mode")
    s.build("cwd/quillpad_con_setup.exe")
    exe = s.path("run", "tm.exe")
    os.makedirs(os.path.dirname(exe))
    shutil.copy(os.path.join(ctx.bin, "launcher_testmode.exe"), exe)
    desktop = os.path.join(ctx.wine.prefix, "drive_c", "users", "*", "Desktop", "vlk*.tmp")
    before = set(glob.glob(desktop))
    s.run(exe)
    staged = sorted(set(glob.glob(desktop)) - before)
    expect(len(staged) == 1, "expected one pack staged on the desktop, found %s" % staged)
    expect(not s.temp_packs(), "the temporary folder was used in test mode")
    expect(read(staged[0]) == read(s.path("cwd/quillpad_con_setup.exe"))[os.path.getsize(ctx.stub):],
           "the desktop pack is not the pack of quillpad_con_setup.exe")
    receipt = os.path.join(staged[0] + "_dir", "app", "receipt.txt")
    expect(os.path.exists(receipt), "the installer did not run")
    shutil.rmtree(staged[0] + "_dir")
    os.remove(staged[0])


@case
def stub_layout(ctx):
    image = read(ctx.stub)
    pe = struct.unpack_from("<I", image, 60)[0]
    expect(image[pe:pe + 4] == b"PE\0\0", "not a PE image")
    magic, subsystem = struct.unpack_from("<H", image, pe + 24)[0], struct.unpack_from("<H", image, pe + 24 + 68)[0]
    expect(magic == 0x10B and subsystem == 2, "not a 32-bit GUI image (magic %x, subsystem %d)" % (magic, subsystem))
    characteristics = struct.unpack_from("<H", image, pe + 22)[0]
    expect(characteristics & 0x20, "not large-address aware")
    dll_characteristics = struct.unpack_from("<H", image, pe + 24 + 70)[0]
    expect(dll_characteristics & 0x8140 == 0x8140,
           "not DYNAMIC_BASE, NX_COMPAT and TERMINAL_SERVER_AWARE: %#x" % dll_characteristics)
    pointer, size = fmix_harness.last_section(image)
    expect(pointer + size == len(image), "the stub ends %d bytes after its last section" % (len(image) - pointer - size))
    print("stub: %d bytes" % len(image))
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", ctx.stub], capture_output=True, text=True).stdout
    dlls = {line.split()[-1].lower() for line in dump.splitlines() if "DLL Name:" in line}
    system = {"kernel32.dll", "user32.dll", "shell32.dll", "advapi32.dll", "ole32.dll", "msvcrt.dll"}
    expect(dlls and dlls <= system, "imports beyond the system DLLs: %s" % sorted(dlls - system))
    for text in (b'level="asInvoker"', b'uiAccess="false"', b"Microsoft.Windows.Common-Controls", b'version="6.0.0.0"'):
        expect(text in image, "the manifest lacks %s" % text.decode())


@case
def signed_setup(ctx):
    """A publisher signs the finished setup: the certificate table then follows
    the pack, and the launcher and fmix read the pack in front of it."""
    s = Setup(ctx, "signed_setup")
    unsigned = s.build("parts/unsigned_setup.exe")
    while os.path.getsize(unsigned) % 8 == 0:  # signing then pads the pack before the table
        with open(s.path("payload", "readme.txt"), "a") as f:
            f.write("+")
        unsigned = s.build("parts/unsigned_setup.exe")
    exe = s.path("run", "signed_setup.exe")
    signed_stub = s.path("parts", "signed_stub.exe")
    os.makedirs(os.path.dirname(exe))
    try:
        signer = CodeSigner(s.path("parts", "signing"))
        signer.sign(unsigned, exe)
        signer.sign(ctx.stub, signed_stub)
        report = signer.verify(exe)
    except SigningError as error:
        raise Check(str(error))
    expect("Signature verification: ok" in report, "osslsigncode refused the signature:\n" + report)
    image, stub_size = read(exe), os.path.getsize(ctx.stub)
    pack = read(unsigned)[stub_size:]
    stub_end, cert_offset, cert_size = image_layout(image)
    padding = image[stub_end + len(pack):cert_offset]
    expect(stub_end == stub_size and image[stub_end:stub_end + len(pack)] == pack,
           "signing moved or changed the pack")
    expect(cert_size > 0 and cert_offset + cert_size == len(image) and 0 < len(padding) < 8
           and not padding.strip(b"\0"), "no certificate table after the padded pack")

    s.run(exe)
    (temp_pack,) = s.temp_packs()
    expect(read(temp_pack) == image[stub_end:],
           "the temporary pack file is not the pack, padding and certificate table")
    expect(len(s.receipts()) == 1, "the installer did not run once")
    expect(not s.boxes(), "unexpected boxes: %s" % s.boxes())
    entries = read_pack(pack)
    expect(dict(entries).get("YZ1.DLL") == plugin_bytes(ctx)
           and dict(entries).get("CONFIG.TXT") == b"app\\setup.exe\r\n", "fmix setup packed other entries")
    expect_files(s.unpack_dir(), entries, "unpacked")
    expect_files(s.unpack_dir(), [(rel, read(s.path("payload", rel))) for rel in ("app/setup.exe", "readme.txt")],
                 "unpacked from the archive")

    listing = subprocess.run([ctx.fmix, "list", exe], capture_output=True, text=True).stdout.splitlines()
    expect([line.split("\t")[:2] for line in listing] == [[n, str(len(d))] for n, d in entries],
           "fmix list of the signed setup: %s" % listing)
    s.fmix("extract", exe, s.path("extracted"))
    expect_files(s.path("extracted"), entries, "extracted by fmix")
    verdict = subprocess.run([ctx.fmix, "verify", exe], capture_output=True, text=True)
    expect(verdict.returncode == 0 and "certificate table" in verdict.stdout,
           "fmix verify of the signed setup:\n" + verdict.stdout)

    refused = s.path("parts", "from_signed_stub.exe")
    result = subprocess.run([ctx.fmix, "setup", "-o", refused, "--stub", signed_stub, "--plugin",
                             os.path.join(ctx.bin, "yz1.dll"), "--payload", s.path("payload"),
                             "--run", "app\\setup.exe"], capture_output=True, text=True)
    expect(result.returncode == 1 and "sign the finished setup, never the stub" in result.stderr
           and not os.path.exists(refused), "fmix setup took a signed stub: %s" % result.stderr)


def icon_file():
    """An .ico file of 16, 32 and 48 pixel bitmap images and a 256 pixel PNG one."""
    images = []
    for size in (16, 32, 48):
        pixels = bytes([0x20, 0x80, 0xE0, 0xFF]) * (size * size)
        mask = bytes(((size + 31) // 32 * 4) * size)
        header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
        images.append((size, header + pixels + mask))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes([0xE0, 0x80, 0x20, 0xFF]) * 256 for _ in range(256))
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 256, 256, 8, 6, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
    images.append((256, png))
    offset = 6 + 16 * len(images)
    directory, data = struct.pack("<HHH", 0, 1, len(images)), b""
    for size, image in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    return directory + data


@case
def setup_identity(ctx):
    """A setup with the publisher's icon and version information: wrestool and
    Windows' own calls read them, the setup still reaches its installer, and
    verify checks a signature's digest, failing a setup changed after signing."""
    s = Setup(ctx, "setup_identity")
    icon = s.path("parts", "app.ico")
    write(icon, icon_file())
    identity = ["--icon", icon, "--file-version", "1.2.3.4", "--version-string", "ProductName=Größe App",
                "--version-string", "CompanyName=Example Ltd", "--version-string", "FileDescription=Example setup"]
    built = [s.path("run", "identity_setup.exe"), s.path("parts", "again.exe")]
    os.makedirs(os.path.dirname(built[0]))
    for exe in built:
        s.fmix("setup", "-o", exe, "--stub", ctx.stub, "--plugin", os.path.join(ctx.bin, "yz1.dll"),
               "--payload", s.path("payload"), "--run", "app\\setup.exe", *identity)
    exe = built[0]
    expect(read(exe) == read(built[1]), "the same inputs gave different setups")

    listing = subprocess.run(["wrestool", "-l", exe], capture_output=True, text=True).stdout
    print("wrestool -l:\n" + listing)
    for kind in ("--type=3 ", "--type=14 ", "--type=16 ", "--type=24 "):
        expect(kind in listing, "wrestool lists no %s resource:\n%s" % (kind, listing))
    extracted = subprocess.run(["wrestool", "-x", "-t14", exe], capture_output=True).stdout
    expect(extracted.startswith(read(icon)), "wrestool extracts another icon (%d bytes)" % len(extracted))

    probe = ctx.wine.console(os.path.join(ctx.bin, "identity_probe.exe"), windows_path(exe))
    print("probe:\n" + probe)
    for line in ("fixed=1.2.3.4", "translation=040904b0", "ProductName=Größe App", "CompanyName=Example Ltd",
                 "FileVersion=1.2.3.4", "icons=1 32x32 16x16"):
        expect(line in probe.splitlines(), "Windows read no %r:\n%s" % (line, probe))
    s.run(exe)
    expect(len(s.receipts()) == 1, "the installer did not run once")

    signed, tampered = s.path("parts", "signed.exe"), s.path("parts", "tampered.exe")
    try:
        CodeSigner(s.path("parts", "signing")).sign(exe, signed)
    except SigningError as error:
        raise Check(str(error))
    data = bytearray(read(signed))
    data[image_layout(data)[0] + 100] ^= 1
    write(tampered, bytes(data))
    # The changed file with the digest inside the signature changed to match:
    # the signature no longer holds over it.
    forged = s.path("parts", "forged.exe")
    write(forged, bytes(data).replace(authenticode_digest(read(signed)), authenticode_digest(bytes(data))))
    for path, code, line in ((signed, 0, "ok    signature: sha256 digest matches; signed by CN=Setup test publisher, "
                                          "not checked against a trust store"),
                             (tampered, 1, "FAIL  signature: sha256 digest does not match"),
                             (forged, 1, "FAIL  signature: the signature does not hold")):
        verdict = subprocess.run([ctx.fmix, "verify", path], capture_output=True, text=True)
        print(verdict.stdout)
        expect(verdict.returncode == code and any(l.startswith(line) for l in verdict.stdout.splitlines())
               and 'ok    identity: icon of 4 images; version 1.2.3.4; ProductName "Größe App"' in verdict.stdout,
               "fmix verify of %s:\n%s" % (path, verdict.stdout))


# A Windows Installer package of one file, as a publisher writes it for WiX;
# each build has a product code of its own (Id="*"), so msiexec installs it
# anew in a prefix where an earlier run installed one.
MSI_SOURCE = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Hello MSI" Language="1033" Version="1.0.0" Manufacturer="Example Ltd"
           UpgradeCode="6A1B3F2E-8C4D-4E5F-9A0B-1C2D3E4F5A6B">
    <Package InstallerVersion="200" Compressed="yes"/>
    <Media Id="1" Cabinet="hello.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="HelloMsi">
          <Component Id="Hello" Guid="3F2A1B4C-5D6E-4F70-8192-A3B4C5D6E7F8">
            <File Id="Hello" Source="hello.txt" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="Hello"/></Feature>
  </Product>
</Wix>
"""


@case
def msi_installer(ctx):
    """An MSI built by wixl as the installer: fmix verify notes that the shell
    starts it through msiexec, and under Wine msiexec installs the product's
    file; an installer of an extension Windows starts by no association of
    its own gets a warning."""
    expect(shutil.which("wixl"), "wixl is not installed (make deps)")
    s = Setup(ctx, "msi_installer")
    content = b"installed by msiexec\r\n"
    write(s.path("msi", "hello.txt"), content)
    write(s.path("msi", "hello.wxs"), MSI_SOURCE.encode())
    made = subprocess.run(["wixl", "-o", s.path("payload", "app", "hello.msi"), "hello.wxs"], cwd=s.path("msi"),
                          capture_output=True, text=True)
    expect(made.returncode == 0, "wixl: " + made.stdout + made.stderr)
    exe = s.build("app_setup.exe", run="app\\hello.msi")
    verdict = subprocess.run([ctx.fmix, "verify", exe], capture_output=True, text=True).stdout
    expect('note  installer: "app\\hello.msi" is no program: the shell starts it by the association Windows has '
           'for .msi: msiexec (Windows Installer) installs it' in verdict.splitlines()
           and verdict.endswith("verdict: ok: the setup will reach its installer\n"), "fmix verify:\n" + verdict)
    folders = glob.glob(os.path.join(ctx.wine.prefix, "drive_c", "Program Files*", "HelloMsi"))
    for folder in folders:
        shutil.rmtree(folder)
    s.run(exe, trace=False)
    installed = glob.glob(os.path.join(ctx.wine.prefix, "drive_c", "Program Files*", "HelloMsi", "hello.txt"))
    expect(len(installed) == 1 and read(installed[0]) == content, "msiexec installed %s" % installed)

    exe = s.build("readme_setup.exe", run="readme.txt")
    verdict = subprocess.run([ctx.fmix, "verify", exe], capture_output=True, text=True).stdout
    expect(any(line.startswith('warn  installer: "readme.txt" ends in .txt, which Windows does not run as a '
                               'program') for line in verdict.splitlines())
           and verdict.endswith("verdict: ok (1 unchecked): the setup will reach its installer\n"),
           "fmix verify:\n" + verdict)


def authenticode_digest(data):
    """The SHA-256 Authenticode digest of a signed image: all before the
    certificate table but the CheckSum field and the table's directory entry."""
    pe = struct.unpack_from("<I", data, 60)[0]
    checksum, directory = pe + 24 + 64, pe + 24 + 96 + 4 * 8
    table = struct.unpack_from("<I", data, directory)[0]
    return hashlib.sha256(data[:checksum] + data[checksum + 4:directory] + data[directory + 8:table]).digest()


def expect_files(folder, entries, what):
    for rel, data in entries:
        path = os.path.join(folder, rel)
        expect(os.path.isfile(path) and read(path) == data, "%s %s differs from the original" % (what, rel))


def plant_plugins(s):
    """The stand-in plug-in beside the setup, in its plug-ins folder and in the
    current folder; a copy that is called leaves call.txt beside itself."""
    planted = [s.path("run", "yz1.dll"), s.path("run", "plug-ins", "yz1.dll"), s.path("cwd", "yz1.dll")]
    for path in planted:
        write(path, plugin_bytes(s.ctx, test_plugin(s.ctx)))
    return planted


def plugin_loads(trace):
    """Every plug-in load that the bridge asked for, as (function, arguments),
    and every file of that name that the loader mapped."""
    asked = [(function, c) for function in ("LoadLibraryExW", "LoadLibraryA")
             for c in calls(trace, function) if "yz1.dll" in c.lower()]
    mapped = [m for m in loaded_modules(trace) if m.lower().endswith("\\yz1.dll")]
    return asked, mapped


def expect_planted_unused(s, planted):
    asked, mapped = plugin_loads(s.trace)
    expect(not [m for m in mapped if m.lower() in {windows_path(p).lower() for p in planted}],
           "planted plug-ins were loaded: %s" % mapped)
    called = [p for p in planted if os.path.exists(os.path.join(os.path.dirname(p), "call.txt"))]
    expect(not called, "planted plug-ins were called: %s" % called)
    return asked, mapped


@case
def planted_plugin(ctx):
    """A yz1.dll planted where the library search would look after the unpack
    folder is never loaded while the pack carries the plug-in; a pack without
    one lets the search reach the copy beside the setup."""
    s = Setup(ctx, "planted_plugin")
    planted = plant_plugins(s)
    exe = s.build("run/planted_setup.exe")
    s.run(exe)
    asked, mapped = expect_planted_unused(s, planted)
    unpacked = windows_path(os.path.join(s.unpack_dir(), "YZ1.DLL")).lower()
    expect(len(asked) == 1 and asked[0][0] == "LoadLibraryExW" and "_dir\\\\" in asked[0][1],
           "the plug-in was not asked for once, from the unpack folder: %s" % asked)
    expect([m.lower() for m in mapped] == [unpacked], "expected only %s mapped: %s" % (unpacked, mapped))
    expect(len(s.receipts()) == 1, "the installer did not run once")
    expect(not s.boxes(), "unexpected boxes: %s" % s.boxes())

    bare = Setup(ctx, "planted_plugin_bare")
    planted = plant_plugins(bare)
    exe = bare.build_raw("run/bare_setup.exe", standard_entries(ctx, bare)[1:])
    bare.run(exe)
    asked, mapped = plugin_loads(bare.trace)
    expect(sorted(a[0] for a in asked) == ["LoadLibraryA", "LoadLibraryExW", "LoadLibraryExW"]
           and [m.lower() for m in mapped] == [windows_path(planted[0]).lower()],
           "without a plug-in in the pack the copy beside the setup was not the one loaded: %s %s" % (asked, mapped))
    expect(os.path.exists(os.path.join(os.path.dirname(planted[0]), "call.txt")), "the planted copy was not called")


@case
def plugin_fails_to_load(ctx):
    """A setup cut off inside the plug-in's data and a plug-in whose import
    does not resolve: the run never falls back on a planted copy, and the cut
    entry is an extraction failure."""
    s = Setup(ctx, "cut_setup")
    planted = plant_plugins(s)
    whole = read(s.build("parts/whole_setup.exe"))
    stub_size = os.path.getsize(ctx.stub)
    # Cut off halfway through the plug-in's data, as an interrupted download.
    plugin_offset, plugin_size = struct.unpack_from("<II", whole, stub_size + 11 + 256)
    exe = s.path("run", "cut_setup.exe")
    write(exe, whole[:stub_size + plugin_offset + plugin_size // 2])
    s.run(exe)
    expect_planted_unused(s, planted)
    boxes = s.boxes()
    expect(boxes and 'L"Failed to extract."' in boxes[0], "no extraction box for the cut entry: %s" % boxes)
    expect(not os.path.exists(os.path.join(s.unpack_dir(), "YZ1.DLL")), "the cut plug-in was written")

    s = Setup(ctx, "unloadable_plugin")
    planted = plant_plugins(s)
    unloadable = plugin_bytes(ctx).replace(b"msvcrt.dll", b"msvcrq.dll")
    exe = s.build_raw("run/unloadable_setup.exe", [("YZ1.DLL", unloadable)] + standard_entries(ctx, s)[1:])
    s.run(exe)
    asked, _ = expect_planted_unused(s, planted)
    expect(len(asked) == 1, "the plug-in was asked for elsewhere than in the unpack folder: %s" % asked)
    expect_silent_end(s, exe)
    verdict = subprocess.run([ctx.fmix, "verify", exe], capture_output=True, text=True)
    expect(verdict.returncode == 1 and "msvcrq.dll" in verdict.stdout,
           "fmix verify passed a plug-in with an import outside the system:\n" + verdict.stdout)


@case
def planted_unpack_folders(ctx):
    """Every unpack folder name the run could take exists already, with an
    installer in it: the run starts none of them, touches none of them and
    ends after a bounded number of fresh names. The names are links to one
    planted folder, which Windows programs under Wine see as a folder each:
    65,536 links cost seconds where as many folders, each with its own
    installer, cost minutes, and a run that used any name would change the
    one folder that all of them show."""
    s = Setup(ctx, "planted_folders")
    planted = s.path("parts", "planted")
    os.makedirs(os.path.join(planted, "app", "setup.exe.yz1part"))
    installer = read(os.path.join(ctx.bin, "sample_installer.exe"))
    write(os.path.join(planted, "app", "setup.exe"), installer)
    before = zip_corpus.tree_of(planted)
    # A short relative target keeps each link within its inode: no disk block
    # to write and to remove.
    target = os.path.relpath(planted, s.tmp)
    names = ["vlk%x.tmp_dir" % n for n in range(0x10000)]
    for name in names:
        os.symlink(target, os.path.join(s.tmp, name))
    exe = s.build("run/folders_setup.exe")
    s.run(exe)
    expect(not shell_starts(s.trace), "something was started: %s" % shell_starts(s.trace))
    expect(s.mark(exe) is None, "a mark was written")
    packs = s.temp_packs()
    expect(len(packs) == 16 and all(os.path.getsize(p) == 0 for p in packs),
           "expected 16 empty temporary files, one per fresh name: %d" % len(packs))
    expect(sorted(os.listdir(s.tmp)) == sorted(names + [os.path.basename(p) for p in packs])
           and all(os.readlink(os.path.join(s.tmp, name)) == target for name in names),
           "the planted names changed")
    expect(zip_corpus.tree_of(planted) == before, "the planted folder changed")
    shutil.rmtree(s.tmp)  # 65,536 links: kept only when the case fails


@case
def dll_search_path(ctx):
    """The entry restricts the DLL search to the system folder before any
    other traced call; a DLL loaded by bare name at run time then never comes
    from the setup's folder or the current folder."""
    s = Setup(ctx, "dll_search_path")
    exe = s.build("run/search_setup.exe")
    s.run(exe)
    first = program_calls(s.trace, exe)[0]
    flags = int(first.split("(")[1].split(")")[0], 16) if "SetDefaultDllDirectories(" in first else 0
    expect(flags & 0x800 and not flags & 0x200,
           "the first call is not SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32): %s" % first)
    expect(len(s.receipts()) == 1, "the setup did not reach its installer")

    s = Setup(ctx, "dll_search_runtime")
    planted = [s.path("run", "uxtheme.dll"), s.path("cwd", "uxtheme.dll")]
    for path in planted:
        write(path, plugin_bytes(ctx, test_plugin(ctx)))
    exe = s.build_raw("run/runtime_setup.exe", [("YZ1.DLL", plugin_bytes(ctx, test_plugin(ctx))),
                                                ("ARC.YZ1", b"PK")] + installer_in_pack(ctx))
    s.run(exe, extra_env={"YZ1_TEST_MODE": "load:uxtheme.dll",
                          "WINEDLLOVERRIDES": "mscoree,mshtml=;uxtheme=n,b"})
    loaded = [m.lower() for m in loaded_modules(s.trace) if m.lower().endswith("\\uxtheme.dll")]
    expect(loaded and not set(loaded) & {windows_path(p).lower() for p in planted},
           "uxtheme.dll was not loaded from the system folder: %s" % loaded)


@case
def swapped_setup(ctx):
    """The setup is renamed away once it runs and a setup with the same stub
    and another pack put under its name: the run never reads that pack. The
    trace build's first box holds the run after the start and before the
    launcher reads its own file, so the swap falls in that window each time."""
    s = Setup(ctx, "swapped_setup")
    stub = ctx.stub
    ctx.stub = os.path.join(ctx.bin, "launcher_trace.exe")
    try:
        write(s.path("payload", "readme.txt"), b"foreign\n")
        foreign = s.build("parts/foreign_setup.exe")
        write(s.path("payload", "readme.txt"), b"genuine\n")
        exe = s.build("run/swap_setup.exe")
    finally:
        ctx.stub = stub
    with ctx.wine.xvfb() as display:
        proc = ctx.wine.start(windows_path(exe), s.path("cwd"), s.tmp, trace=False, display=display)
        box = find_window(display, "DEBUG", timeout=60)
        expect(box, "the run did not stop at its first trace box")
        os.rename(exe, s.path("run", "renamed_away.exe"))
        shutil.copy(foreign, exe)
        while proc.poll() is None:  # close every box that follows
            box = find_window(display, "DEBUG", timeout=2)
            if box:
                subprocess.run(["xdotool", "key", "--window", box, "Return"],
                               env=dict(os.environ, DISPLAY=display))
        ctx.wine.finish(proc)
    readmes = [read(r) for r in glob.glob(os.path.join(s.tmp, "*_dir", "readme.txt"))]
    receipts = glob.glob(os.path.join(s.tmp, "*_dir", "app", "receipt.txt"))
    expect(b"foreign\n" not in readmes and not receipts,
           "the pack of the setup put in its place was used: %s %s" % (readmes, receipts))


@case
def old_windows_long_names(ctx):
    """A setup whose path is longer than MAX_PATH reads its own pack, never
    that of a sibling named by the path's first 260 characters; on a Windows
    without SetDefaultDllDirectories (its name patched out of the stub) the
    DLLs the run loads by name never come from the setup's folder; when every
    temporary name is taken (hard links to a file elsewhere), the run writes
    into none of them."""
    s = Setup(ctx, "long_path")
    folder = s.path("run", "d" * 120)
    exe = os.path.join(folder, "setup_" + "x" * (300 - len(windows_path(folder))) + ".exe")
    write(s.path("payload", "readme.txt"), b"sibling\n")
    s.build(os.path.join(folder, os.path.basename(exe)[:260 - len(windows_path(folder)) - 1]))
    write(s.path("payload", "readme.txt"), b"genuine\n")
    s.build(exe)
    s.run(exe, trace=False)
    readme = os.path.join(s.unpack_dir(), "readme.txt")
    expect(os.path.exists(readme) and read(readme) == b"genuine\n", "the long-named setup did not read its own pack")
    expect(len(s.receipts()) == 1, "the installer did not run once")

    s = Setup(ctx, "old_windows")
    patched = s.path("parts", "old_windows_stub.exe")
    stub = read(ctx.stub)
    expect(b"SetDefaultDllDirectories" in stub, "the stub does not look up SetDefaultDllDirectories")
    write(patched, stub.replace(b"SetDefaultDllDirectories", b"SetDefaultDllDirectoriez"))
    names = ("uxtheme", "dwmapi", "propsys", "msimg32", "oleaut32")
    planted = [s.path(where, name + ".dll") for where in ("run", "cwd") for name in names]
    for path in planted:
        write(path, plugin_bytes(ctx, test_plugin(ctx)))
    saved, ctx.stub = ctx.stub, patched
    try:  # a pack without an archive: a box, then the installer it carries
        exe = s.build_raw("run/old_setup.exe", [("YZ1.DLL", plugin_bytes(ctx))] + installer_in_pack(ctx))
    finally:
        ctx.stub = saved
    with ctx.wine.xvfb() as display:
        proc = ctx.wine.start(windows_path(exe), s.path("cwd"), s.tmp, display=display,
                              extra_env={"WINEDLLOVERRIDES": "mscoree,mshtml=;%s=n,b" % ",".join(names)})
        box = find_window(display, "ARC.YZ1", timeout=60)
        expect(box, "no box appeared")
        subprocess.run(["xdotool", "key", "--window", box, "Return"], env=dict(os.environ, DISPLAY=display))
        _, s.trace = ctx.wine.finish(proc)
    expect(calls(s.trace, "SetDllDirectoryW"), "the run did not take the path of a Windows without the call")
    loaded = {m.lower() for m in loaded_modules(s.trace)} & {windows_path(p).lower() for p in planted}
    expect(not loaded, "planted DLLs were loaded: %s" % sorted(loaded))
    expect(len(s.receipts("receipt.txt")) == 1, "the installer did not run once")

    s = Setup(ctx, "temp_names_taken")
    outside = [s.path("parts", "outside%d.bin" % i) for i in range(2)]
    for path in outside:
        write(path, b"outside\n")
    for n in range(0x10000):
        os.link(outside[n % 2], os.path.join(s.tmp, "vlk%x.tmp" % n))
    exe = s.build("run/taken_setup.exe")
    s.run(exe)
    expect(all(read(p) == b"outside\n" for p in outside), "the run wrote through a planted link")
    expect(len(os.listdir(s.tmp)) == 0x10000, "the run created something in the full temporary folder")
    expect(not shell_starts(s.trace), "something was started: %s" % shell_starts(s.trace))


def program_calls(trace, exe):
    """The relayed calls made on the thread that loaded exe, in order."""
    loaded = [l for l in trace if 'Loaded L"%s"' % wine_text(windows_path(exe)) in l]
    thread = loaded[0].split(":")[0]
    return [l for l in trace if l.startswith(thread + ":Call ")
            and "Call PE DLL" not in l and "Call TLS callback" not in l]


@case
def paths_outside_code_page(ctx):
    """Names with no exact form in the ANSI code page (1252 here): a setup
    named with Ł (best fit L) reads its own pack, never that of a sibling named
    by the best fit; a temporary folder in Cyrillic is reached by its short
    name."""
    s = Setup(ctx, "lossy_name")
    write(s.path("payload", "readme.txt"), b"sibling\n")
    s.build("run/Lsetup.exe")
    write(s.path("payload", "readme.txt"), b"genuine\n")
    exe = s.build("run/\u0141setup.exe")
    s.run(exe)
    readme = os.path.join(s.unpack_dir(), "readme.txt")
    expect(os.path.exists(readme) and read(readme) == b"genuine\n", "the sibling's pack was used")
    expect(len(s.receipts()) == 1, "the installer did not run once")

    s = Setup(ctx, "cyrillic_temp", tmp="tmp_\u0416\u0443\u043a")
    s.run(s.build("run/temp_setup.exe"))
    expect(len(s.receipts()) == 1, "the installer did not run from a Cyrillic temporary folder")
    short = [c for c in calls(s.trace, "LoadLibraryExW") if "yz1.dll" in c]
    expect(short and "~" in short[0], "the plug-in was not loaded through the short name: %s" % short)


@case
def box_blocks_under_xvfb(ctx):
    s = Setup(ctx, "box_blocks")
    exe = s.build_raw("run/gui_setup.exe", [("YZ1.DLL", plugin_bytes(ctx))] + installer_in_pack(ctx))
    with ctx.wine.xvfb() as display:
        screenshot_box(s, exe, display, "ARC.YZ1")
    expect(len(s.receipts("receipt.txt")) == 1, "the run did not go on after the box was closed")


def screenshot_box(s, exe, display, caption):
    """Runs exe until its box captioned caption is open, takes box.png of the
    screen, checks that the launcher waits, then closes the box."""
    proc = s.ctx.wine.start(windows_path(exe), s.path("cwd"), s.tmp, trace=False, display=display)
    window = find_window(display, caption, timeout=60)
    expect(window, "no box captioned %s appeared" % caption)
    widen(display, window, 320)
    time.sleep(1)
    subprocess.run(["import", "-display", display, "-window", "root", s.path("box.png")], timeout=30)
    expect(proc.poll() is None, "the launcher did not wait for the box")
    expect(not s.receipts("receipt.txt"), "the installer started while the box was open")
    subprocess.run(["xdotool", "key", "--window", window, "Return"], env=dict(os.environ, DISPLAY=display))
    code, _ = s.ctx.wine.finish(proc)
    expect(code == 0, "exit code %d" % code)
    print("screenshot: " + s.path("box.png"))


def widen(display, window, width):
    """Wine sizes a box by its body and buttons only, so a longer caption is
    cut off; a wider window shows all of it."""
    env = dict(os.environ, DISPLAY=display)
    shape = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], capture_output=True, text=True,
                           env=env).stdout
    size = dict(line.split("=", 1) for line in shape.split())
    if int(size.get("WIDTH", width)) < width:
        subprocess.run(["xdotool", "windowsize", window, str(width), size["HEIGHT"]], env=env)


@case
def verify_agrees(ctx):
    """fmix verify's verdict against a real run: exit 0 exactly for the
    setups whose installer then starts."""
    plugin_without_yz1 = plugin_bytes(ctx).replace(b"Yz1\0", b"Yz2\0")

    def unstripped(s):
        """A stub followed by 512 bytes (as a symbol table would) before the pack."""
        exe = s.path("run/unstripped_setup.exe")
        os.makedirs(os.path.dirname(exe))
        with open(exe, "wb") as f:
            f.write(read(ctx.stub) + b"\0" * 512 + make_pack(standard_entries(ctx, s)))
        return exe

    setups = {
        "good": lambda s: s.build("run/good_setup.exe"),
        "solid": lambda s: s.build("run/solid_setup.exe", options=["--solid"]),
        "unstripped": unstripped,
        "missing_installer": lambda s: s.build_raw("run/missing_setup.exe",
                                                   standard_entries(ctx, s, cfg=b"app\\missing.exe")),
        "no_export": lambda s: s.build_raw("run/noexport_setup.exe",
                                           [("YZ1.DLL", plugin_without_yz1)] + standard_entries(ctx, s)[1:]),
        "folder_part": lambda s: s.build_raw("run/folder_setup.exe",
                                             standard_entries(ctx, s) + [("missing\\x.txt", b"x")]),
    }
    runs = []
    with ctx.wine.kept():
        for name, build in setups.items():
            s = Setup(ctx, "verify_" + name)
            exe = build(s)
            s.run_kept(exe)
            runs.append((name, exe, s))
    for name, exe, s in runs:
        verdict = subprocess.run([ctx.fmix, "verify", exe], capture_output=True, text=True)
        ran = len(s.receipts()) == 1
        expect(verdict.returncode == (0 if ran else 1),
               "%s: fmix verify exit %d, but the installer %s:\n%s" % (
                   name, verdict.returncode, "ran" if ran else "did not run", verdict.stdout))
        expect(ran == (name in ("good", "solid")), "%s: the installer %s" % (name, "ran" if ran else "did not run"))


@case
def archives_agree(ctx):
    """Every archive of the corpus (ZIP and the solid format), as ARC.YZ1 beside our plug-in, unpacks
    to its source tree byte for byte, names included, and starts the
    installer; every hostile one unpacks nothing. fmix verify agrees each time."""
    folder = os.path.join(ctx.work, "zip_corpus")
    zip_corpus.clean(folder)
    installer = read(os.path.join(ctx.bin, "sample_installer.exe"))
    archives, src = zip_corpus.make_corpus(folder, installer)
    runs = [(variant, read(path), zip_corpus.tree_of(src)) for variant, path in archives.items()]
    runs += [(variant, data, None) for variant, data in zip_corpus.hostile(installer).items()]
    archive_runs(ctx, "corpus", runs)


def archive_runs(ctx, folder, runs, installer=zip_corpus.INSTALLER, codepage=1252):
    """Runs a setup per (variant, archive, expected), whose ARC.YZ1 is
    archive, one after another in one Wine session; then checks each unpacked
    tree against expected (None: nothing may be unpacked) and fmix verify's
    verdict against the run."""
    s = Setup(ctx, "archive_" + folder)
    cfg = installer.replace("/", "\\").encode("cp%d" % codepage)
    done = []
    with ctx.wine.kept():
        for number, (variant, archive, expected) in enumerate(runs):
            exe = s.build_raw("run/%d/arc_setup.exe" % number,
                              [("YZ1.DLL", plugin_bytes(ctx)), ("ARC.YZ1", archive), ("CONFIG.TXT", cfg)])
            before = s.temp_packs()
            s.run_kept(exe)
            packs = sorted(set(s.temp_packs()) - set(before))
            expect(len(packs) == 1, "%s: %d new temporary pack files, not 1" % (variant, len(packs)))
            done.append((variant, exe, packs[0] + "_dir", expected))
    for variant, exe, unpack_dir, expected in done:
        check_archive_run(ctx, variant, exe, unpack_dir, expected, installer, codepage)


def check_archive_run(ctx, variant, exe, unpack_dir, expected, installer, codepage):
    verdict = subprocess.run([ctx.fmix, "verify", "--codepage=%d" % codepage, exe], capture_output=True, text=True)
    receipt = os.path.dirname(installer) + "/receipt.txt"
    ran = len(receipts_in(unpack_dir, receipt)) == 1
    unpacked = zip_corpus.tree_of(unpack_dir, skip={"YZ1.DLL", "ARC.YZ1", "CONFIG.TXT", receipt})
    print("%-45s verify exit %d, installer %s" % (variant, verdict.returncode, "ran" if ran else "did not run"))
    expect(verdict.returncode == (0 if ran else 1), "%s: fmix verify exit %d, but the installer %s:\n%s" % (
        variant, verdict.returncode, "ran" if ran else "did not run", verdict.stdout))
    expect(unpacked == (expected or {}), "%s: the unpacked tree differs: extra %s, missing %s" % (
        variant, sorted(set(unpacked) - set(expected or {}))[:5], sorted(set(expected or {}) - set(unpacked))[:5]))
    expect(ran == (expected is not None), "%s: the installer %s" % (variant, "ran" if ran else "did not run"))


@case
def zip_many_entries(ctx):
    """A ZIP of 65,536 entries unpacks in full: one more than the 16-bit count
    of the classic end record holds, so only its Zip64 end record counts them
    all. That one entry past the limit is what the case is about; more cost
    minutes under Wine (each file is a create, a write and a close there)."""
    archive, expected = zip_corpus.many_entries(read(os.path.join(ctx.bin, "sample_installer.exe")), 0x10000)
    expect(struct.unpack_from("<H", archive, len(archive) - 12)[0] == 0xFFFF
           and b"PK\x06\x06" in archive[-200:], "the archive does not count its entries in a Zip64 end record")
    ctx.wine.timeout = 300  # the run writes 65,536 files
    archive_runs(ctx, "many", [("zip, 65,536 entries", archive, expected)])
    shutil.rmtree(os.path.join(ctx.work, "archive_many"))  # 65,536 files


# Japanese Windows: ANSI code page 932. "ソ" is 0x83 0x5C in it, a trail
# byte equal to a backslash.
JA_FOLDER, JA_INSTALLER, JA_ENTRIES = "ソフト", "セットアップ.exe", ("表示.txt", "ソフト.ini")


@case
def japanese_windows(ctx):
    ctx.wine.use_locale("ja_JP.UTF-8", "cp932")
    japanese_setup(ctx)
    japanese_compressed_folder(ctx)
    japanese_packs_with_boxes(ctx)


def japanese_setup(ctx):
    """fmix setup --codepage=932: CONFIG.TXT in Shift-JIS names an installer in
    a Japanese folder of the payload; the setup lies in a Japanese folder and
    the temporary folder has a Japanese name too."""
    s = Setup(ctx, "japanese_setup", tmp="一時フォルダ")
    os.makedirs(s.path("payload", JA_FOLDER))
    shutil.copy(os.path.join(ctx.bin, "sample_installer.exe"), s.path("payload", JA_FOLDER, JA_INSTALLER))
    with open(s.path("payload", JA_FOLDER, JA_ENTRIES[0]), "w", encoding="utf-8") as f:
        f.write("説明\n")
    exe = s.build("ダウンロード/ソフトsetup.exe", run=JA_FOLDER + "\\" + JA_INSTALLER, codepage=932)
    s.run(exe)
    unpack = s.unpack_dir()
    config_bytes = (JA_FOLDER + "\\" + JA_INSTALLER).encode("cp932") + b"\r\n"
    expect(read(os.path.join(unpack, "CONFIG.TXT")) == config_bytes, "CONFIG.TXT is not in Shift-JIS")
    expect(os.path.exists(os.path.join(unpack, JA_FOLDER, JA_ENTRIES[0])), "the payload's Japanese name is missing")
    receipts = s.receipts(JA_FOLDER + "/receipt.txt")
    installer = windows_path(os.path.join(unpack, JA_FOLDER, JA_INSTALLER))
    expect(len(receipts) == 1 and receipts[0].startswith(installer + "\r\n"),
           "the installer %s did not run once: %r" % (installer, receipts))
    values = ctx.wine.reg_values(MARK_KEY)
    expect(values.get(windows_path(exe)) == ("REG_DWORD", "0x1"),
           "no mark named %r among %r" % (windows_path(exe), sorted(values)))
    written = calls(s.trace, "RegSetValueExW")
    expect(len(written) == 1 and wine_text(windows_path(exe)) in written[0],
           "the mark's value name is not the program's UTF-16 path: %s" % written)
    # fmix.exe on this Japanese host, where "ソ" ends in the byte 0x5C, builds
    # the same setup.
    same = s.path("ダウンロード", "fmix_exe_setup.exe")
    ctx.wine.console(os.path.join(ctx.bin, "fmix.exe"), "setup", "--codepage=932", "-o", windows_path(same),
                     "--stub", windows_path(ctx.stub), "--plugin", windows_path(os.path.join(ctx.bin, "yz1.dll")),
                     "--payload", windows_path(s.path("payload")), "--run", JA_FOLDER + "\\" + JA_INSTALLER)
    expect(os.path.exists(same) and read(same) == read(exe), "fmix.exe built another setup")


def japanese_compressed_folder(ctx):
    """An archive with Shift-JIS names, as Windows' compressed folders make it
    on Japanese Windows, unpacks under its Japanese names."""
    installer = JA_FOLDER + "/" + JA_INSTALLER
    files = {installer: read(os.path.join(ctx.bin, "sample_installer.exe")), JA_ENTRIES[0]: "説明\n".encode("cp932")}
    archive_runs(ctx, "shift_jis", [("Shift-JIS names, MS-DOS host", zip_corpus.shift_jis_archive(files),
                                     dict(files, **{JA_FOLDER: None}))], installer=installer, codepage=932)


def japanese_packs_with_boxes(ctx):
    """fmix create --codepage=932 names entries in Shift-JIS; they land under
    their UTF-16 names. Two runs under Xvfb show boxes with Japanese text, each
    screenshotted: the plug-in's Shift-JIS report under the caption
    "Yz1.dllより", and the box captioned "ARC.YZ1がありません。"."""
    report = "Error: 書庫「表示.yz1」が壊れています。".encode("cp932")
    for name, plugin, caption, archive in (
            ("japanese_plugin_box", test_plugin(ctx), "Yz1.dllより", {"ARC.YZ1": b"PK", "OUTPUT.TXT": report}),
            ("japanese_no_archive", "yz1.dll", "ARC.YZ1がありません。", {})):
        s = Setup(ctx, name)
        parts = dict({"YZ1.DLL": plugin_bytes(ctx, plugin)}, **archive)
        parts.update({"INST.EXE": read(os.path.join(ctx.bin, "sample_installer.exe")), "CONFIG.TXT": b"INST.EXE",
                      JA_ENTRIES[0]: "表示する\n".encode("utf-8"), JA_ENTRIES[1]: b"[x]\n"})
        for part, data in parts.items():
            with open(s.path("parts", part), "wb") as f:
                f.write(data)
        pack = s.path("japanese.pack")
        s.fmix("create", "--codepage=932", pack, *(s.path("parts", part) for part in parts))
        directory = read(pack)[11:11 + 265 * len(parts)]
        names = [directory[i:i + 256].rstrip(b"\0") for i in range(0, len(directory), 265)]
        expect(names == [part.encode("cp932") for part in parts], "entry names not in Shift-JIS: %s" % names)
        exe = s.path("ダウンロード", "box_setup.exe")
        os.makedirs(os.path.dirname(exe))
        s.fmix("append", ctx.stub, pack, exe)
        with ctx.wine.xvfb() as display:
            screenshot_box(s, exe, display, caption)
        expect(len(s.receipts("receipt.txt")) == 1, "the run did not go on after the box was closed")
        for part in JA_ENTRIES:
            path = os.path.join(s.unpack_dir(), part)
            expect(os.path.exists(path) and read(path) == parts[part], "%s not unpacked under its name" % part)


@case
def installed_kit(ctx):
    """The kit installed into a prefix, then moved: its fmix, which links no
    sanitizer runtime, builds a setup from the stub and plug-in installed
    beside it, the setup reaches its installer, fmix.exe unzipped from the
    Windows zip builds the same setup, and a missing default plug-in is named."""
    if not os.path.exists(os.path.join(ctx.kit, "bin", "fmix")):
        print("SKIP: the kit is not built in " + ctx.kit)
        return
    s = Setup(ctx, "installed_kit")
    installed, moved = s.path("installed"), s.path("moved", "kit")
    result = subprocess.run(["cmake", "--install", ctx.kit, "--prefix", installed, "--strip"],
                            capture_output=True, text=True)
    expect(result.returncode == 0, "cmake --install: " + result.stdout + result.stderr)
    os.makedirs(os.path.dirname(moved))
    os.rename(installed, moved)
    fmix = os.path.join(moved, "bin", "fmix")
    needed = subprocess.run(["readelf", "-d", fmix], capture_output=True, text=True).stdout
    expect("NEEDED" in needed and not re.search(r"lib[a-z]*san", needed), "fmix links a sanitizer:\n" + needed)
    for name in ("launcher.exe", "yz1.dll"):
        expect(read(os.path.join(moved, "share", "fmix", name)) == read(os.path.join(ctx.bin, name)),
               "the installed %s is not the shipped one" % name)

    def setup(exe):
        return subprocess.run([fmix, "setup", "-o", exe, "--payload", s.path("payload"), "--run", "app\\setup.exe"],
                              capture_output=True, text=True)
    exe = s.path("app_setup.exe")
    result = setup(exe)
    expect(result.returncode == 0 and not result.stderr, "fmix setup with the defaults: " + result.stderr)
    s.run(exe)
    expect(len(s.receipts()) == 1, "the installer did not run once")
    # fmix.exe from the Windows zip takes the stub and plug-in beside it.
    result = subprocess.run(["cpack", "--config", os.path.join(ctx.kit_win32, "CPackConfig.cmake"),
                             "-B", s.path("zip")], capture_output=True, text=True)
    expect(result.returncode == 0, "cpack: " + result.stdout + result.stderr)
    with zipfile.ZipFile(glob.glob(s.path("zip", "*.zip"))[0]) as z:
        z.extractall(s.path("unzipped"))
    same = s.path("fmix_exe_setup.exe")
    ctx.wine.console(glob.glob(s.path("unzipped", "*", "fmix.exe"))[0], "setup", "-o", windows_path(same),
                     "--payload", windows_path(s.path("payload")), "--run", "app\\setup.exe")
    expect(os.path.exists(same) and read(same) == read(exe), "fmix.exe from the zip built another setup")
    # It reads the wide command line: a Japanese installer path given on
    # Western Windows arrives whole and gives the same setup as fmix here.
    os.makedirs(s.path("payload_ja", JA_FOLDER))
    shutil.copy(os.path.join(ctx.bin, "sample_installer.exe"), s.path("payload_ja", JA_FOLDER, JA_INSTALLER))
    run = JA_FOLDER + "\\" + JA_INSTALLER
    subprocess.run([fmix, "setup", "--codepage", "932", "-o", s.path("ja_setup.exe"), "--payload",
                    s.path("payload_ja"), "--run", run], check=True, capture_output=True)
    ctx.wine.console(glob.glob(s.path("unzipped", "*", "fmix.exe"))[0], "setup", "--codepage", "932", "-o",
                     windows_path(s.path("ja_exe_setup.exe")), "--payload", windows_path(s.path("payload_ja")),
                     "--run", run)
    expect(os.path.exists(s.path("ja_exe_setup.exe")) and read(s.path("ja_exe_setup.exe")) == read(
        s.path("ja_setup.exe")), "fmix.exe on Western Windows built another setup of a Japanese path")
    os.remove(os.path.join(moved, "share", "fmix", "yz1.dll"))
    result = setup(s.path("second_setup.exe"))
    expect(result.returncode == 1 and os.path.join(moved, "share", "fmix", "yz1.dll") in result.stderr
           and "--plugin" in result.stderr and not os.path.exists(s.path("second_setup.exe")),
           "a missing default plug-in: %d %r" % (result.returncode, result.stderr))


def wine_text(text):
    """text as Wine's relay trace shows a UTF-16 string: backslashes doubled,
    other characters beyond ASCII as \\NNNN (hex)."""
    return "".join("\\\\" if c == "\\" else c if " " <= c < "\x7f" else "\\%04x" % ord(c) for c in text)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--fmix", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--kit", default="", help="the kit's build tree (installed_kit)")
    parser.add_argument("--kit-win32", default="", help="the Windows kit's build tree (installed_kit)")
    parser.add_argument("--wine-base", default=None, help="a booted prefix that the case's prefix is copied from")
    parser.add_argument("case", choices=sorted(CASES))
    ctx = parser.parse_args()
    if not os.path.exists(ctx.fmix):
        print("FAILED: the native fmix is not built at %s (make native)" % ctx.fmix)
        return 1
    ctx.stub = os.path.join(ctx.bin, "launcher.exe")
    ctx.work = os.path.abspath(ctx.work)
    ctx.wine = WineSession(os.path.join(ctx.work, "wineprefix"), base=ctx.wine_base)
    try:
        CASES[ctx.case](ctx)
    except Check as failure:
        print("FAILED %s: %s" % (ctx.case, failure))
        return 1
    print("passed " + ctx.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
