"""Seed inputs for the fuzz targets: packs, and a small image with a pack
appended. usage: seeds.py DIR"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from fmix_harness import pack, stub  # noqa: E402

PACKS = [pack([(b"YZ1.DLL", bytes(range(256)) * 4, 0), (b"ARC.YZ1", b"archive" * 9, 2),
               (b"CONFIG.TXT", b"app\\setup.exe", 1)]),
         pack([]), pack([(b"n" * 256, b"", 3)])]

for target, seeds in (("fuzz_pack_reader", PACKS), ("fuzz_pack_locator", [stub() + PACKS[0], stub()])):
    os.makedirs(os.path.join(sys.argv[1], target), exist_ok=True)
    for i, seed in enumerate(seeds):
        with open(os.path.join(sys.argv[1], target, "seed%d" % i), "wb") as f:
            f.write(seed)
