"""fmix verify on real setups made broken in each way the launcher's run
can fail, fmix setup's check of its own output, and setups built twice from
the same payload.
usage: fmix_verify_test.py WIN32_BIN FMIX [WINE_RUNNER]"""
import io
import json
import os
import shutil
import struct
import sys
import zipfile
import zlib

from fmix_harness import Fmix, dll, expect, pack, raw_controls, read, run_cases, sharing, write

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "e2e"))
from code_signing import CodeSigner  # noqa: E402

BIN = sys.argv[1]


def stub():
    return read(os.path.join(BIN, "launcher.exe"))


def plugin_without_export():
    """yz1.dll with its one export renamed: still a DLL, but without Yz1."""
    dll = read(os.path.join(BIN, "yz1.dll"))
    expect(dll.count(b"Yz1\0") == 1, "yz1.dll should name its export once")
    return dll.replace(b"Yz1\0", b"Yz2\0")


def stored_zip(files):
    """A ZIP of (name, bytes) entries, stored, so that its data can be altered."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as z:
        for name, data in files:
            z.writestr(name, data)
    return out.getvalue()


INSTALLER = b"MZ installer stand-in"
GOOD_ZIP = stored_zip([("app/setup.exe", INSTALLER), ("readme.txt", b"hello")])


def setup_bytes(config=b"app\\setup.exe\r\n", archive=GOOD_ZIP, plugin=None, extra=(), head=None):
    entries = [(b"YZ1.DLL", plugin or read(os.path.join(BIN, "yz1.dll")), 0),
               (b"ARC.YZ1", archive, 0), (b"CONFIG.TXT", config, 0)] + list(extra)
    return (head or stub()) + pack(entries)


def verify(fmix, work, data, name="app_setup.exe"):
    """(exit code, output lines) of fmix verify on data saved as name."""
    write(os.path.join(work, name), data)
    code, out, err = fmix.run("verify", fmix.path(os.path.join(work, name)))
    lines = out.splitlines()
    expect(lines and lines[-1].startswith("verdict: "), "no verdict (exit %d): %r, stderr %r" % (code, out, err))
    return code, lines


def expect_failure(fmix, work, data, *lines):
    code, out = verify(fmix, work, data)
    expect(code == 1 and out[-1].startswith("verdict: FAIL"), "exit %d: %s" % (code, out))
    for line in lines:
        expect(any(o.startswith(line) for o in out), "no line %r in %s" % (line, out))


def good_setup_passes(fmix, work):
    code, out = verify(fmix, work, setup_bytes())
    expect(code == 0 and out[-1] == "verdict: ok: the setup will reach its installer", "exit %d: %s" % (code, out))
    for topic in ("image", "pack", "config", "plugin", "archive", "installer"):
        expect(any(o.startswith("ok    %s: " % topic) for o in out), "no ok line for %s: %s" % (topic, out))
    expect(out.count('note  scramble: "YZ1.DLL" stored plain (mode 0)') == 1, "scramble notes: %s" % out)
    expect(any('note  mark: the file name holds "setup"' in o for o in out), "mark note: %s" % out)
    _, out = verify(fmix, work, setup_bytes(), name="App_Setup.exe")
    expect(any("neither" in o and o.startswith("note  mark:") for o in out), "case-sensitive mark: %s" % out)
    # The installer may be an entry of the pack itself; names match in any case.
    code, out = verify(fmix, work, setup_bytes(config=b"inst.exe", extra=[(b"INST.EXE", INSTALLER, 2)]))
    expect(code == 0 and 'note  scramble: "INST.EXE" scrambled in mode 2' in out, "pack installer: %s" % out)


def names_read_in_the_target_code_page(fmix, work):
    """A Japanese setup: CONFIG.TXT and a pack entry in Shift-JIS pass with
    --codepage=932, noted as starting only there; read as 1252 the installer
    path names no file, and verify suggests the code page where it does."""
    config = "ソフト\\セットアップ.exe".encode("cp932")
    archive = stored_zip([("ソフト/セットアップ.exe", INSTALLER)])
    data = setup_bytes(config=config, archive=archive, extra=[("表示.txt".encode("cp932"), b"x", 0)])
    write(os.path.join(work, "jp_setup.exe"), data)
    code, out, _ = fmix.run("verify", "--codepage=932", fmix.path(os.path.join(work, "jp_setup.exe")))
    expect(code == 0 and "only on Windows whose ANSI code page is 932" in out, "exit %d with --codepage=932: %s" % (code, out))
    code, out = verify(fmix, work, data)
    expect(code == 1 and any(o.startswith("FAIL  installer:") for o in out)
           and any(o.startswith("note  config:") and o.endswith("try --codepage=932") for o in out),
           "exit %d as 1252: %s" % (code, out))
    code, _, err = fmix.run("verify", "--codepage=99999", fmix.path(os.path.join(work, "jp_setup.exe")))
    expect(code == 2, "an unknown code page gave exit %d: %s" % (code, err))


def broken_images_and_packs(fmix, work):
    good = setup_bytes()
    expect_failure(fmix, work, stub() + b"\0" * 1234 + good[len(stub()):],
                   "FAIL  image: 1234 bytes lie between the last section's end")
    expect_failure(fmix, work, stub(), "FAIL  image: nothing the launcher takes for a pack")
    expect_failure(fmix, work, good[:-5], 'FAIL  pack: the data of "CONFIG.TXT" reaches past the end of the file (5 bytes')
    expect_failure(fmix, work, good[:len(stub()) + 11 + 300], "FAIL  pack: cut off inside its directory: 1 of 3")
    expect_failure(fmix, work, b"MZ" + b"\0" * 200, "FAIL  image: not a 32-bit Windows executable")


def broken_configs(fmix, work):
    expect_failure(fmix, work, setup_bytes(config=b"app\\missing.exe\r\n"),
                   'FAIL  installer: "app\\missing.exe" is neither a file of the archive nor an entry of the pack')
    for config, says in ((b"C:\\app\\setup.exe", "is no path relative"), (b"..\\setup.exe", "is no path relative"),
                         (b" \r\n", "config.txt is empty"), (b"app\\setup.exe" + b" " * 65536, "65549 bytes, more than"),
                         (b"app\\setup.exe\r\nsecond", "\"app\\setup.exe\\r\\nsecond\" holds a control character")):
        code, out = verify(fmix, work, setup_bytes(config=config))
        expect(code == 1 and any(o.startswith("FAIL  config:") and says in o for o in out), "%r: %s" % (config, out))
    data = stub() + pack([(b"YZ1.DLL", read(os.path.join(BIN, "yz1.dll")), 0), (b"ARC.YZ1", GOOD_ZIP, 0)])
    expect_failure(fmix, work, data, "FAIL  config: no entry config.txt")


def broken_plugins(fmix, work):
    expect_failure(fmix, work, setup_bytes(plugin=plugin_without_export()),
                   'FAIL  plugin: "YZ1.DLL" does not export Yz1')
    no_entry = read(os.path.join(BIN, "test_plugins", "yz1_no_entry.dll"))
    expect_failure(fmix, work, setup_bytes(plugin=no_entry), 'FAIL  plugin: "YZ1.DLL" does not export Yz1')
    expect_failure(fmix, work, setup_bytes(plugin=stub()), 'FAIL  plugin: "YZ1.DLL" is no 32-bit Windows DLL')


def broken_archives(fmix, work):
    at = GOOD_ZIP.index(INSTALLER)
    bad_crc = GOOD_ZIP[:at] + b"X" + GOOD_ZIP[at + 1:]
    expect_failure(fmix, work, setup_bytes(archive=bad_crc), "FAIL  archive: CRC mismatch: app/setup.exe")
    hostile = stored_zip([("app/setup.exe", INSTALLER), ("../evil.txt", b"x")])
    expect_failure(fmix, work, setup_bytes(archive=hostile), "FAIL  archive: unsafe name refused: ../evil.txt")
    expect_failure(fmix, work, setup_bytes(archive=GOOD_ZIP[:-30]), "FAIL  archive: ")
    data = stub() + pack([(b"YZ1.DLL", read(os.path.join(BIN, "yz1.dll")), 0), (b"CONFIG.TXT", b"x.exe", 0)])
    expect_failure(fmix, work, data, "FAIL  archive: no entry arc.yz1")
    # Another format than ZIP: our plug-in fails on it, another one may not.
    expect_failure(fmix, work, setup_bytes(archive=b"yz1 data"), "FAIL  archive: not a ZIP archive: ARC.YZ1")
    foreign = read(os.path.join(BIN, "test_plugins", "yz1_test_plugin.dll"))
    code, out = verify(fmix, work, setup_bytes(archive=b"yz1 data", plugin=foreign))
    expect(code == 0 and any(o.startswith("warn  installer:") for o in out) and "unchecked" in out[-1],
           "a foreign archive format: %s" % out)


def hostile_entry_names(fmix, work):
    expect_failure(fmix, work, setup_bytes(extra=[(b"..\\evil.txt", b"x", 0)]),
                   'FAIL  pack: entry "..\\evil.txt" has an unsafe name')
    expect_failure(fmix, work, setup_bytes(extra=[(b"sub\\x.txt", b"x", 0)]),
                   'FAIL  pack: entry "sub\\x.txt" would fail to be written: its folder will not exist')
    expect_failure(fmix, work, setup_bytes(extra=[(b"a?b", b"x", 0)]), 'FAIL  pack: entry "a?b" would fail')
    expect_failure(fmix, work, setup_bytes(extra=[(b"YZ1.DLL.", b"x", 0)]),
                   'FAIL  pack: entry "YZ1.DLL." would be written under another name',
                   'FAIL  pack: entries "YZ1.DLL" and "YZ1.DLL." would be one file on Windows')
    expect_failure(fmix, work, setup_bytes(extra=[(b"Readme.txt", b"1", 0), (b"README.TXT", b"2", 0)]),
                   'FAIL  pack: entries "Readme.txt" and "README.TXT" would be one file on Windows')
    expect_failure(fmix, work, setup_bytes(extra=[(b"a\nb", b"x", 0)]), 'FAIL  pack: entry "a\\nb" would fail')
    write(os.path.join(work, "p.pack"), pack([(b"a\x01b\r", b"x", 0)]))
    listed = fmix.ok("list", fmix.path(os.path.join(work, "p.pack")))
    expect(listed.startswith("a\\x01b\\r\t1\t"), "fmix list shows control characters: %r" % listed)


def hostile_text_spelled_out(fmix, work):
    """Text from the setup reaches the terminal spelled out: an import name,
    CONFIG.TXT, a pack name (no 1252 text, so read one character per byte:
    0x9B is CSI) and ZIP names."""
    archive = stored_zip([("app/setup.exe", INSTALLER), ("../\u202egpj.exe\u0085\u009b", b"x")])
    data = setup_bytes(plugin=dll(imports=(b"evil\x1b[2K\r\x07ok.dll",)), archive=archive,
                       config=b"a\x1b[1A.exe", extra=[(b"\x81\x9b2J\x1b]0;t\x07", b"x", 0)])
    write(os.path.join(work, "app_setup.exe"), data)
    code, out, err = fmix.run("verify", fmix.path(os.path.join(work, "app_setup.exe")))
    expect(code == 1 and not raw_controls(out + err), "raw control characters: %r" % out)
    for shown in ("evil\\x1B[2K\\r\\x07ok.dll", '"a\\x1B[1A.exe"', "\\u0081", "2J\\x1B]0;t\\x07"):
        expect(shown in out, "%r not shown in %r" % (shown, out))


def long_names_cut(fmix, work):
    """An installer path of 60,000 characters shows its first 2048 and how many it left out."""
    code, out = verify(fmix, work, setup_bytes(config=b"app\\" + b"x" * 60000 + b"\r\n"))
    expect(max(map(len, out)) < 3 * 2048 and any(" more characters)" in o for o in out), "%d: %s" % (code, out))


def hostile_plugin_headers_bounded(fmix, work):
    """Import directories made to cost time and memory: 10,000 descriptors
    sharing one name of 300 KB or one of 204 bytes, 250 foreign DLLs. Each is
    a FAIL in a few short lines, within little memory."""
    for plugin, says in ((dll(imports=(b"x" * 300000,), repeat=10000), "has an import directory that is damaged"),
                         (dll(imports=(b"y" * 200 + b".dll",), repeat=10000), "passes fmix's bounds"),
                         (dll(imports=[b"f%03d.dll" % i for i in range(250)]), "f007.dll and 242 more")):
        write(os.path.join(work, "app_setup.exe"), setup_bytes(plugin=plugin))
        code, out, _, peak = fmix.measured("verify", fmix.path(os.path.join(work, "app_setup.exe")))
        expect(code == 1 and 'FAIL  plugin: "YZ1.DLL" ' in out and says in out, "exit %d: %r" % (code, out[:2000]))
        expect(len(out) < 4000 and out.count("\n") < 20 and peak < 300,
               "%d bytes, %d lines, %d MB" % (len(out), out.count("\n"), peak))


def overlapping_records(fmix, work):
    """500 records on the data of ARC.YZ1 unpack into 500 times its size: a
    FAIL, and a report that stays short."""
    extra = [(b"x%03d" % i, b"", 0) for i in range(500)]
    data = sharing(setup_bytes(extra=extra), 1, range(3, 503), base=len(stub()))
    code, out = verify(fmix, work, data)
    expect(code == 1 and 'FAIL  pack: the data of "ARC.YZ1" and "x000" overlap (500 records begin inside '
           "another's data): unpacked, the pack grows past its size" in out, "exit %d: %s" % (code, out))
    expect(len(out) < 40 and "note  scramble: 487 more lines of this topic left out" in out, "%s" % out)


def archive_refusals_and_notes(fmix, work):
    """What the plug-in refuses on opening, one line per cause; an installer
    stored only decomposed; macOS metadata; paths past MAX_PATH under a
    temporary folder of 70 characters; pack names equal but for an accent's case."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        z.writestr("app/setup.exe", INSTALLER)
        for i in range(5):
            z.writestr("b%d.txt" % i, b"bzip2\n" * 50, compress_type=zipfile.ZIP_BZIP2)
    expect_failure(fmix, work, setup_bytes(archive=out.getvalue()),
                   'FAIL  archive: 5 entries refused, compressed with BZip2 (method 12), which the plug-in cannot '
                   'unpack: b0.txt, b1.txt, b2.txt and 2 more; zip it again with Deflate')
    decomposed = stored_zip([("U\u0308ber/setup.exe", INSTALLER)])
    expect_failure(fmix, work, setup_bytes(config="Über\\setup.exe".encode("cp1252"), archive=decomposed),
                   'FAIL  installer: "Über\\setup.exe" is a file of the archive only in decomposed form (NFD')
    long_dir = "d" * 185
    mac = stored_zip([(long_dir + "/setup.exe", INSTALLER), ("__MACOSX/app/._setup.exe", b"x"),
                      ("app/._readme", b"x")])
    code, lines = verify(fmix, work, setup_bytes(config=long_dir.encode() + b"\\setup.exe", archive=mac))
    for line in ('note  archive: 2 entries ("__MACOSX/app/._setup.exe", "app/._readme") are macOS metadata, '
                 'unpacked as files',
                 'warn  archive: under a temporary folder of 70 characters the paths of 1 entry ("%s/setup.exe") '
                 'reach up to 265 characters, past MAX_PATH (260)' % long_dir,
                 'FAIL  installer: "%s\\setup.exe" makes a path of 265 characters under a temporary folder of '
                 '70 characters, past MAX_PATH (260): ShellExecuteExA cannot start it' % long_dir):
        expect(code == 1 and any(o.startswith(line) for o in lines), "no line %r in %s" % (line, lines))
    expect_failure(fmix, work, setup_bytes(extra=[(b"\xe9.txt", b"1", 0), (b"\xc9.txt", b"2", 0)]),
                   'FAIL  pack: entries "é.txt" and "É.txt" would be one file on Windows')


