"""Seed inputs for the fuzz targets: packs, a small image with a pack
appended, ZIP archives (deflated, Zip64, behind other bytes), setups with a
small plug-in DLL, xz-compressed tars (pax and GNU names, CRC-32 and
CRC-64 checks, stored and LZMA chunks) and raw deflate streams (sources of
this repository at level 9, fixed Huffman codes only, stored).
usage: seeds.py DIR"""
import io
import lzma
import random
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
SETUPS = [stub() + pack([(b"YZ1.DLL", plugin, 0), (b"ARC.YZ1", ZIPS[0], 0), (b"CONFIG.TXT", b"dir\\a.txt\r\n", 0)])
          for plugin in (dll(exports=(b"Yz1", b"VelmZipReaderVersion"), imports=(b"KERNEL32.dll",)),
                         dll(imports=(b"kernel32.dll", b"foreign.dll"), repeat=2))]

def tar_xz_seed(tar_format, check):
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tar_format) as t:
        folder = tarfile.TarInfo("dir")
        folder.type = tarfile.DIRTYPE
        t.addfile(folder)
        for name, data in (("dir/a.txt", b"text " * 400), ("d/" + "\u00dc" * 60 + ".bin",
                                                              random.Random(1).randbytes(3000))):
            info = tarfile.TarInfo(name)
            info.size = len(data)
            t.addfile(info, io.BytesIO(data))
    return lzma.compress(out.getvalue(), check=check)


TARS = [tar_xz_seed(tarfile.PAX_FORMAT, lzma.CHECK_CRC64), tar_xz_seed(tarfile.GNU_FORMAT, lzma.CHECK_CRC32)]

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
                      ("fuzz_tar_reader", TARS), ("fuzz_inflate", DEFLATED + [stub()])):
    os.makedirs(os.path.join(sys.argv[1], target), exist_ok=True)
    for i, seed in enumerate(seeds):
        with open(os.path.join(sys.argv[1], target, "seed%d" % i), "wb") as f:
            f.write(seed)
