"""Seed inputs for the fuzz targets: packs, a small image with a pack
appended, ZIP archives (deflated, Zip64, behind other bytes), xz-compressed
tars (pax, GNU and v7 headers, a pax sparse file, CRC-32 and CRC-64 checks,
stored and LZMA chunks, concatenated streams with padding) and setups with
a small plug-in DLL and a ZIP or a tar.xz archive.
usage: seeds.py DIR"""
import io
import lzma
import random
import tarfile
import os
import sys
import zipfile

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

for target, seeds in (("fuzz_pack_reader", PACKS), ("fuzz_pack_locator", [stub() + PACKS[0], stub()]),
                      ("fuzz_zip_reader", ZIPS), ("fuzz_setup_verifier", SETUPS),
                      ("fuzz_tar_reader", TARS)):
    os.makedirs(os.path.join(sys.argv[1], target), exist_ok=True)
    for i, seed in enumerate(seeds):
        with open(os.path.join(sys.argv[1], target, "seed%d" % i), "wb") as f:
            f.write(seed)
