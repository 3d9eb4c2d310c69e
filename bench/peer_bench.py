#!/usr/bin/env python3
"""Setup executables next to NSIS's under Wine (not a test).

Two payloads come from files on this machine, picked in sorted order up to
fixed caps and kept in the work folder: "binaries", about 40 MB of 32-bit
Windows DLLs and programs (mingw-w64's i686 DLLs and Wine's i386 PE files, each
stripped), and "mixed", about 60 MB in some thousands of files (headers,
documents, fonts and already compressed images and archives), in their folders
as on disk. A third, "large", is made up: about 320 MB, half text-like files
(words of a fixed vocabulary in Zipf's proportions) and half random ones, so
that its tar lies far past the 64 MiB dictionary of the solid format. Each has
the sample installer as app\\setup.exe. The first two are built four ways,
the build timed: fmix setup with ZIP and with --solid, makensis with zlib and
with solid LZMA (a silent setup that unpacks into $PLUGINSDIR and opens
app\\setup.exe there); "large" only the two solid ways. makensis stores the
data of identical files once, a ZIP every time: the line on each payload says
how many bytes repeat.

Every setup runs under Wine, after one round that is not counted, timed from
the start of `wine` to the installer's receipt. The NSIS setup deletes its
$PLUGINSDIR when it exits, receipt and all, so the receipt is watched for while
the run goes on, every few milliseconds: the time is the modification time of
the first receipt seen, read right away (the moment it is seen if it is gone
by then); the same for fmix's setups. A run that shows no receipt fails the
bench. Peak memory: ru_maxrss of the `wine` process, as in setup_bench.py.
Last, the table is drawn as peer_bench.svg in the work folder (bench_chart.py),
with this machine and the date under it.

usage: peer_bench.py --bin WIN32_BIN --fmix FMIX --work DIR [--rounds 5]"""

import argparse
import array
import fnmatch
import glob
import hashlib
import os
import platform
import random
import shutil
import statistics
import subprocess
import sys
import threading
import time

from bench_chart import write_svg
from setup_bench import MB, POLL_SECONDS, Bench, Failed, Run

MINGW = ["/usr/lib/gcc/i686-w64-mingw32", "/usr/i686-w64-mingw32/lib"]
WINE_PE = ["/usr/lib/i386-linux-gnu/wine/i386-windows"]
# Per payload: (folders, name patterns, cap in MB) in order; binaries are stripped.
PAYLOADS = {
    "binaries": [(MINGW, ["*.dll"], 12), (WINE_PE, ["*.dll", "*.exe"], 28)],
    "mixed": [(["/usr/include"], ["*"], 26), (["/usr/share/doc"], ["*"], 14),
              (["/usr/share/fonts"], ["*"], 14), (["/usr/share"], ["*.png", "*.jpg", "*.gz"], 8)],
}
# Made-up payloads: files of each half (text-like, random) and their size.
GENERATED = {"large": (80, 2 * MB)}
VOCABULARY = 5000
KINDS = ["ours-zip", "ours-solid", "nsis-zlib", "nsis-solid-lzma"]
SOLID_KINDS = ["ours-solid", "nsis-solid-lzma"]
NSIS_COMPRESSOR = {"nsis-zlib": "zlib", "nsis-solid-lzma": "/SOLID lzma"}
NSIS_SCRIPT = """SetCompressor {compressor}
SilentInstall silent
RequestExecutionLevel user
OutFile "{exe}"
Section
  InitPluginsDir
  SetOutPath $PLUGINSDIR
  File /r "{payload}/*.*"
  ExecShell open "$PLUGINSDIR\\app\\setup.exe"
SectionEnd
"""


def portable(relative):
    """Whether every name of the path is one Windows can hold as is."""
    return all(name.isascii() and name.isprintable() and not set(name) & set('<>:"|?*\\')
               and not name.endswith((".", " ")) for name in relative.split("/"))


def candidates(folders, patterns):
    """The regular files under folders whose names match a pattern, sorted."""
    found = []
    for top in folders:
        for folder, _, names in os.walk(top):
            found += [os.path.join(folder, n) for n in names
                      if any(fnmatch.fnmatch(n, p) for p in patterns)]
    return sorted(f for f in found if os.path.isfile(f) and not os.path.islink(f))


