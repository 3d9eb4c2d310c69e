#!/usr/bin/env python3
"""End-to-end benchmark of setup executables under Wine (not a test).

For payloads of 1, 64 and 256 MB of incompressible data it builds a setup with
fmix and runs it under Wine, timed from the start of `wine` to the sample
installer's receipt: the receipt file's modification time, read once every
Wine process of the run has ended. The peak memory is ru_maxrss from wait4 on
the `wine` child, which execs the loader and runs the executable in that same
process (checked while it runs: /proc names the executable as its program).

The baseline, in the same run: an empty program's start under Wine, plus plain
copies by bench_copy.exe under Wine of the bytes the launcher writes (the
temporary pack file, the pack's entries, the unpacked payload), timed inside
bench_copy. Each size has a first round that is not counted; every run starts
after the files of the one before are deleted and the disk synced. Last,
larger setups up to 1907 MB (an ARC.YZ1 of about 2,000,000,000 bytes), each
run once with the stub as built (large-address aware) and once with that flag
cleared: time to the installer, peak memory and the largest that reaches the
installer. Their payloads and setups are deleted after use.

usage: setup_bench.py --bin WIN32_BIN --fmix FMIX --work DIR
                      [--sizes 1,64,256] [--rounds 5] [--largest 512,1024,1907]"""

import argparse
import glob
import os
import shutil
import statistics
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from wine_session import WineSession, windows_path  # noqa: E402

MB = 1 << 20
LARGE_ADDRESS_AWARE = 0x20  # IMAGE_FILE_LARGE_ADDRESS_AWARE in the COFF Characteristics
POLL_SECONDS = 0.005


class Failed(Exception):
    pass


def pe_characteristics_offset(path):
    """The file offset of the COFF Characteristics field of a PE image."""
    with open(path, "rb") as f:
        f.seek(0x3C)
        (pe,) = struct.unpack("<I", f.read(4))
        f.seek(pe)
        if f.read(4) != b"PE\0\0":
            raise Failed("%s is no PE image" % path)
    return pe + 4 + 18


def clear_large_address_aware(source, target):
    """A copy of source whose large-address-aware flag is cleared."""
    shutil.copy(source, target)
    offset = pe_characteristics_offset(target)
    with open(target, "r+b") as f:
        f.seek(offset)
        (flags,) = struct.unpack("<H", f.read(2))
        f.seek(offset)
        f.write(struct.pack("<H", flags & ~LARGE_ADDRESS_AWARE))


def objdump_characteristics(path):
    """The Characteristics lines of `objdump -p`: the value and its flag names."""
    out = subprocess.run(["i686-w64-mingw32-objdump", "-p", path], capture_output=True,
                         text=True, check=True).stdout.splitlines()
    start = next(i for i, line in enumerate(out) if line.startswith("Characteristics"))
    lines = [out[start]]
    for line in out[start + 1:]:
        if not line.startswith("\t"):
            break
        lines.append(line.strip())
    return lines


def newer_than(path, inputs):
    return os.path.exists(path) and all(os.path.getmtime(path) >= os.path.getmtime(i) for i in inputs)


class Run:
    """One process under Wine: its wall time from start to exit, its peak
    memory and whether the process waited for ran the program named."""

    def __init__(self, session, proc, program, timeout):
        self.ran_program = False
        deadline = time.time() + timeout
        while True:
            pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
            if pid:
                break
            if not self.ran_program:
                self.ran_program = self._program_of(proc.pid).endswith("\\" + program.lower())
            if time.time() > deadline:
                proc.kill()
                raise Failed("%s ran longer than %d s" % (program, timeout))
            time.sleep(POLL_SECONDS)
        self.seconds = time.time() - session.started
        self.peak_mb = usage.ru_maxrss / 1024
        proc.returncode = os.waitstatus_to_exitcode(status)
        session.finish(proc)
        if proc.returncode != 0:
            raise Failed("%s ended with exit code %d" % (program, proc.returncode))

    @staticmethod
    def _program_of(pid):
        """The first word of the process's command line: the loader while
        Wine starts, the Windows path of the executable once it runs."""
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                return f.read().split(b"\0")[0].decode("utf-8", "replace").lower()
        except OSError:
            return ""