def every_problem_reported(fmix, work):
    code, out = verify(fmix, work, setup_bytes(plugin=plugin_without_export(), config=b"nothing.exe",
                                               extra=[(b"sub\\x.txt", b"x", 0)]))
    fails = [o for o in out if o.startswith("FAIL")]
    expect(code == 1 and len(fails) == 3 and out[-1].startswith("verdict: FAIL (3 problems)"), "%s" % out)


def signed(data, offset_in_pack=None):
    """data with a WIN_CERTIFICATE-shaped table appended (8-byte aligned) and
    the security directory pointing at it, or at offset_in_pack."""
    data += b"\0" * (-len(data) % 8)
    body = bytes(range(200))
    table = struct.pack("<IHH", 8 + len(body), 0x0200, 0x0002) + body
    table += b"\0" * (-len(table) % 8)
    pe = struct.unpack_from("<I", data, 60)[0]
    offset = len(data) if offset_in_pack is None else offset_in_pack
    image = bytearray(data + table)
    struct.pack_into("<II", image, pe + 24 + 96 + 8 * 4, offset, len(table))
    return bytes(image)


def signed_setups(fmix, work):
    """A table shaped like a certificate table but holding no signature: the
    native fmix fails it (Windows would show the setup unsigned), fmix.exe
    notes that it does not check signatures."""
    good = setup_bytes()
    code, out = verify(fmix, work, signed(good))
    unchecked = any(o.startswith("note  signature: not checked by fmix.exe") for o in out)
    expect(code == 0 if unchecked else code == 1 and "FAIL  signature: the certificate table holds no "
           "Authenticode signature that can be read" in out, "a signature of junk: %s" % out)
    expect("note  signature: certificate table of 208 bytes at 0x%X, after the pack (a signed setup)"
           % (len(good) + (-len(good) % 8)) in out, "signature note: %s" % out)
    expect_failure(fmix, work, signed(good, offset_in_pack=len(stub()) + 20), "FAIL  signature: ")
    code, out = verify(fmix, work, signed(setup_bytes(plugin=plugin_without_export())))
    expect(code == 1, "a signed broken setup passed: %s" % out)


