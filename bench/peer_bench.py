#!/usr/bin/env python3
"""Setup executables next to NSIS's under Wine (not a test).

Two payloads come from files on this machine, picked in sorted order up to
fixed caps and kept in the work folder: "binaries", about 40 MB of 32-bit
Windows DLLs and programs (mingw-w64's i686 DLLs and Wine's i386 PE files, each
stripped), and "mixed", about 60 MB in some thousands of files (headers,
documents, fonts and already compressed images and archives), in their folders
as on disk. Each has the sample installer as app\\setup.exe. Each is built
four ways, the build timed: fmix setup with ZIP and with --solid, makensis with
zlib and with solid LZMA (a silent setup that unpacks into $PLUGINSDIR and
opens app\\setup.exe there). makensis stores the data of identical files once,
a ZIP every time: the line on each payload says how many bytes repeat.

Every setup runs under Wine, after one round that is not counted, timed from
the start of `wine` to the installer's receipt. The NSIS setup deletes its
$PLUGINSDIR when it exits, receipt and all, so the receipt is watched for while
the run goes on, every few milliseconds: the time is the modification time of
the first receipt seen, read right away (the moment it is seen if it is gone
by then); the same for fmix's setups. A run that shows no receipt fails the
bench. Peak memory: ru_maxrss of the `wine` process, as in setup_bench.py.

usage: peer_bench.py --bin WIN32_BIN --fmix FMIX --work DIR [--rounds 5]"""

import argparse
import fnmatch
import glob
import hashlib
import os
import shutil
import statistics
import subprocess
import sys
import threading
import time

from setup_bench import MB, POLL_SECONDS, Bench, Failed, Run

MINGW = ["/usr/lib/gcc/i686-w64-mingw32", "/usr/i686-w64-mingw32/lib"]
WINE_PE = ["/usr/lib/i386-linux-gnu/wine/i386-windows"]
# Per payload: (folders, name patterns, cap in MB) in order; binaries are stripped.
PAYLOADS = {
    "binaries": [(MINGW, ["*.dll"], 12), (WINE_PE, ["*.dll", "*.exe"], 28)],
    "mixed": [(["/usr/include"], ["*"], 26), (["/usr/share/doc"], ["*"], 14),
              (["/usr/share/fonts"], ["*"], 14), (["/usr/share"], ["*.png", "*.jpg", "*.gz"], 8)],
}
KINDS = ["ours-zip", "ours-solid", "nsis-zlib", "nsis-solid-lzma"]
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
        setups = {kind: self.build(name, kind) for kind in KINDS}
        for kind in KINDS:
            self.run_to_receipt(setups[kind][0], kind)
        times, peaks = {k: [] for k in KINDS}, {k: [] for k in KINDS}
        for _ in range(self.args.rounds):
            for kind in KINDS:
                seconds, peak = self.run_to_receipt(setups[kind][0], kind)
                times[kind].append(seconds)
                peaks[kind].append(peak)
        return {kind: (os.path.getsize(exe), build_s, statistics.median(times[kind]), max(peaks[kind]))
                for kind, (exe, build_s) in setups.items()}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True)
    parser.add_argument("--fmix", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    bench = PeerBench(args)
    try:
        for name in PAYLOADS:
            print("%-9s %s" % (name, describe(bench.tree(name))))
        print("to installer: median of %d runs; peak: ru_maxrss of the wine process" % args.rounds)
        print("%-9s %-16s %12s %8s %24s %8s" % ("payload", "kind", "size bytes", "build s",
                                                 "to installer s (median)", "peak MB"), flush=True)
        for name in PAYLOADS:
            rows = bench.measure(name)
            for kind, (size, build_s, seconds, peak) in rows.items():
                print("%-9s %-16s %12d %8.2f %24.3f %8.1f" % (name, kind, size, build_s, seconds, peak))
            print("%-9s ours-solid/nsis-solid size %.3f, time %.3f; ours-zip/nsis-zlib time %.3f" % (
                name, rows["ours-solid"][0] / rows["nsis-solid-lzma"][0],
                rows["ours-solid"][2] / rows["nsis-solid-lzma"][2],
                rows["ours-zip"][2] / rows["nsis-zlib"][2]), flush=True)
    except (Failed, subprocess.CalledProcessError) as error:
        print("peer_bench: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