def describe(folder):
    """Files and bytes of folder, and the bytes of the files that repeat an
    earlier one's content (makensis stores such data once, a ZIP every time)."""
    files, sizes = candidates([folder], ["*"]), {}
    for path in files:
        with open(path, "rb") as f:
            sizes.setdefault(hashlib.sha256(f.read()).digest(), []).append(os.path.getsize(path))
    return "%d files, %d bytes, %d bytes of them repeat an earlier file's content" % (
        len(files), sum(map(sum, sizes.values())), sum(sum(s[1:]) for s in sizes.values()))


def gather(folder, name):
    """Copies this machine's files of the payload name into folder."""
    taken = set()  # Windows names ignore case: the first of two wins
    for folders, patterns, cap_mb in PAYLOADS[name]:
        total = 0
        for source in candidates(folders, patterns):
            relative = source.lstrip("/")
            if relative.lower() in taken or not portable(relative):
                continue
            target = os.path.join(folder, relative)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(source, target)
            if name == "binaries" and subprocess.run(
                    ["i686-w64-mingw32-strip", target], capture_output=True).returncode:
                os.remove(target)
                continue
            shutil.copystat(source, target)  # makensis stores the times
            total += os.path.getsize(target)
            if total > cap_mb * MB:
                os.remove(target)
                break
            taken.add(relative.lower())


