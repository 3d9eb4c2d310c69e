"""Shared helpers of the fmix script tests: running a native or a Windows
fmix (through the Wine runner), packs built byte by byte, and the end of the
sections of a PE image read from its full headers."""
import os
import re
import struct
import subprocess
import sys
import tempfile

KEY1 = bytes.fromhex("715531236c507e")  # first bytes of the mode-1 key stream
KEY2 = bytes.fromhex("30cf342dab419f51b4cef42b7d4d2617")  # ... of the mode-2 stream


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


class Fmix:
    """One fmix binary; with a runner, a Windows build run under Wine."""

    def __init__(self, binary, runner=None):
        self.binary, self.runner = binary, runner
        # Names are printed in the host's 8-bit encoding: fmix.exe's is the
        # ANSI code page, 1252 in the tests' locale.
        self.encoding = "cp1252" if runner else "utf-8"

    def path(self, p):
        return "Z:" + p.replace("/", "\\") if self.runner else p

    def run(self, *args):
        code, out, err, _ = self.measured(*args)
        return code, out, err

    def measured(self, *args):
        """(exit code, stdout, stderr, peak memory in MB) of one run."""
        # Output goes to files, not pipes: a wineserver started by the run
        # inherits them and would hold a pipe open for seconds after it.
        command = ([self.runner] if self.runner else []) + [self.binary, *args]
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.Popen(command, stdout=out, stderr=err)
            _, status, usage = os.wait4(proc.pid, 0)
            proc.returncode = os.waitstatus_to_exitcode(status)
            out.seek(0)
            err.seek(0)
            return (proc.returncode, out.read().decode(self.encoding, "replace"),
                    err.read().decode(self.encoding, "replace"), usage.ru_maxrss >> 10)

    def ok(self, *args):
        code, out, err = self.run(*args)
        expect(code == 0, "fmix %s: exit %d, %s" % (" ".join(args), code, err.strip()))
        return out

    def fails(self, code, *args, says=""):
        got, out, err = self.run(*args)
        lines = err.strip().splitlines()
        expect(got == code, "fmix %s: exit %d, not %d (%s)" % (" ".join(args), got, code, err.strip()))
        expect(len(lines) == 1 and says in lines[0],
               "fmix %s: expected one line with %r on stderr, got %r" % (" ".join(args), says, err))

    def listing(self, pack):
        """(name, size, offset, mode) per entry."""
        rows = [line.split("\t") for line in self.ok("list", self.path(pack)).splitlines()]
        return [(r[0], int(r[1]), int(r[2]), int(r[3])) for r in rows]


# What a terminal acts on instead of showing: C0 controls, DEL, C1 controls
# and the bidirectional controls.
TERMINAL_CONTROLS = re.compile("[\x00-\x1f\x7f-\x9f\u061c\u200e\u200f\u202a-\u202e\u2066-\u2069]")


def raw_controls(output):
    """Whether output holds such a character other than its line breaks."""
    return TERMINAL_CONTROLS.search(output.replace("\r\n", "").replace("\n", "")) is not None


def pack(entries):
    """A pack of (name bytes, data, mode) entries, data stored as given."""
    start = 11 + 265 * len(entries)
    directory, data = b"", b""
    for name, content, mode in entries:
        directory += struct.pack("<256sIIB", name, start + len(data), len(content), mode)
        data += content
    return b"fMix" + struct.pack("<BHI", 1, len(entries), start + len(data)) + directory + data


def sharing(data, source, records, base=0):
    """The pack at base in data with each of records pointing at the data of
    record source: records that share data."""
    out, at = bytearray(data), base + 11 + 265 * source + 256
    for i in records:
        out[base + 11 + 265 * i + 256:base + 11 + 265 * i + 264] = data[at:at + 8]
    return bytes(out)


def stub():
    """The smallest 32-bit image that fmix's stub check and the launcher's
    locator read alike: a 224-byte optional header, and the last (third)
    section's raw data ends at 0x600, the end of the file."""
    image = bytearray(0x600)
    image[0:2], image[60:62], image[0x80:0x84], image[0x86] = b"MZ", b"\x80\x00", b"PE\0\0", 3
    image[0x80 + 20:0x80 + 26] = (224).to_bytes(2, "little") + b"\0\0" + (0x10B).to_bytes(2, "little")
    image[0x80 + 328 + 16:0x80 + 328 + 24] = (0x200).to_bytes(4, "little") + (0x400).to_bytes(4, "little")
    return bytes(image)


def dll(exports=(b"Yz1",), imports=(), repeat=1):
    """A 32-bit DLL of one section that exports the names given and imports
    from the DLLs given, each named by repeat descriptors that share its name."""
    data = bytearray()

    def put(content):
        data.extend(content)
        return 0x1000 + len(data) - len(content)  # the RVA of what was put

    names = put(b"".join(struct.pack("<I", put(name + b"\0")) for name in exports))
    export_dir = put(struct.pack("<24xIIII", len(exports), 0, names, 0))
    descriptors = b"".join(struct.pack("<IIIII", 1, 0, 0, put(name + b"\0"), 0) * repeat for name in imports)
    import_dir = put(descriptors + bytes(20))
    image = bytearray(0x200)
    image[0:2], image[60:64], image[0x80:0x84] = b"MZ", struct.pack("<I", 0x80), b"PE\0\0"
    struct.pack_into("<HHIIIHH", image, 0x84, 0x14C, 1, 0, 0, 0, 224, 0x2102)
    struct.pack_into("<H", image, 0x98, 0x10B)
    struct.pack_into("<I", image, 0x98 + 92, 16)
    struct.pack_into("<IIII", image, 0x98 + 96, export_dir, 40, import_dir, len(descriptors) + 20)
    struct.pack_into("<8sIIII", image, 0x98 + 224, b".data", len(data), 0x1000, len(data), 0x200)
    return bytes(image + data)


def last_section(image):
    """(PointerToRawData, SizeOfRawData) of the last section, read through
    the complete headers: 32-bit e_lfanew, 16-bit section count and the
    stored optional-header size."""
    pe = struct.unpack_from("<I", image, 60)[0]
    count, optional = struct.unpack_from("<H", image, pe + 6)[0], struct.unpack_from("<H", image, pe + 20)[0]
    size, pointer = struct.unpack_from("<II", image, pe + 24 + optional + 40 * (count - 1) + 16)
    return pointer, size


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def run_cases(cases, fmix):
    """Runs every case in a scratch folder of its own; prints and counts."""
    failed = 0
    for case in cases:
        with tempfile.TemporaryDirectory(prefix="fmix_test_") as work:
            try:
                case(fmix, work)
                print("ok   " + case.__name__)
            except Failure as e:
                failed += 1
                print("FAILED %s: %s" % (case.__name__, e))
    sys.exit(1 if failed else 0)