class Bench:
    def __init__(self, args):
        self.args = args
        self.work = os.path.abspath(args.work)
        self.tmp = os.path.join(self.work, "run", "tmp")
        self.cwd = os.path.join(self.work, "run", "cwd")
        for folder in (self.tmp, self.cwd, os.path.join(self.work, "setups")):
            os.makedirs(folder, exist_ok=True)
        self.stub = os.path.join(args.bin, "launcher.exe")
        self.inputs = [self.stub, os.path.join(args.bin, "yz1.dll"),
                       os.path.join(args.bin, "sample_installer.exe"), args.fmix]
        self.session = WineSession(os.path.join(self.work, "wineprefix"), timeout=900)

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def payload(self, size_mb):
        """A payload folder: the sample installer as app\\setup.exe and
        size_mb of random bytes."""
        folder = self.path("payload-%dmb" % size_mb)
        os.makedirs(os.path.join(folder, "app"), exist_ok=True)
        shutil.copy(os.path.join(self.args.bin, "sample_installer.exe"),
                    os.path.join(folder, "app", "setup.exe"))
        data = os.path.join(folder, "data.bin")
        if not os.path.exists(data) or os.path.getsize(data) != size_mb * MB:
            with open(data, "wb") as f:
                for _ in range(size_mb):
                    f.write(os.urandom(MB))
        return folder

    def setup(self, size_mb, large_address_aware=True):
        """The setup executable for a payload of size_mb, rebuilt only when
        the stub, the plug-in, the installer or fmix changed."""
        exe = self.path("setups", "setup_%dmb.exe" % size_mb)
        if not newer_than(exe, self.inputs):
            subprocess.run([self.args.fmix, "setup", "-o", exe, "--stub", self.stub,
                            "--plugin", os.path.join(self.args.bin, "yz1.dll"),
                            "--payload", self.payload(size_mb), "--run", "app\\setup.exe"], check=True)
        if large_address_aware:
            return exe
        plain = self.path("setups", "setup_%dmb_no_laa.exe" % size_mb)
        if not newer_than(plain, [exe]):
            clear_large_address_aware(exe, plain)
        return plain

    def clean_tmp(self):
        """The run's temporary pack file and unpack folder (the launcher
        leaves them by design) and the copies of the baseline. Written back
        and freed before the next run, which would otherwise pay for it."""
        shutil.rmtree(self.tmp, ignore_errors=True)
        os.makedirs(self.tmp)
        os.sync()

    def start(self, exe, args=()):
        return self.session.start(windows_path(exe), self.cwd, self.tmp, trace=False,
                                  args=[windows_path(a) for a in args])

    def run_setup(self, exe):
        """(seconds to the receipt or None, peak MB) of one run of exe."""
        self.clean_tmp()
        try:
            run = Run(self.session, self.start(exe), os.path.basename(exe), self.session.timeout)
            if not run.ran_program:
                raise Failed("the wine process did not run %s itself" % exe)
            receipts = glob.glob(os.path.join(self.tmp, "vlk*.tmp_dir", "app", "receipt.txt"))
            seconds = os.path.getmtime(receipts[0]) - self.session.started if receipts else None
            return seconds, run.peak_mb
        finally:
            self.clean_tmp()

    def run_baseline(self, exe, size_mb):
        """Seconds of an empty program's start plus the copies the launcher's
        writes amount to: the pack file and the entries (each about the
        setup's size) and the unpacked payload."""
        self.clean_tmp()
        try:
            empty = Run(self.session, self.start(os.path.join(self.args.bin, "bench_empty.exe")),
                        "bench_empty.exe", 60)
            seconds_file = os.path.join(self.tmp, "seconds.txt")
            data = os.path.join(self.payload(size_mb), "data.bin")
            pairs = [exe, os.path.join(self.tmp, "pack.copy"), exe, os.path.join(self.tmp, "entries.copy"),
                     data, os.path.join(self.tmp, "payload.copy")]
            Run(self.session, self.start(os.path.join(self.args.bin, "bench_copy.exe"),
                                         [seconds_file] + pairs), "bench_copy.exe", self.session.timeout)
            with open(seconds_file) as f:
                return empty.seconds, float(f.read())
        finally:
            self.clean_tmp()

    def measure(self, size_mb):
        exe = self.setup(size_mb)
        self.run_setup(exe)  # a first round, not counted, brings the files into the cache
        self.run_baseline(exe, size_mb)
        launcher, peaks, empties, copies = [], [], [], []
        for _ in range(self.args.rounds):
            seconds, peak = self.run_setup(exe)
            if seconds is None:
                raise Failed("%s did not reach the installer" % exe)
            launcher.append(seconds)
            peaks.append(peak)
            empty, copy = self.run_baseline(exe, size_mb)
            empties.append(empty)
            copies.append(copy)
        launcher_s = statistics.median(launcher)
        baseline_s = statistics.median(e + c for e, c in zip(empties, copies))
        return dict(size=size_mb, launcher=launcher_s, baseline=baseline_s, ratio=launcher_s / baseline_s,
                    peak=max(peaks), empty=statistics.median(empties), copies=statistics.median(copies))

    def archive_bytes(self, exe):
        """The size of the setup's ARC.YZ1, as fmix lists it."""
        listing = subprocess.run([self.args.fmix, "list", exe], capture_output=True, text=True,
                                 check=True).stdout
        return next(int(line.split("\t")[1]) for line in listing.splitlines()
                    if line.split("\t")[0].upper() == "ARC.YZ1")

    def remove(self, size_mb):
        """The payload and setups of size_mb, gigabytes of disk each."""
        shutil.rmtree(self.path("payload-%dmb" % size_mb), ignore_errors=True)
        for exe in glob.glob(self.path("setups", "setup_%dmb*.exe" % size_mb)):
            os.remove(exe)

    def largest(self):
        """For the stub as built and with its flag cleared: (the largest of
        the sizes tried that reaches the installer, [(MB, ARC.YZ1 bytes,
        seconds or None, peak MB)] of every try). Each flag stops at its
        first failure."""
        results = {aware: [None, []] for aware in (True, False)}
        for size_mb in self.args.largest:
            going = [aware for aware in results if not results[aware][1] or results[aware][1][-1][2] is not None]
            for aware in going:
                exe = self.setup(size_mb, aware)
                seconds, peak = self.run_setup(exe)
                results[aware][1].append((size_mb, self.archive_bytes(exe), seconds, peak))
                if seconds is not None:
                    results[aware][0] = size_mb
            if size_mb not in self.args.sizes:
                self.remove(size_mb)
        return results


