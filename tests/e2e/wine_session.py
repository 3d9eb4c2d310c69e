"""Runs Windows programs under Wine in a prefix of the test's own and reads
back what they did: relay traces, the registry, files on disk."""

import glob
import os
import re
import subprocess
import tempfile
import time

# Function names alone: Wine 8 matches no "dll.function" entry of this list
# and then traces every call.
RELAY_INCLUDE = ("MessageBoxW;MessageBoxA;ShellExecuteExA;LoadLibraryW;LoadLibraryA;LoadLibraryExW;"
                 "RegSetValueExW;SetDefaultDllDirectories;SetDllDirectoryW")
MARK_KEY = (r"HKCU\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags"
            r"\Compatibility Assistant\Persisted")


def windows_path(path):
    """The Wine path (drive Z:) of a Unix path."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class WineSession:
    def __init__(self, prefix, timeout=60):
        self.prefix = prefix
        self.timeout = timeout
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("DISPLAY", None)
        self.console_encoding = "utf-8"
        self._boot()

    def _run(self, args, env=None, cwd=None, timeout=None):
        """Runs a command to its end and returns its standard output. The output
        goes through a file, not a pipe: Wine's services, started by whichever
        process comes first, inherit the handles and would hold a pipe open."""
        with tempfile.TemporaryFile() as out:
            subprocess.run(args, env=env or self.env, cwd=cwd, stdin=subprocess.DEVNULL,
                           stdout=out, stderr=subprocess.DEVNULL, timeout=timeout or self.timeout)
            out.seek(0)
            return out.read().decode(self.console_encoding, "replace")

    def _boot(self):
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            self._run(["wineboot", "-i"], timeout=300)
        self.wait()
        self._own_folders()
        self.reg_add(r"HKCU\Software\Wine\Debug", "RelayInclude", RELAY_INCLUDE)

    def _own_folders(self):
        """A new prefix links the user's Desktop, Documents and other shell
        folders to $HOME, which every prefix of every clone shares; each becomes
        a folder of the prefix (as wine_own_folders in cmake/wine-env.sh does)."""
        for link in glob.glob(os.path.join(self.prefix, "drive_c", "users", "*", "*")):
            if os.path.islink(link):
                os.remove(link)
                os.mkdir(link)

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

    def reg_add(self, key, name, data, kind="REG_SZ"):
        self._run(["wine", "reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f"])

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
        """Starts exe (with args) in cwd with temp_dir as its temporary folder, its trace
        going to trace.txt beside temp_dir. A idle console keeps the server and
        its services up meanwhile, so that none of them starts traced."""
        quiet = dict(self.env, **({"DISPLAY": display} if display else {}))
        env = dict(quiet, **(extra_env or {}))
        if trace:
            env["WINEDEBUG"] = "+relay,+exec,+loaddll"
        # Wine takes the temporary folder from the registry, not from Unix.
        for name in ("TEMP", "TMP"):
            self.reg_add(r"HKCU\Environment", name, windows_path(temp_dir))
        self.wait()  # the services start anew, with this run's display
        self._keeper = subprocess.Popen(["wine", "cmd"], env=quiet, stdin=subprocess.PIPE,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._run(["wine", "cmd", "/c", "exit"], env=quiet)
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
            self._keeper.communicate(b"exit\r\n", timeout=self.timeout)
            self.wait()
        with open(self.trace_path, "rb") as f:
            return code, f.read().decode("utf-8", "replace").splitlines()

    def run(self, exe, cwd, temp_dir, trace=True, extra_env=None):
        return self.finish(self.start(exe, cwd, temp_dir, trace, extra_env=extra_env))


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