def signer_name_spelled_out(fmix, work):
    """A certificate named with a line break and terminal controls shows its
    name spelled out on its own line: it fakes no ok line and hides not the
    failure after it (fmix.exe checks no signature)."""
    name = "Evil\x1b[2K\r\nok    plugin: fine\x1b[8m"
    write(os.path.join(work, "unsigned.exe"), setup_bytes(plugin=plugin_without_export()))
    CodeSigner(os.path.join(work, "signing"), "/CN=" + name).sign(os.path.join(work, "unsigned.exe"),
                                                                 os.path.join(work, "signed.exe"))
    code, out = verify(fmix, work, read(os.path.join(work, "signed.exe")))
    expect(code == 1 and not raw_controls("\n".join(out)) and 'FAIL  plugin: "YZ1.DLL" does not export Yz1: the '
           "run ends silently" in out, "%s" % out)
    shown = "signed by CN=Evil\\x1B[2K\\r\\nok    plugin: fine\\x1B[8m, not checked against a trust store"
    expect(any(o.startswith("note  signature: not checked by fmix.exe") for o in out) or
           any(o.startswith("ok    signature: sha256 digest matches; ") and o.endswith(shown) for o in out),
           "%r not shown in %s" % (shown, out))


def zip_of(entries):
    """A ZIP of (name, method, CRC, size, data as stored) entries."""
    out, central = b"", b""
    for name, method, crc, size, data in entries:
        header = struct.pack("<HHHHHIIIHH", 20, 0, method, 0, 0x21, crc, len(data), size, len(name), 0)
        central += b"PK\1\2" + struct.pack("<H", 20) + header + struct.pack("<HHHII", 0, 0, 0, 0, len(out)) + name
        out += b"PK\3\4" + header + name + data
    count = struct.pack("<HH", len(entries), len(entries))
    return out + central + b"PK\5\6" + struct.pack("<HH", 0, 0) + count + struct.pack("<IIH", len(central), len(out), 0)


