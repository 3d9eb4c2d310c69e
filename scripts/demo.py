#!/usr/bin/env python3
"""The main job on the bundled sample: assembles build/demo/app_setup.exe from
the sample installer and payload, runs it under Wine (headless, or under Xvfb
with GUI=1, closing any box after a screenshot) and reports what the run left
behind. The prefix and the display are set up as for the end-to-end cases."""

import glob
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from wine_session import MARK_KEY, WineSession, find_window, windows_path  # noqa: E402

DEMO = os.path.join(ROOT, "build", "demo")
BIN = os.path.join(ROOT, "build", "win32", "bin")


def assemble():
    """The setup: the sample payload, with the sample installer as app\\setup.exe."""
    payload = os.path.join(DEMO, "payload")
    shutil.rmtree(payload, ignore_errors=True)
    shutil.copytree(os.path.join(ROOT, "samples", "payload"), payload)
    os.makedirs(os.path.join(payload, "app"), exist_ok=True)
    shutil.copy(os.path.join(BIN, "sample_installer.exe"), os.path.join(payload, "app", "setup.exe"))
    exe = os.path.join(DEMO, "app_setup.exe")
    subprocess.run([os.path.join(ROOT, "build", "native", "bin", "fmix"), "setup", "-o", exe,
                    "--stub", os.path.join(BIN, "launcher.exe"), "--plugin", os.path.join(BIN, "yz1.dll"),
                    "--payload", payload, "--run", "app\\setup.exe"], check=True)
    return exe


def run(wine, exe, temp, gui):
    """Runs exe to its end; under Xvfb, a box is screenshot and closed."""
    if not gui:
        return wine.finish(wine.start(exe, DEMO, temp, trace=False))[0]
    with wine.xvfb() as display:
        proc = wine.start(exe, DEMO, temp, trace=False, display=display)
        while proc.poll() is None:
            box = find_window(display, "ERROR|DEBUG|Yz1", timeout=1)
            if box and proc.poll() is None:
                subprocess.run(["import", "-display", display, "-window", "root", os.path.join(DEMO, "box.png")])
                print("a box appeared; screenshot: build/demo/box.png")
                subprocess.run(["xdotool", "key", "--window", box, "Return"], env=dict(os.environ, DISPLAY=display))
        return wine.finish(proc)[0]


def report(wine, exe, temp, code):
    packs = sorted(glob.glob(os.path.join(temp, "vlk*.tmp")), key=os.path.getmtime)
    print("exit code:           %d" % code)
    print("setup executable:    build/demo/app_setup.exe (%d bytes, stub %d)"
          % (os.path.getsize(exe), os.path.getsize(os.path.join(BIN, "launcher.exe"))))
    if not packs:
        print("staged pack file:    (none)")
        return
    pack = packs[-1]
    print("staged pack file:    %s (%d bytes)" % (pack, os.path.getsize(pack)))
    print("unpack folder:       %s_dir" % pack)
    for folder, _, files in sorted(os.walk(pack + "_dir")):
        for name in sorted(files):
            print("    " + os.path.relpath(os.path.join(folder, name), pack + "_dir"))
    receipt = os.path.join(pack + "_dir", "app", "receipt.txt")
    print("installer receipt:")
    if os.path.exists(receipt):
        with open(receipt, encoding="utf-8", errors="replace") as f:
            print("".join("    " + line for line in f.read().replace("\r", "").splitlines(True)), end="")
    else:
        print("    (none: the installer did not run)")
    mark = wine.reg_values(MARK_KEY).get(windows_path(exe))
    print("compatibility mark:\n    " + ("%s: %s" % (windows_path(exe), mark[1]) if mark else "(none)"))


def main():
    os.makedirs(DEMO, exist_ok=True)
    exe = assemble()
    prefix = os.path.join(DEMO, "wineprefix")
    if not os.path.exists(os.path.join(prefix, "system.reg")):
        print("creating the Wine prefix (once)...")
    wine = WineSession(prefix, timeout=120, base=os.path.join(ROOT, "build", "win32", "wineprefix-base"))
    temp = os.path.join(DEMO, "tmp")  # the run's temporary folder: one pack per run
    shutil.rmtree(temp, ignore_errors=True)
    os.makedirs(temp)
    print("== running build/demo/app_setup.exe under Wine")
    code = run(wine, windows_path(exe), temp, os.environ.get("GUI") == "1")
    report(wine, exe, temp, code)


if __name__ == "__main__":
    main()
