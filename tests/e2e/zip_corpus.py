"""Archives for ARC.YZ1 made by the tools publishers use: ZIP by Info-ZIP
zip, 7-Zip (7zz), bsdtar and Python's zipfile, each in its default form and
common variants, xz-compressed tars (the solid format) by GNU tar and bsdtar,
and hostile archives made by hand. Nothing is checked in: every
archive is made from a source tree at test time.

Each maker takes (source folder, output path) and writes the archive; an
archive of the corpus unpacks to exactly the source tree."""

import io
import os
import random
import shutil
import struct
import subprocess
import tempfile
import zipfile

INSTALLER_DIR = "Über"
INSTALLER = INSTALLER_DIR + "/setup.exe"


def make_tree(root, installer):
    """The source tree: the installer in a non-ASCII folder, Japanese names,
    an empty file and folder, text that deflates and bytes that do not."""
    rng = random.Random(7)
    files = {
        INSTALLER: installer,
        INSTALLER_DIR + "/Überblick.txt": "Überblick\n".encode() * 50,
        "日本語/ファイル.txt": "説明\n".encode() * 30,
        "docs/readme.txt": b"read me first\n" * 400,
        "docs/empty.txt": b"",
        "data/random.bin": bytes(rng.getrandbits(8) for _ in range(70000)),
    }
    for name, data in files.items():
        os.makedirs(os.path.join(root, os.path.dirname(name)), exist_ok=True)
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)
    os.makedirs(os.path.join(root, "leer"))
    return root


