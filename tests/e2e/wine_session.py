"""Runs Windows programs under Wine in a prefix of the test's own and reads
back what they did: relay traces, the registry, files on disk."""

import argparse
import contextlib
import fcntl
import glob
import os
import re
import shutil
import subprocess
import tempfile
import time

# Function names alone: Wine 8 matches no "dll.function" entry of this list
# and then traces every call.
RELAY_INCLUDE = ("MessageBoxW;MessageBoxA;ShellExecuteExA;LoadLibraryW;LoadLibraryA;LoadLibraryExW;"
                 "RegSetValueExW;SetDefaultDllDirectories;SetDllDirectoryW")
MARK_KEY = (r"HKCU\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags"
            r"\Compatibility Assistant\Persisted")
QUIET = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml="}
# The folders of a prefix that hold Wine's own DLLs, 1.2 GB of the 1.3 GB of
# a prefix. Wine only reads them, so prefixes made from a base share them as
# hard links; registry files are copied, since Wine saves them in place.
SHARED_FOLDERS = [os.path.join("drive_c", "windows", name) for name in ("system32", "syswow64", "winsxs")]


def windows_path(path):
    """The Wine path (drive Z:) of a Unix path."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class WineSession:
    def __init__(self, prefix, timeout=60, base=None):
        self.prefix = prefix
        self.timeout = timeout
        self.env = dict(os.environ, WINEPREFIX=prefix, **QUIET)
        self.env.pop("DISPLAY", None)
        self.console_encoding = "utf-8"
        self._temp = None  # the temporary folder last set in the registry
        make_prefix(prefix, base)
        self.reg_add(r"HKCU\Software\Wine\Debug", "RelayInclude", RELAY_INCLUDE)

    def _run(self, args, env=None, cwd=None, timeout=None):
        """Runs a command to its end and returns its standard output. The output
        goes through a file, not a pipe: Wine's services, started by whichever
        process comes first, inherit the handles and would hold a pipe open."""
        with tempfile.TemporaryFile() as out:
            subprocess.run(args, env=env or self.env, cwd=cwd, stdin=subprocess.DEVNULL,
                           stdout=out, stderr=subprocess.DEVNULL, timeout=timeout or self.timeout)
            out.seek(0)
            return out.read().decode(self.console_encoding, "replace")

    def use_locale(self, locale, console_encoding):
        """Runs every later Wine process under the Unix locale, which chooses
        Wine's code pages (ja_JP.UTF-8: ANSI and OEM 932). Console programs
        such as reg write redirected output in the OEM code page."""
        self.wait()
        self.env["LC_ALL"] = locale
        self.console_encoding = console_encoding

    def wait(self, timeout=None):
        """Waits until every Wine process of the prefix has ended."""
        self._run(["wineserver", "-w"], timeout=timeout or self.timeout)

    def console(self, *args):
        """Runs a Windows console program to its end; returns its output."""
        return self._run(["wine", *args])

    def reg_add(self, key, name, data, kind="REG_SZ", env=None):
        self._run(["wine", "reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f"], env=env)

    def reg_values(self, key):
        """The value names and data under key, as a dict (empty when missing)."""
        out = self._run(["wine", "reg", "query", key])
        values = {}
        for line in out.splitlines():
            m = re.match(r"\s{4}(.*?)\s{4}(REG_\w+)\s{4}(.*)$", line)
            if m:
                values[m.group(1)] = (m.group(2), m.group(3).strip())
        return values

    def set_windows_version(self, program_name, version):
        self.reg_add(r"HKCU\Software\Wine\AppDefaults" + "\\" + program_name, "Version", version)

    def start(self, exe, cwd, temp_dir, trace=True, display=None, extra_env=None, args=()):
        """Starts exe (with args) in cwd with temp_dir as its temporary folder,
        its trace going to trace.txt beside temp_dir."""
        quiet = dict(self.env, **({"DISPLAY": display} if display else {}))
        env = dict(quiet, **(extra_env or {}))
        if trace:
            env["WINEDEBUG"] = "+relay,+exec,+loaddll"
        if display:
            self.wait()  # the services start anew, with this run's display
        self._keep(quiet)
        self._use_temp(temp_dir, quiet)
        self.trace_path = os.path.join(os.path.dirname(temp_dir.rstrip("/")), "trace.txt")
        with open(self.trace_path, "wb") as trace_file:
            self.started = time.time()  # wall clock, comparable with file times
            return subprocess.Popen(["wine", exe, *args], env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=trace_file)

    def finish(self, proc):
        """Waits for proc, then for everything it started; returns (exit code,
        trace lines)."""
        try:
            code = proc.wait(timeout=self.timeout)
        finally:
            self._release()
        with open(self.trace_path, "rb") as f:
            return code, f.read().decode("utf-8", "replace").splitlines()

    @contextlib.contextmanager
    def kept(self):
        """Keeps the server and its services up while the caller runs
        programs one after another (run_kept); at the end, waits for
        everything they started."""
        self._keep(self.env)
        try:
            yield
        finally:
            self._release()

    def run_kept(self, exe, cwd, temp_dir):
        """Runs exe, untraced, to its end inside kept(), with temp_dir as its
        temporary folder; returns its exit code."""
        self._use_temp(temp_dir, self.env)
        return subprocess.run(["wine", exe], env=self.env, cwd=cwd, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=self.timeout).returncode

    @contextlib.contextmanager
    def xvfb(self):
        """An X display of its own for the caller. No window manager runs on
        it, so Wine draws the boxes' frames and captions itself (Decorated=N),
        and a screenshot shows the caption."""
        self.reg_add(r"HKCU\Software\Wine\X11 Driver", "Decorated", "N")
        # Japanese captions in any locale: the UI font falls back to IPA
        # Gothic, as Windows links its UI fonts to a Japanese one.
        for font in ("Tahoma", "Microsoft Sans Serif", "MS Shell Dlg"):
            self.reg_add(r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink",
                         font, "ipag.ttf,IPAGothic", kind="REG_MULTI_SZ")
        # Xvfb picks a free display and names it once it is ready, so that
        # runs side by side never share one.
        ready, told = os.pipe()
        server = subprocess.Popen(["Xvfb", "-displayfd", str(told), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(told,))
        os.close(told)
        with os.fdopen(ready) as numbers:
            number = numbers.readline().strip()
        try:
            if not number.isdigit():
                raise RuntimeError("Xvfb named no display")
            yield ":" + number
        finally:
            server.terminate()
            server.wait()

    def _keep(self, env):
        """An idle console keeps the server and its services up until
        _release, so that none of them starts traced or anew per program."""
        self._keeper = subprocess.Popen(["wine", "cmd"], env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def _use_temp(self, temp_dir, env):
        """Wine takes the temporary folder from the registry, not from Unix."""
        if self._temp != temp_dir:
            for name in ("TEMP", "TMP"):
                self.reg_add(r"HKCU\Environment", name, windows_path(temp_dir), env=env)
            self._temp = temp_dir

    def _release(self):
        self._keeper.communicate(b"exit\r\n", timeout=self.timeout)
        self.wait()

    def run(self, exe, cwd, temp_dir, trace=True, extra_env=None):
        return self.finish(self.start(exe, cwd, temp_dir, trace, extra_env=extra_env))


def find_window(display, name, timeout):
    """The first window whose title matches name, waiting up to timeout
    seconds for one; None when none appears."""
    end = time.time() + timeout
    while time.time() < end:
        found = subprocess.run(["xdotool", "search", "--name", name], capture_output=True, text=True,
                               env=dict(os.environ, DISPLAY=display, LC_ALL="C.UTF-8"))
        if found.stdout.split():
            return found.stdout.split()[0]
        time.sleep(0.5)
    return None


def make_prefix(prefix, base=None):
    """Makes prefix a booted Wine prefix, unless it is one: a copy of base,
    which is booted first when it is not yet (one process at a time), or a
    prefix booted anew when there is no base."""
    if is_prefix(prefix):
        return
    if not base:
        boot_prefix(prefix)
        return
    os.makedirs(os.path.dirname(os.path.abspath(base)), exist_ok=True)
    with open(base + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not is_prefix(base):
            boot_prefix(base)
    copy_prefix(base, prefix)


def is_prefix(path):
    return os.path.exists(os.path.join(path, "system.reg"))


def boot_prefix(prefix):
    """Boots a new prefix. Wine links the user's Desktop, Documents and other
    shell folders to $HOME, which every prefix of every clone shares; each
    becomes a folder of the prefix, so that a run's files neither land in the
    home folder nor meet another run's."""
    env = dict(os.environ, WINEPREFIX=prefix, **QUIET)
    for command in (["wineboot", "-i"], ["wineserver", "-w"]):
        subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=300, check=True)
    for link in glob.glob(os.path.join(prefix, "drive_c", "users", "*", "*")):
        if os.path.islink(link):
            os.remove(link)
            os.mkdir(link)


