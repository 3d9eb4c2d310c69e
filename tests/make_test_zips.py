#!/usr/bin/env python3
"""Writes the archives that the yz1.dll tests read, made by Python's zipfile
and, in the solid format (an xz-compressed tar), by its tarfile.

Each archive ARCHIVE.zip comes with ARCHIVE.manifest: one line per file entry,
"name<TAB>size<TAB>crc32 in hex", for the test to check what it extracted.
"""
import io
import os
import sys
import tarfile
import zipfile
import zlib


class Unseekable:
    """An output that cannot seek, so zipfile writes data descriptors."""

    def __init__(self, f):
        self.f = f

    def write(self, data):
        return self.f.write(data)

    def flush(self):
        self.f.flush()


TREE = [
    ("docs/readme.txt", b"read me first\n" * 300, zipfile.ZIP_DEFLATED),
    ("docs/deep/inner/data.bin", bytes(range(256)) * 40, zipfile.ZIP_STORED),
    ("empty.txt", b"", zipfile.ZIP_STORED),
    ("\u65e5\u672c/\u00e4.txt", "utf-8 name \u00e4\n".encode(), zipfile.ZIP_DEFLATED),
]


def write_tree(zf, with_folder):
    if with_folder:
        zf.writestr(zipfile.ZipInfo("folder/"), b"")
    for name, data, method in TREE:
        zf.writestr(zipfile.ZipInfo(name), data, compress_type=method)


def write_manifest(path):
    with open(path + ".manifest", "w", encoding="utf-8", newline="\n") as m:
        for name, data, _ in TREE:
            m.write("%s\t%d\t%08x\n" % (name, len(data), zlib.crc32(data)))


def main(out):
    os.makedirs(out, exist_ok=True)
    mixed = os.path.join(out, "python_mixed.zip")
    with zipfile.ZipFile(mixed, "w") as zf:
        write_tree(zf, True)
    write_manifest(mixed)

    descriptors = os.path.join(out, "python_descriptors.zip")
    with open(descriptors, "wb") as f, zipfile.ZipFile(Unseekable(f), "w") as zf:
        write_tree(zf, False)
    with zipfile.ZipFile(descriptors) as zf:
        assert all(info.flag_bits & 0x08 for info in zf.infolist()), "no data descriptors"
    write_manifest(descriptors)

    with zipfile.ZipFile(os.path.join(out, "python_bzip2.zip"), "w") as zf:
        zf.writestr("data.txt", b"bzip2 data\n" * 100, compress_type=zipfile.ZIP_BZIP2)

    # Entries refused on opening, behind one that could be written: a
    # method the plug-in lacks and a symbolic link; and a name that holds a
    # control character (macOS's "Icon\r").
    with zipfile.ZipFile(os.path.join(out, "unpackable.zip"), "w") as zf:
        zf.writestr("first.txt", b"could be written\n", compress_type=zipfile.ZIP_DEFLATED)
        zf.writestr("packed.txt", b"lzma\n" * 100, compress_type=zipfile.ZIP_LZMA)
        link = zipfile.ZipInfo("link")
        link.create_system = 3
        link.external_attr = 0o120777 << 16
        zf.writestr(link, b"first.txt")
    with zipfile.ZipFile(os.path.join(out, "icon_cr.zip"), "w") as zf:
        zf.writestr("first.txt", b"could be written\n")
        zf.writestr("Icon\r", b"")

    unsafe = ["../evil.txt", "/evil.txt", "C:evil.txt", "a\\..\\..\\evil.txt", "a/./../../evil.txt"]
    for index, name in enumerate(unsafe):
        with zipfile.ZipFile(os.path.join(out, "unsafe_%d.zip" % index), "w") as zf:
            zf.writestr("ok.txt", b"harmless\n")
            zf.writestr(zipfile.ZipInfo(name), b"escaped\n")

    # A central directory of 2.6 MB (long entry comments), which the plug-in
    # reads into one block.
    with zipfile.ZipFile(os.path.join(out, "large_directory.zip"), "w") as zf:
        for index in range(40):
            info = zipfile.ZipInfo("f%d.txt" % index)
            info.comment = b"c" * 65000
            zf.writestr(info, b"x")

    # The solid format: pax headers, xz with a CRC-64 check; and the same
    # with one byte of its compressed data flipped.
    solid = os.path.join(out, "python_solid.tar.xz")
    with tarfile.open(solid, "w:xz", format=tarfile.PAX_FORMAT) as tf:
        folder = tarfile.TarInfo("folder")
        folder.type = tarfile.DIRTYPE
        tf.addfile(folder)
        for name, data, _ in TREE:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            tf.addfile(info, io.BytesIO(data))
    write_manifest(solid)
    with open(solid, "rb") as f:
        data = bytearray(f.read())
    data[len(data) // 2] ^= 0x55
    with open(os.path.join(out, "python_solid_damaged.tar.xz"), "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