def generate(folder, count, size):
    """count text-like and count random files of size bytes in folder, the
    same on every machine (a seeded generator). Words are drawn through a
    table of 65,536 slots, each word in as many slots as Zipf's law gives it."""
    rng = random.Random(320)
    words = ["".join(rng.choices("etaoinshrdlcumwfgypbvkjxqz", k=rng.randint(2, 10))) for _ in range(VOCABULARY)]
    total = sum(1 / rank for rank in range(1, VOCABULARY + 1))
    table = [word for rank, word in enumerate(words, 1) for _ in range(max(1, round(65536 / rank / total)))]
    for half in ("text", "random"):
        os.makedirs(os.path.join(folder, half))
    for i in range(count):
        drawn = [table[n % len(table)] for n in array.array("H", rng.randbytes(size // 2))]
        text = "\n".join(" ".join(drawn[j:j + 12]) for j in range(0, len(drawn), 12)).encode()
        with open(os.path.join(folder, "text", "%03d.txt" % i), "wb") as f:
            f.write(text[:size])
        with open(os.path.join(folder, "random", "%03d.bin" % i), "wb") as f:
            f.write(rng.randbytes(size))


class Watch(threading.Thread):
    """Polls for the first file matching pattern; seen is its time."""

    def __init__(self, pattern):
        super().__init__(daemon=True)
        self.pattern, self.seen, self.done = pattern, None, threading.Event()
        self.start()

    def run(self):
        while self.seen is None and not self.done.wait(POLL_SECONDS):
            for path in glob.glob(self.pattern)[:1]:
                try:
                    self.seen = os.path.getmtime(path)
                except OSError:  # deleted since: the moment it was seen
                    self.seen = time.time()

    def stop(self):
        self.done.set()
        self.join()
        return self.seen


class PeerBench(Bench):
    def tree(self, name):
        """The folder of the payload name, built once (a .done file beside it
        marks it whole), with the sample installer copied in anew."""
        folder = self.path("payload-" + name)
        if not os.path.exists(folder + ".done"):
            shutil.rmtree(folder, ignore_errors=True)
            if name in GENERATED:
                generate(folder, *GENERATED[name])
            else:
                gather(folder, name)
            open(folder + ".done", "w").close()
        os.makedirs(os.path.join(folder, "app"), exist_ok=True)
        shutil.copy2(os.path.join(self.args.bin, "sample_installer.exe"), os.path.join(folder, "app", "setup.exe"))
        return folder

    def build(self, name, kind):
        """(setup path, build seconds) of payload name built as kind."""
        payload = self.tree(name)
        exe = self.path("setups", "%s-%s.exe" % (name, kind))
        if kind.startswith("ours"):
            command = [self.args.fmix, "setup", "-o", exe, "--stub", self.stub,
                       "--plugin", os.path.join(self.args.bin, "yz1.dll"), "--payload", payload,
                       "--run", "app\\setup.exe", "--quiet"] + (["--solid"] if kind == "ours-solid" else [])
        else:
            script = exe[:-4] + ".nsi"
            with open(script, "w") as f:
                f.write(NSIS_SCRIPT.format(compressor=NSIS_COMPRESSOR[kind], exe=exe, payload=payload))
            command = ["makensis", "-V2", script]
        started = time.time()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        return exe, time.time() - started

    def run_to_receipt(self, exe, kind):
        """(seconds to the receipt, peak MB) of one run of exe."""
        self.clean_tmp()
        unpacked = "vlk*.tmp_dir" if kind.startswith("ours") else "ns*.tmp"
        watch = Watch(os.path.join(self.tmp, unpacked, "app", "receipt.txt"))
        try:
            run = Run(self.session, self.start(exe), os.path.basename(exe), self.session.timeout)
        finally:
            seen = watch.stop()
            self.clean_tmp()
        if not run.ran_program:
            raise Failed("the wine process did not run %s itself" % exe)
        if seen is None:
            raise Failed("%s did not reach the installer" % exe)
        return seen - self.session.started, run.peak_mb

    def measure(self, name):
        """A row per kind: size, build seconds, median seconds to the
        installer and peak MB. The kinds take turns in every round."""
        kinds = SOLID_KINDS if name in GENERATED else KINDS
        setups = {kind: self.build(name, kind) for kind in kinds}
        for kind in kinds:
            self.run_to_receipt(setups[kind][0], kind)
        times, peaks = {k: [] for k in kinds}, {k: [] for k in kinds}
        for _ in range(self.args.rounds):
            for kind in kinds:
                seconds, peak = self.run_to_receipt(setups[kind][0], kind)
                times[kind].append(seconds)
                peaks[kind].append(peak)
        return {kind: (os.path.getsize(exe), build_s, statistics.median(times[kind]), max(peaks[kind]))
                for kind, (exe, build_s) in setups.items()}


def machine():
    """This machine in a few words: processor, cores, memory."""
    with open("/proc/cpuinfo") as f:
        model = next((line.split(":", 1)[1].strip() for line in f if line.startswith("model name")),
                     platform.machine())
    with open("/proc/meminfo") as f:
        memory_kb = int(f.readline().split()[1])
    return "%s, %d cores, %.0f GB" % (model, os.cpu_count(), memory_kb / 1e6)


def ratios(rows):
    """Ours against NSIS's, for the kinds the payload was built as."""
    ours, theirs = rows["ours-solid"], rows["nsis-solid-lzma"]
    line = "ours-solid/nsis-solid size %.3f, time %.3f, peak %.3f" % (
        ours[0] / theirs[0], ours[2] / theirs[2], ours[3] / theirs[3])
    if "ours-zip" in rows:
        line += "; ours-zip/nsis-zlib time %.3f" % (rows["ours-zip"][2] / rows["nsis-zlib"][2])
    return line


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True)
    parser.add_argument("--fmix", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    bench = PeerBench(args)
    names = list(PAYLOADS) + list(GENERATED)
    results = {}
    try:
        for name in names:
            print("%-9s %s" % (name, describe(bench.tree(name))))
        print("to installer: median of %d runs; peak: ru_maxrss of the wine process" % args.rounds)
        print("%-9s %-16s %12s %8s %24s %8s" % ("payload", "kind", "size bytes", "build s",
                                                 "to installer s (median)", "peak MB"), flush=True)
        for name in names:
            rows = results[name] = bench.measure(name)
            for kind, (size, build_s, seconds, peak) in rows.items():
                print("%-9s %-16s %12d %8.2f %24.3f %8.1f" % (name, kind, size, build_s, seconds, peak))
            print("%-9s %s" % (name, ratios(rows)), flush=True)
    except (Failed, subprocess.CalledProcessError) as error:
        print("peer_bench: %s" % error, file=sys.stderr)
        return 1
    picture = bench.path("peer_bench.svg")
    write_svg(picture, results, "Setups under Wine: ours and NSIS's, per payload",
              "median of %d runs; %s; %s" % (args.rounds, machine(), time.strftime("%Y-%m-%d")))
    print("picture: " + picture)
    return 0


if __name__ == "__main__":
    sys.exit(main())
