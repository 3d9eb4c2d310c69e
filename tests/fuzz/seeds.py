"""Seed inputs for the fuzz targets: packs, a small image with a pack
appended, ZIP archives (deflated, Zip64, behind other bytes), xz-compressed
tars (pax, GNU and v7 headers, a pax sparse file, CRC-32 and CRC-64 checks,
stored and LZMA chunks, concatenated streams with padding), setups with a
small plug-in DLL and a ZIP or a tar.xz archive, an image's identity (an
icon file, a version resource, their resource directory and an image
holding it) and raw deflate streams (sources of this repository at level 9,
fixed Huffman codes only, stored).
usage: seeds.py DIR"""
import io
import lzma
import random
import struct
import tarfile
import os
import sys
import zipfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from fmix_harness import dll, pack, stub  # noqa: E402

PACKS = [pack([(b"YZ1.DLL", bytes(range(256)) * 4, 0), (b"ARC.YZ1", b"archive" * 9, 2),
               (b"CONFIG.TXT", b"app\\setup.exe", 1)]),
         pack([]), pack([(b"n" * 256, b"", 3)])]



def zip_seed(zip64=False, before=b""):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("./dir/", b"")
        for name, data in (("dir/a.txt", b"text " * 40), ("\u00dc.bin", bytes(range(64)))):
            with z.open(zipfile.ZipInfo(name), "w", force_zip64=zip64) as entry:
                entry.write(data)
    return before + out.getvalue()


ZIPS = [zip_seed(), zip_seed(zip64=True), zip_seed(before=b"MZ" * 50)]


def tar_seed(tar_format, sparse=False):
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tar_format) as t:
        folder = tarfile.TarInfo("dir")
        folder.type = tarfile.DIRTYPE
        t.addfile(folder)
        for name, data in (("dir/a.txt", b"text " * 400), ("d/" + "\u00dc" * 60 + ".bin",
                                                              random.Random(1).randbytes(3000))):
            info = tarfile.TarInfo(name)
            info.size = len(data)
            if sparse:
                info.pax_headers = {"GNU.sparse.major": "1", "GNU.sparse.minor": "0",
                                    "GNU.sparse.name": name, "GNU.sparse.realsize": "9000"}
            t.addfile(info, io.BytesIO(data))
    return out.getvalue()


def v7(tar):
    """The ustar tar with its headers' magic and version cleared, as v7 wrote them."""
    tar = bytearray(tar)
    for at in range(0, len(tar), 512):
        header = tar[at:at + 512]
        if header[257:263] == b"ustar\0":
            header[257:265], header[148:156] = bytes(8), b" " * 8
            header[148:156] = b"%06o\0 " % sum(header)
            tar[at:at + 512] = header
    return bytes(tar)


PAX = tar_seed(tarfile.PAX_FORMAT)
TARS = [lzma.compress(PAX, check=lzma.CHECK_CRC64), lzma.compress(tar_seed(tarfile.GNU_FORMAT), check=lzma.CHECK_CRC32),
        lzma.compress(v7(PAX[:3072]) + bytes(1024)),
        lzma.compress(tar_seed(tarfile.PAX_FORMAT, sparse=True)),
        lzma.compress(PAX[:2048]) + bytes(4) + lzma.compress(b"") + lzma.compress(PAX[2048:], check=lzma.CHECK_CRC32)]
SETUPS = [stub() + pack([(b"YZ1.DLL", plugin, 0), (b"ARC.YZ1", archive, 0), (b"CONFIG.TXT", b"dir\\a.txt\r\n", 0)])
          for plugin, archive in (
              (dll(exports=(b"Yz1", b"VelmZipReaderVersion"), imports=(b"KERNEL32.dll",)), ZIPS[0]),
              (dll(imports=(b"kernel32.dll", b"foreign.dll"), repeat=2), ZIPS[0]),
              (dll(exports=(b"Yz1", b"VelmZipReaderVersion", b"VelmSolidReader")), TARS[0]),
              (dll(exports=(b"Yz1", b"VelmZipReaderVersion", b"VelmSolidReader")), TARS[4]))]


def icon_file(images):
    """An .ico file of (width, image bytes)."""
    at, head, body = 6 + 16 * len(images), struct.pack("<HHH", 0, 1, len(images)), b""
    for width, image in images:
        head += struct.pack("<BBBBHHII", width, width, 0, 0, 1, 32, len(image), at + len(body))
        body += image
    return head + body