def print_row(r):
    print("%5d MB %12.3f %12.3f %7.2f %9.1f %9.3f %9.3f" % (
        r["size"], r["launcher"], r["baseline"], r["ratio"], r["peak"], r["empty"], r["copies"]), flush=True)


def print_largest(label, best, tries):
    for size_mb, archive, seconds, peak in tries:
        outcome = "%.3f s to the installer" % seconds if seconds is not None else "no installer"
        print("  %-28s %5d MB (ARC.YZ1 %s bytes): %s, peak %.1f MB" % (
            label, size_mb, "{:,}".format(archive), outcome, peak))
    print("  %-28s largest pack that runs to the installer: %s" % (
        label, "%d MB" % best if best else "none of %s MB" % [t[0] for t in tries]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True)
    parser.add_argument("--fmix", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--sizes", default="1,64,256")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--largest", default="512,1024,1907")
    args = parser.parse_args()
    args.sizes = [int(s) for s in args.sizes.split(",")]
    args.largest = [int(s) for s in args.largest.split(",") if s]
    bench = Bench(args)
    try:
        print("launcher and baseline seconds: median of %d runs; peak: ru_maxrss of the wine process"
              % args.rounds)
        print("%8s %12s %12s %7s %9s %9s %9s" % ("size", "launcher s", "baseline s", "ratio", "peak MB",
                                                  "empty s", "copies s"), flush=True)
        for size_mb in args.sizes:
            print_row(bench.measure(size_mb))
        if not args.largest:
            return 0
        plain_stub = bench.path("launcher_no_laa.exe")
        clear_large_address_aware(bench.stub, plain_stub)
        for label, stub in (("stub as built", bench.stub), ("flag cleared", plain_stub)):
            print("%s: %s" % (label, "; ".join(objdump_characteristics(stub))))
        results = bench.largest()
        for label, aware in (("large-address aware", True), ("not large-address aware", False)):
            print_largest(label, *results[aware])
    except (Failed, subprocess.CalledProcessError) as error:
        print("setup_bench: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