def decompression_bomb_warned(fmix, work):
    """A ZIP of 1 MB whose files add up to 1100 MB (one block of 4 MB of
    zeros, deflated and repeated): a warn line, the installer's CRC checked,
    the bomb left undecoded."""
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    zeros = bytes(4 << 20)
    block = compressor.compress(zeros) + compressor.flush(zlib.Z_FULL_FLUSH)
    crc = 0
    for _ in range(275):
        crc = zlib.crc32(zeros, crc)
    archive = zip_of([(b"app/setup.exe", 0, zlib.crc32(INSTALLER), len(INSTALLER), INSTALLER),
                      (b"app/zeros.bin", 8, crc, 275 * len(zeros), block * 275 + b"\3\0")])
    write(os.path.join(work, "app_setup.exe"), setup_bytes(archive=archive))
    code, out, _, peak = fmix.measured("verify", fmix.path(os.path.join(work, "app_setup.exe")))
    warning = "warn  archive: its files add up to 1100 MB, %d times the %d bytes of the archive (a decompression " \
              "bomb?)" % ((275 * len(zeros) + len(INSTALLER)) // len(archive), len(archive))
    expect(code == 0 and any(o.startswith(warning) for o in out.splitlines()) and peak < 300 and
           "ok    archive: ZIP archive of 2 entries, the CRCs of the files decoded check (1 file not decoded)" in out,
           "exit %d, %d MB: %s" % (code, peak, out))


def usage_errors_and_json(fmix, work):
    for args in (["verify"], ["verify", "a", "b"]):
        code, _, err = fmix.run(*args)
        expect(code == 2 and "(see fmix help verify)" in err, "%s: exit %d %r" % (args, code, err))
    code, out, _ = fmix.run("verify", fmix.path(os.path.join(work, "missing.exe")))
    expect(code == 1 and out.startswith("FAIL  image: cannot read"), "a missing file: %d %r" % (code, out))
    # --json says what the lines say, with the same exit code; a hostile
    # name stays inside its string.
    _, lines = verify(fmix, work, setup_bytes(config=b'app\\"\x1b\xe9.exe\r\n'))
    code, out, _ = fmix.run("verify", "--json", fmix.path(os.path.join(work, "app_setup.exe")))
    report = json.loads(out)
    expect(code == 1 and report["verdict"] == "fail" and report["summary"] == lines[-1], "json verdict: %r" % out)
    expect(["%-4s  %s: %s" % ({"fail": "FAIL"}.get(c["level"], c["level"]), c["topic"], c["text"])
            for c in report["checks"]] == lines[:-1], "json checks differ from the lines: %r" % out)


def payload(root, mode, mtime):
    """The same payload tree, with the given file modes and times."""
    os.makedirs(os.path.join(root, "app", "empty"))
    write(os.path.join(root, "app", "setup.exe"), read(os.path.join(BIN, "sample_installer.exe")))
    write(os.path.join(root, "readme.txt"), b"hello\n" * 1000)
    write(os.path.join(root, "zeta.txt"), b"")
    for folder, dirs, files in os.walk(root):
        for name in files + dirs:
            path = os.path.join(folder, name)
            os.chmod(path, mode | (0o111 if name in dirs else 0))
            os.utime(path, (mtime, mtime))
    return root


def fmix_setup(fmix, work, payload_dir, out, plugin=None):
    return fmix.run("setup", "-o", fmix.path(out), "--stub", fmix.path(os.path.join(BIN, "launcher.exe")),
                    "--plugin", fmix.path(plugin or os.path.join(BIN, "yz1.dll")),
                    "--payload", fmix.path(payload_dir), "--run", "app\\setup.exe")


def setups_are_reproducible(fmix, work):
    a = payload(os.path.join(work, "a"), 0o644, 1_000_000_000)
    b = payload(os.path.join(work, "b"), 0o600, 1_700_000_000)
    for source, out in ((a, "one_setup.exe"), (b, "two_setup.exe")):
        code, _, err = fmix_setup(fmix, work, source, os.path.join(work, out))
        expect(code == 0, "fmix setup: %s" % err)
        fmix.ok("zip", fmix.path(os.path.join(work, out + ".yz1")), fmix.path(source))
    expect(read(os.path.join(work, "one_setup.exe")) == read(os.path.join(work, "two_setup.exe")),
           "two setups of the same payload differ")
    expect(read(os.path.join(work, "one_setup.exe.yz1")) == read(os.path.join(work, "two_setup.exe.yz1")),
           "two ZIP archives of the same payload differ")
    with zipfile.ZipFile(os.path.join(work, "one_setup.exe.yz1")) as z:
        expect([i.filename for i in z.infolist()] == ["app/empty/", "app/setup.exe", "readme.txt", "zeta.txt"],
               "entry order: %s" % z.namelist())
        expect({(i.date_time, i.create_system, i.external_attr & 0xFFFF0000, i.extra) for i in z.infolist()}
               == {((1980, 1, 1, 0, 0, 0), 0, 0, b"")}, "host-dependent ZIP fields")
    code, out = verify(fmix, work, read(os.path.join(work, "one_setup.exe")))
    expect(code == 0, "fmix setup made a setup that fails fmix verify: %s" % out)


def payload_links_refused(fmix, work):
    """A link would ship what it points to, secrets included, or leave a
    linked folder out: fmix setup and fmix zip refuse links and special
    files, one line each, and write nothing."""
    if fmix.runner:
        return  # Wine follows links; a Windows payload holds none of these
    source = payload(os.path.join(work, "p"), 0o644, 1_000_000_000)
    os.symlink("/proc/self/environ", os.path.join(source, "environ"))
    os.symlink(os.path.join(source, "app"), os.path.join(source, "linked"))
    os.mkfifo(os.path.join(source, "fifo"))
    os.mkdir(os.path.join(work, "out"))
    code, _, err = fmix_setup(fmix, work, source, os.path.join(work, "out", "app_setup.exe"))
    lines = err.strip().splitlines()
    expect(code == 1 and len(lines) == 3 and all(any(says in line for line in lines) for says in
           ("environ: a symbolic link", "fifo: a special file", "linked: a symbolic link")), "exit %d: %r" % (code, err))
    code, _, err = fmix.run("zip", os.path.join(work, "out", "p.yz1"), source)
    expect(code == 1 and len(err.strip().splitlines()) == 3, "fmix zip: exit %d: %r" % (code, err))
    expect(os.listdir(os.path.join(work, "out")) == [], "left %s" % os.listdir(os.path.join(work, "out")))


def setup_refuses_its_own_failure(fmix, work):
    source = payload(os.path.join(work, "p"), 0o644, 1_000_000_000)
    write(os.path.join(work, "noexport.dll"), plugin_without_export())
    os.mkdir(os.path.join(work, "out"))
    code, out, err = fmix_setup(fmix, work, source, os.path.join(work, "out", "app_setup.exe"),
                                plugin=os.path.join(work, "noexport.dll"))
    lines = err.strip().splitlines()
    expect(code == 1 and lines[0] == 'FAIL  plugin: "YZ1.DLL" does not export Yz1: the run ends silently'
           and "would not reach its installer" in lines[-1] and len(lines) == 2, "exit %d: %r" % (code, err))
    expect(os.listdir(os.path.join(work, "out")) == [], "fmix setup left %s" % os.listdir(os.path.join(work, "out")))


if __name__ == "__main__":
    if not os.path.exists(sys.argv[2]):
        print("SKIP: no fmix at " + sys.argv[2])
        sys.exit(0)
    run_cases([good_setup_passes, names_read_in_the_target_code_page, broken_images_and_packs, broken_configs, broken_plugins, broken_archives,
               archive_refusals_and_notes, hostile_entry_names, hostile_text_spelled_out,
               long_names_cut, hostile_plugin_headers_bounded, overlapping_records, every_problem_reported, signed_setups, signer_name_spelled_out,
               decompression_bomb_warned, usage_errors_and_json,
               setups_are_reproducible, payload_links_refused, setup_refuses_its_own_failure],
              Fmix(sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else None))