def many_entries(installer, count, per_folder=32, every=16):
    """A ZIP of count entries, made in memory by Python's zipfile, and the
    tree it unpacks to: the installer and small files, per_folder to a folder
    (a folder of thousands of names is slow to add to under Wine, which looks
    each new name up case-blind by reading the folder). One file of each
    `every`, and the last, holds its number, the others are empty: each name
    is distinct, so an entry unpacked from another's place still shows, and
    an empty file costs no disk block to write and to remove."""
    tree = {INSTALLER_DIR: None, INSTALLER: installer, "many": None}
    for i in range(count - 1):
        if i % per_folder == 0:
            tree["many/%04d" % (i // per_folder)] = None
        tree["many/%04d/%05d.txt" % (i // per_folder, i)] = b"%d\n" % i if i % every == 0 or i == count - 2 else b""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for rel, data in tree.items():
            if data is not None:
                z.writestr(rel, data)
    return out.getvalue(), tree


def tree_of(root, skip=()):
    """{relative path: bytes, or None for a folder} of everything under root."""
    tree = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root).replace(os.sep, "/")
            if rel in skip:
                continue
            if name in files:
                with open(path, "rb") as f:
                    tree[rel] = f.read()
            else:
                tree[rel] = None
    return tree


def tool(*argv, cwd, stdout=None):
    subprocess.run(argv, cwd=cwd, check=True, stdout=stdout or subprocess.DEVNULL)


def info_zip(*options):
    return lambda src, out: tool("zip", "-qr", *options, out, ".", cwd=src)


def info_zip_streamed(src, out):
    with open(out, "wb") as f:
        tool("zip", "-qr", "-", ".", cwd=src, stdout=f)


def info_zip_sfx(adjust):
    """A self-extracting ZIP: other bytes, then the archive; zip -A adjusts
    the offsets, a plain concatenation does not."""
    def make(src, out):
        info_zip()(src, out + ".zip")
        with open(out, "wb") as f, open(out + ".zip", "rb") as z:
            f.write(b"MZ" + b"\x90" * 4094 + z.read())
        os.remove(out + ".zip")
        if adjust:
            tool("zip", "-qA", out, cwd=src)
    return make


def seven_zip(*options):
    return lambda src, out: tool("7zz", "a", "-tzip", *options, out, ".", cwd=src)


def bsdtar(*options):
    return lambda src, out: tool("bsdtar", *options, "-cf", out, ".", cwd=src)


def tar_xz(program):
    """program -cJf: GNU tar writes gnu headers and "./" names, bsdtar pax."""
    return lambda src, out: tool(program, "-cJf", out, ".", cwd=src)


def bsdtar_streamed(src, out):
    with open(out, "wb") as f:
        tool("bsdtar", "--format", "zip", "-cf", "-", ".", cwd=src, stdout=f)


class Unseekable(io.RawIOBase):
    """An output that cannot seek, so that zipfile writes data descriptors."""

    def __init__(self, f):
        self.f = f

    def writable(self):
        return True

    def write(self, data):
        return self.f.write(data)


def python_zip(compression=zipfile.ZIP_STORED, streamed=False, zip64=False):
    def make(src, out):
        with open(out, "wb") as f:
            with zipfile.ZipFile(Unseekable(f) if streamed else f, "w") as z:
                for rel, data in sorted(tree_of(src).items()):
                    info = zipfile.ZipInfo(rel + ("/" if data is None else ""))
                    info.compress_type = compression if data else zipfile.ZIP_STORED
                    with z.open(info, "w", force_zip64=zip64) as entry:
                        entry.write(data or b"")
    return make


def without_utf8_flag(make):
    """The archive with the UTF-8 flag cleared in every header, as tools that
    copy the file system's bytes write UTF-8 names."""
    def patched(src, out):
        make(src, out)
        with open(out, "rb") as f:
            data = bytearray(f.read())
        with zipfile.ZipFile(out) as z:
            offsets = [i.header_offset + 6 for i in z.infolist()]
        at = struct.unpack_from("<I", data, len(data) - 6)[0]  # the end record's directory offset
        while data[at:at + 4] == b"PK\x01\x02":
            offsets.append(at + 8)
            at += 46 + sum(struct.unpack_from("<HHH", data, at + 28))
        for flag in offsets:
            data[flag + 1] &= ~0x08
        with open(out, "wb") as f:
            f.write(data)
    return patched


CORPUS = {
    "zip (UTF-8 names, no flag)": info_zip(),
    "zip -0 (stored)": info_zip("-0"),
    "zip - (streamed)": info_zip_streamed,
    "zip -fz (forced Zip64)": info_zip("-fz"),
    "zip behind 4 KB, offsets not adjusted": info_zip_sfx(False),
    "zip behind 4 KB, zip -A": info_zip_sfx(True),
    "7zz -tzip": seven_zip(),
    "7zz -tzip -mx0 (stored)": seven_zip("-mx0"),
    "7zz -tzip -mcu=on (UTF-8 flag)": seven_zip("-mcu=on"),
    "bsdtar -a (./ names)": bsdtar("-a"),
    "bsdtar stored": bsdtar("--format", "zip", "--options", "zip:compression=store"),
    "bsdtar streamed": bsdtar_streamed,
    "bsdtar zip64": bsdtar("--format", "zip", "--options", "zip:zip64"),
    "python zipfile (stored)": python_zip(),
    "python zipfile deflated": python_zip(zipfile.ZIP_DEFLATED),
    "python zipfile streamed": python_zip(zipfile.ZIP_DEFLATED, streamed=True),
    "python zipfile force_zip64": python_zip(zipfile.ZIP_DEFLATED, zip64=True),
    "python zipfile UTF-8 without flag": without_utf8_flag(python_zip(zipfile.ZIP_DEFLATED)),
    "tar -cJf (GNU tar, xz)": tar_xz("tar"),
    "bsdtar -cJf": tar_xz("bsdtar"),
}


def rewrite(data, old, new):
    """data with the first occurrence of old (a local header's name) replaced."""
    assert len(old) == len(new) and old in data
    return data.replace(old, new, 1)


def overlap_bomb():
    """One 1 MB entry of zeros and 200 central records that all point at it."""
    one = io.BytesIO()
    with zipfile.ZipFile(one, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("bomb/000.txt", b"\0" * (1 << 20))
    data = one.getvalue()
    central = data.index(b"PK\x01\x02")
    record = data[central:data.index(b"PK\x05\x06")]
    records = b"".join(record.replace(b"000", b"%03d" % i) for i in range(200))
    end = struct.pack("<IHHHHIIH", 0x06054b50, 0, 0, 200, 200, len(records), central, 0)
    return data[:central] + records + end


def stored(*entries):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        for name, data in entries:
            z.writestr(name, data)
    return out.getvalue()


def with_tools(installer, *steps):
    """An archive of the installer and a readme made by Info-ZIP zip, to
    which each step (a command line ending in the archive's and a new file's
    name) adds one file of text; the archive's bytes."""
    with tempfile.TemporaryDirectory() as src:
        os.makedirs(os.path.join(src, INSTALLER_DIR))
        for name, data in ((INSTALLER, installer), ("readme.txt", b"hello\n")):
            with open(os.path.join(src, name), "wb") as f:
                f.write(data)
        info_zip()(src, os.path.join(src, "out.zip"))
        for index, step in enumerate(steps):
            name = "zz%d.txt" % index  # after the others, so that they would be written first
            with open(os.path.join(src, name), "wb") as f:
                f.write(b"added %d\n" % index * 1000)
            tool(*step, "out.zip", name, cwd=src)
        return read(os.path.join(src, "out.zip"))


def with_link(installer):
    """Info-ZIP zip -y: a symbolic link stored as a link (its target's text)."""
    with tempfile.TemporaryDirectory() as src:
        os.makedirs(os.path.join(src, INSTALLER_DIR))
        with open(os.path.join(src, INSTALLER), "wb") as f:
            f.write(installer)
        os.symlink("setup.exe", os.path.join(src, INSTALLER_DIR, "link.exe"))
        info_zip("-y")(src, os.path.join(src, "out.zip"))
        return read(os.path.join(src, "out.zip"))


def solid(installer, add):
    """GNU tar -cJf of the installer and what add(folder) puts beside it."""
    with tempfile.TemporaryDirectory() as src:
        os.makedirs(os.path.join(src, INSTALLER_DIR))
        with open(os.path.join(src, INSTALLER), "wb") as f:
            f.write(installer)
        add(src)
        tar_xz("tar")(src, src + ".tar.xz")
        data = read(src + ".tar.xz")
        os.remove(src + ".tar.xz")
        return data


def damaged(data):
    """data with one byte of its middle flipped: the xz check must catch it."""
    middle = len(data) // 2
    return data[:middle] + bytes([data[middle] ^ 0x55]) + data[middle + 1:]


def files(**named):
    def add(src):
        for name, data in named.items():
            with open(os.path.join(src, name), "wb") as f:
                f.write(data)
    return add


def read(path):
    with open(path, "rb") as f:
        return f.read()


def hostile(installer):
    """Archives the plug-in must refuse before it writes anything."""
    good = stored((INSTALLER, installer), ("readme.txt", b"hello\n"))
    add_7zz = ("7zz", "a", "-tzip", "-bso0")
    return {
        "7zz: one entry added as Deflate64": with_tools(installer, add_7zz + ("-mm=Deflate64",)),
        "7zz: BZip2, LZMA and PPMd entries": with_tools(
            installer, add_7zz + ("-mm=BZip2",), add_7zz + ("-mm=LZMA",), add_7zz + ("-mm=PPMd",)),
        "zip -P and 7zz AES-256: encrypted entries": with_tools(
            installer, ("zip", "-q", "-P", "secret"), add_7zz + ("-psecret", "-mem=AES256")),
        "zip -y: a symbolic link": with_link(installer),
        "Łódź.txt beside łódź.txt": stored((INSTALLER, installer), ("Łódź.txt", b"1"), ("łódź.txt", b"2")),
        "overlap bomb (200 records, one entry)": overlap_bomb(),
        "central and local names differ": rewrite(good, b"readme.txt", b"readme.exe"),
        "../ name": stored((INSTALLER, installer), ("../evil.txt", b"x")),
        "names equal but for case": stored((INSTALLER, installer), ("Readme.txt", b"1"), ("README.TXT", b"2")),
        "name Windows cannot create": stored((INSTALLER, installer), ("what?.txt", b"x")),
        "not a ZIP archive": b"yz1 data, no ZIP",
        "tar.xz: damaged stream": damaged(solid(installer, files(readme=b"read me\n" * 5000))),
        "tar.xz: a symbolic link": solid(installer, lambda src: os.symlink(INSTALLER, os.path.join(src, "link"))),
        "tar.xz: Łódź.txt beside łódź.txt": solid(installer, files(**{"Łódź.txt": b"1", "łódź.txt": b"2"})),
    }


def shift_jis_archive(files):
    """An archive as Windows' compressed folders write it on Japanese Windows:
    names in Shift-JIS without the UTF-8 flag, made on MS-DOS (FAT). zipfile
    writes every non-ASCII name as flagged UTF-8, so the names go in as ASCII
    stand-ins of the same length and are replaced afterwards."""
    out = io.BytesIO()
    stand_ins = {}
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for index, (name, data) in enumerate(files.items()):
            raw = name.encode("cp932")
            stand_in = (b"%d~" % index).ljust(len(raw), b"~")
            stand_ins[stand_in] = raw
            info = zipfile.ZipInfo(stand_in.decode())
            info.create_system = 0
            z.writestr(info, data)
    data = out.getvalue()
    for stand_in, raw in stand_ins.items():
        data = data.replace(stand_in, raw)
    return data


def make_corpus(folder, installer):
    """{variant: archive path} and the source tree they were made from."""
    src = make_tree(os.path.join(folder, "src"), installer)
    archives = {}
    for index, (variant, make) in enumerate(CORPUS.items()):
        out = os.path.join(folder, "arc%02d.zip" % index)
        make(src, out)
        archives[variant] = out
    return archives, src


def clean(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