def version_block(key, value=b"", text=False, children=()):
    """A block of a version resource: length, value length, type, key, value, children."""
    body = (key + "\0").encode("utf-16-le")
    body += bytes(-(6 + len(body)) % 4) + value
    for child in children:
        body += bytes(-(6 + len(body)) % 4) + child
    return struct.pack("<HHH", 6 + len(body), len(value) // 2 if text else len(value), 1 if text else 0) + body


def resource_directory(resources, rva):
    """The resource directory of (type, name, language, data), each type once
    and in order, numbered keys, its data addressed for a mapping at rva."""
    n = len(resources)
    tables, entries, data = 16 + 8 * n, 16 + 56 * n, 16 + 72 * n
    out = struct.pack("<12xHH", 0, n)
    out += b"".join(struct.pack("<II", r[0], 0x80000000 | (tables + 48 * i)) for i, r in enumerate(resources))
    for i, (_, name, language, _) in enumerate(resources):
        out += struct.pack("<12xHHII", 0, 1, name, 0x80000000 | (tables + 48 * i + 24))
        out += struct.pack("<12xHHII", 0, 1, language, entries + 16 * i)
    blobs = b""
    for _, _, _, datum in resources:
        out += struct.pack("<IIII", rva + data + len(blobs), len(datum), 0, 0)
        blobs += datum + bytes(-len(datum) % 8)
    return out + blobs


def image_with_resources(directory, rva=0x1000):
    """A 32-bit image of one section, .rsrc at rva, that holds directory."""
    raw = directory + bytes(-len(directory) % 0x200)
    image = bytearray(0x400)
    image[0:2], image[60:64], image[0x80:0x84] = b"MZ", struct.pack("<I", 0x80), b"PE\0\0"
    struct.pack_into("<HHIIIHH", image, 0x84, 0x14C, 1, 0, 0, 0, 224, 0x0102)
    struct.pack_into("<H", image, 0x98, 0x10B)
    struct.pack_into("<IIIIIIII", image, 0x98 + 32, 0x1000, 0x200, 0, 0, 0, 0, 0, rva + len(raw))
    struct.pack_into("<II", image, 0x98 + 60, 0x400, 0)
    struct.pack_into("<I", image, 0x98 + 92, 16)
    struct.pack_into("<II", image, 0x98 + 96 + 16, rva, len(directory))
    struct.pack_into("<8sIIII", image, 0x98 + 224, b".rsrc", len(directory), rva, len(raw), 0x400)
    return bytes(image) + raw


BITMAP = struct.pack("<I", 40) + bytes(range(36)) + bytes(16 * 16 * 4)
ICON = icon_file([(16, BITMAP), (0, b"\x89PNG\r\n\x1a\n" + b"rest of a PNG")])
VERSION = version_block("VS_VERSION_INFO", struct.pack("<13I", 0xFEEF04BD, 0x10000, 0x10002, 0x30004, 0x10002,
                                                         0x30004, 0x3F, 0, 0x40004, 1, 0, 0, 0), children=[
    version_block("StringFileInfo", text=True, children=[version_block("040904b0", text=True, children=[
        version_block("ProductName", "Example \u00e9".encode("utf-16-le") + bytes(2), text=True)])]),
    version_block("VarFileInfo", text=True, children=[version_block("Translation", struct.pack("<HH", 0x409, 1200))])])
GROUP = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHIH", 16, 16, 0, 0, 1, 32, len(BITMAP), 1)
DIRECTORY = resource_directory([(3, 1, 0x409, BITMAP), (14, 1, 0x409, GROUP), (16, 1, 0x409, VERSION),
                                (24, 1, 0, b"<assembly/>")], 0x1000)
IDENTITY = [ICON, VERSION, DIRECTORY, image_with_resources(DIRECTORY)]

def deflate_seed(path, level=9, strategy=zlib.Z_DEFAULT_STRATEGY):
    with open(os.path.join(ROOT, path), "rb") as f:
        compressor = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
        return compressor.compress(f.read()) + compressor.flush()


ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
DEFLATED = [deflate_seed("inflate/huffman_table.cpp"), deflate_seed("rtl/crc32.cpp"),
            deflate_seed("inflate/inflater.h", strategy=zlib.Z_FIXED), deflate_seed("rtl/crc32.h", level=0),
            deflate_seed("bench/bench_empty.cpp", strategy=zlib.Z_RLE)]

for target, seeds in (("fuzz_pack_reader", PACKS), ("fuzz_pack_locator", [stub() + PACKS[0], stub()]),
                      ("fuzz_zip_reader", ZIPS), ("fuzz_setup_verifier", SETUPS),
                      ("fuzz_tar_reader", TARS), ("fuzz_identity", IDENTITY),
                      ("fuzz_inflate", DEFLATED + [stub()])):
    os.makedirs(os.path.join(sys.argv[1], target), exist_ok=True)
    for i, seed in enumerate(seeds):
        with open(os.path.join(sys.argv[1], target, "seed%d" % i), "wb") as f:
            f.write(seed)