def copy_prefix(base, prefix):
    """Copies base into prefix, its DLL folders as hard links (copies across
    file systems). The copy is made beside prefix and renamed into place, so
    that an interrupted one never counts as a prefix; prefix may be an empty
    folder."""
    shared = tuple(os.path.join(base, folder) + os.sep for folder in SHARED_FOLDERS)

    def link_or_copy(source, target):
        if source.startswith(shared):
            try:
                return os.link(source, target)
            except OSError:
                pass
        return shutil.copy2(source, target)

    partial = prefix.rstrip("/") + ".partial"
    shutil.rmtree(partial, ignore_errors=True)
    shutil.copytree(base, partial, symlinks=True, copy_function=link_or_copy)
    if os.path.isdir(prefix):
        os.rmdir(prefix)
    os.rename(partial, prefix)


def calls(trace, function):
    """The argument texts of every relayed call of function (e.g. 'MessageBoxW')."""
    pattern = re.compile(r"Call [\w.]+\." + re.escape(function) + r"\((.*)\) ret=")
    return [m.group(1) for m in map(pattern.search, trace) if m]


def loaded_modules(trace):
    """The file of every library that the loader mapped, as Windows paths."""
    pattern = re.compile(r'trace:loaddll:\w+ Loaded L"(.*?)" at ')
    return [m.group(1).replace("\\\\", "\\") for m in map(pattern.search, trace) if m]


def shell_starts(trace):
    """(verb, file, parameters) of every shell start the exec channel logged."""
    pattern = re.compile(r'SHELL_execute mask=0x(\w+) hwnd=\w+ verb=(\(null\)|L".*?") file=(L".*?") parm=(L".*?")')
    starts = []
    for m in map(pattern.search, trace):
        if m:
            starts.append((int(m.group(1), 16), m.group(2), m.group(3), m.group(4)))
    return starts


if __name__ == "__main__":
    # Prepares a prefix for the shell scripts: python3 wine_session.py [--base BASE] PREFIX
    parser = argparse.ArgumentParser()
    parser.add_argument("--base")
    parser.add_argument("prefix")
    args = parser.parse_args()
    make_prefix(os.path.abspath(args.prefix), args.base and os.path.abspath(args.base))
