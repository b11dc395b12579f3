"""Whole-program test harness: runs the real Tarnwick.exe under Wine.

Each test module gets one `WineSession` (the build's cached private prefix, an
X display, the wineserver) and each test a fresh set of mapped drives and
started processes, which `WineTestCase.tearDown` removes and ends again.

    class T(harness.WineTestCase):
        def test_something(self):
            stick = self.map_drive("E")                 # host folder behind E:
            proc = self.start_program(["-p1", "E:"])    # Tarnwick.exe from the build
            self.assertEqual(proc.wait_exit(30), 0)

Environment: TARNWICK_BUILD_DIR is the win64 build folder (set by CTest).
When DISPLAY is not set, an Xvfb server is started for the session.
"""
import atexit
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

import wineprefix

BUILD_DIR = os.path.abspath(os.environ.get(
    "TARNWICK_BUILD_DIR",
    os.path.join(os.path.dirname(__file__), "..", "..", "build", "win64")))


# Where a test notes that the wineserver crashed under it, by module name.
CRASH_MARKS = os.path.join(BUILD_DIR, "wineserver-crashes")


def wait_until(predicate, timeout, what, interval=0.05, state=None):
    """Polls `predicate` until it returns a true value; fails after `timeout` s,
    saying what `state()` (when given) shows then."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            message = "timed out after %.0f s waiting for %s" % (timeout, what)
            if state is not None:
                message += "; then: %s" % (state(),)
            raise AssertionError(message)
        time.sleep(interval)


def parse_reply(text):
    """The reply of a test-only program, printed or written to its status file.

    Each line is a key and, after the first space, its value ("" for a lone
    key such as "ready"). Returns a dict by key; a later line wins.
    """
    reply = {}
    for line in text.splitlines():
        key, _, value = line.strip().partition(" ")
        if key:
            reply[key] = value
    return reply


def read_text(path):
    """The file's text, or "" when it does not exist (yet)."""
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return ""


class Display:
    """An X display: the caller's DISPLAY, or a private Xvfb server."""

    def __init__(self, width=1024, height=768):
        self.server = None
        if os.environ.get("DISPLAY"):
            self.name = os.environ["DISPLAY"]
            return
        read_fd, write_fd = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
             "%dx%dx24" % (width, height), "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number

    def close(self):
        if self.server is not None:
            self.server.terminate()
            try:
                self.server.wait(10)
            except subprocess.TimeoutExpired:
                self.server.kill()
            self.server = None


class WindowWatch:
    """Records the top-level windows mapped on the X display while it runs."""

    def __init__(self, display):
        self.xev = subprocess.Popen(
            ["xev", "-display", display, "-root", "-event", "substructure"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.lines = None

    def _stop(self):
        if self.lines is None:
            self.xev.terminate()
            out, _ = self.xev.communicate(timeout=10)
            self.lines = out.splitlines()
        return self.lines

    def mapped(self):
        """Stops watching; returns the MapNotify lines seen."""
        return [line for line in self._stop() if line.startswith("MapNotify")]

    def events(self, window):
        """Stops watching; returns the names of the events seen for the X
        window `window` (a number), in order: "ConfigureNotify", ..."""
        names = []
        lines = self._stop()
        for first, second in zip(lines, lines[1:]):
            match = re.search(r"event 0x[0-9a-f]+, window (0x[0-9a-f]+)", second)
            if first.endswith(",") and match and int(match.group(1), 16) == int(window):
                names.append(first.split()[0])
        return names

    def places(self, window):
        """Stops watching; returns the set of (x, y) that ConfigureNotify
        reported for the X window `window` (a number)."""
        found = set()
        lines = self._stop()
        for first, second in zip(lines, lines[1:]):
            if not first.startswith("ConfigureNotify"):
                continue
            match = re.search(r"window (0x[0-9a-f]+), \((-?\d+),(-?\d+)\)", second)
            if match and int(match.group(1), 16) == int(window):
                found.add((int(match.group(2)), int(match.group(3))))
        return found


class WineSession:
    """The prefix, display and wineserver shared by the tests of one module."""

    _current = None

    @classmethod
    def get(cls):
        if cls._current is None:
            cls._current = WineSession()
            atexit.register(cls._current.close)
        return cls._current

    def __init__(self):
        self.build_dir = BUILD_DIR
        self.prefix = wineprefix.ensure_prefix(self.build_dir)
        self.display = Display()
        self.env = wineprefix.wine_env(self.prefix, {"DISPLAY": self.display.name})
        self.start_server()

    def start_server(self):
        # Keep one wineserver up for the whole module: starting it costs a second.
        subprocess.run(["wineserver", "-p120"], env=self.env, timeout=60)
        # The server goes into its folder as it detaches: look for a moment.
        self.server_pid = None
        deadline = time.monotonic() + 10
        while self.server_pid is None and time.monotonic() < deadline:
            self.server_pid = self._find_server()
            if self.server_pid is None:
                time.sleep(0.05)

    def _find_server(self):
        """The process id of the prefix's wineserver, found by its working
        folder (server-<device>-<inode> of the prefix); None when not found."""
        info = os.stat(self.prefix)
        suffix = "/server-%x-%x" % (info.st_dev, info.st_ino)
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                if os.readlink("/proc/%s/cwd" % pid).endswith(suffix):
                    with open("/proc/%s/comm" % pid) as f:
                        if f.read().startswith("wineserver"):
                            return int(pid)
            except OSError:
                continue
        return None

    def server_crashed(self):
        """Whether the wineserver started for the module has died under it.
        Wine 8.0's server can crash (a segmentation fault while it lists the
        handle table for a process that enumerates it) as processes start
        and end around that call; the program's own code has no part in it."""
        if self.server_pid is None:
            return False
        try:
            with open("/proc/%d/stat" % self.server_pid) as f:
                return f.read().split(") ", 1)[1].startswith(("Z", "X"))
        except OSError:
            return True

    def dosdevice(self, letter):
        return os.path.join(self.prefix, "dosdevices", letter.lower() + ":")

    def kill_all(self, restart=True):
        """Ends every Windows process of the prefix and waits for the server
        to go; then starts the module's server again, unless told not to, so
        that a server ended on purpose is never taken for one that crashed."""
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=60)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=60)
        if restart:
            self.start_server()

    def close(self):
        try:
            self.kill_all(restart=False)
        finally:
            self.display.close()


class Process:
    """A Windows process started from the host, as its `wine` loader process."""

    def __init__(self, popen, description):
        self.popen = popen
        self.description = description
        self._output = None

    def running(self):
        return self.popen.poll() is None

    def wait_exit(self, timeout):
        """Waits for the process to end and returns its exit code (unsigned)."""
        try:
            code = self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("%s did not end within %.0f s" % (self.description, timeout))
        return code & 0xFFFFFFFF if code >= 0 else code

    def output(self, timeout=60):
        """Waits for the end and returns (exit code, stdout text)."""
        if self._output is None:
            try:
                out, _ = self.popen.communicate(timeout=timeout)
            except subprocess.TimeoutExpired:
                raise AssertionError("%s did not end within %.0f s" % (self.description, timeout))
            self._output = out.decode("utf-8", "replace") if out else ""
        return self.popen.returncode, self._output

    def kill(self):
        if self.running():
            self.popen.send_signal(signal.SIGKILL)
            try:
                self.popen.wait(10)
            except subprocess.TimeoutExpired:
                pass


class Scene:
    """The drives, folders and processes of one test (or of the demo).

    `close` ends the processes still running and removes the drives and
    folders; used as a context manager, the scene closes itself on the way out:

        with harness.Scene(wine) as scene:
            scene.map_drive("E")
    """

    def __init__(self, wine):
        self.wine = wine
        self._processes = []
        self._drives = []
        self._folders = []

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        self.close()
        return False

    def close(self):
        stray = [p for p in self._processes if p.running()]
        if stray:
            # Children of the program (its copies, cmd.exe) are not ours to
            # track one by one: end everything in the prefix.
            self.wine.kill_all()
            for p in stray:
                p.kill()
        for letter in self._drives:
            # Wine keeps a defined drive's type: remove it, not only its link.
            self.run_tool("mount_drive", "remove", letter)
            link = self.wine.dosdevice(letter)
            if os.path.islink(link):
                os.unlink(link)
        for folder in self._folders:
            shutil.rmtree(folder, ignore_errors=True)
        self._processes, self._drives, self._folders = [], [], []

    # --- files and drives ---

    def make_folder(self, name="tarnwick-test-"):
        folder = tempfile.mkdtemp(prefix=name)
        self._folders.append(folder)
        return folder

    def map_drive(self, letter="E", folder=None, kind="fixed"):
        """Makes `letter` a drive on a new (or the given) host folder; returns the folder.

        The drive is defined through Wine's mount manager, as its configuration
        tool does, so that it is a volume like any other ("fixed" or
        "removable" disk, or "cdrom") whenever it is mapped. A drive only linked
        into the prefix's dosdevices folder would be unknown to a mount manager
        that is already running.
        """
        if folder is None:
            folder = self.make_folder("tarnwick-stick-")
        self._drives.append(letter)
        code, _ = self.run_tool("mount_drive", "define", letter, folder, kind)
        if code != 0:
            raise AssertionError("could not define drive %s: (exit code %s)" % (letter, code))
        return folder

    def windows_path(self, host_path):
        """The Windows path of a host file, through the prefix's Z: drive."""
        return "Z:" + os.path.abspath(host_path).replace("/", "\\")

    def host_temp_dir(self):
        """The host folder behind the user's temporary folder in the prefix."""
        user = os.environ.get("USER") or "root"
        for candidate in (os.path.join(self.wine.prefix, "drive_c", "users", user, "Temp"),
                          os.path.join(self.wine.prefix, "drive_c", "users", user,
                                       "AppData", "Local", "Temp")):
            if os.path.isdir(candidate):
                return candidate
        raise AssertionError("no temporary folder in the prefix")

    # --- processes ---

    def build_file(self, name):
        return os.path.join(self.wine.build_dir, name)

    def copy_program(self, folder, name="Tarnwick.exe"):
        """Copies the built Tarnwick.exe into a host folder under another name."""
        target = os.path.join(folder, name)
        shutil.copyfile(self.build_file("Tarnwick.exe"), target)
        return target

    def start(self, program, args=(), env=None, capture=False, cwd=None):
        """Starts a Windows program (host path or Windows path) with arguments."""
        full_env = dict(self.wine.env)
        if env:
            full_env.update(env)
        popen = subprocess.Popen(
            ["wine", program] + list(args), env=full_env, cwd=cwd,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE if capture else subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        process = Process(popen, "%s %s" % (os.path.basename(program), " ".join(args)))
        self._processes.append(process)
        return process

    def start_program(self, args=(), program=None, env=None):
        """Starts Tarnwick.exe (the build's, unless another copy is given)."""
        return self.start(program or self.build_file("Tarnwick.exe"), args, env=env)

    def run_tool(self, tool, *args, timeout=60):
        """Runs a test-only program from the build; returns (exit code, stdout)."""
        process = self.start(self.build_file(tool + ".exe"), [str(a) for a in args],
                             capture=True)
        return process.output(timeout)

    def tool_reply(self, tool, *args, timeout=60):
        """Runs a test-only program; returns (exit code, its printed reply by key)."""
        code, out = self.run_tool(tool, *args, timeout=timeout)
        return code, parse_reply(out)

    def start_sleeper(self, milliseconds, exit_code=7):
        """Starts sleeper.exe; returns (process, Windows process id)."""
        folder = self.make_folder("tarnwick-sleeper-")
        pid_file = os.path.join(folder, "pid")
        process = self.start(self.build_file("sleeper.exe"),
                             [str(milliseconds), self.windows_path(pid_file), str(exit_code)])
        text = wait_until(lambda: read_text(pid_file).strip(), 60, "the sleeper's process id")
        return process, int(text)

    # --- questions to Wine ---

    def mutex_exists(self, name):
        return self.run_tool("probe", "mutex", name)[0] == 0

    def event_exists(self, name):
        return self.run_tool("probe", "event", name)[0] == 0

    def take_event_signal(self, name):
        """True when the event was signalled; taking the signal resets an auto-reset event."""
        return self.run_tool("probe", "signalled", name)[0] == 0

    def process_alive(self, pid):
        return self.run_tool("probe", "alive", pid)[0] == 0

    def pids_of(self, exe_name):
        code, out = self.run_tool("probe", "pids", exe_name)
        return [int(line) for line in out.split()] if code == 0 else []

    def windows_of(self, pid):
        """Top-level windows of a process: list of (hwnd, class name, visible)."""
        _, out = self.run_tool("probe", "windows", pid)
        rows = []
        for line in out.splitlines():
            parts = line.split()
            if len(parts) == 3:
                rows.append((int(parts[0]), parts[1], parts[2] == "1"))
        return rows

    def screenshot(self, path):
        """Captures the whole X screen into a PNG file."""
        subprocess.run(["import", "-display", self.wine.display.name, "-window", "root", path],
                       check=True, timeout=60)
        return path


class WineTestCase(unittest.TestCase, Scene):
    """Base class: a Wine session per module, a fresh scene per test."""

    @classmethod
    def setUpClass(cls):
        cls.wine = WineSession.get()

    def setUp(self):
        Scene.__init__(self, self.wine)

    def tearDown(self):
        # Looked at before the clean-up, which may end the server on purpose.
        crashed = self.wine.server_crashed()
        self.close()
        if crashed:
            # Told to the module's runner (run_module.py), which runs the
            # module once more; later tests of this run get a fresh server.
            os.makedirs(CRASH_MARKS, exist_ok=True)
            with open(os.path.join(CRASH_MARKS, self.id().split(".")[0]), "a") as f:
                f.write(self.id() + "\n")
            print("\nwineserver crashed during %s" % self.id(), flush=True)
            self.wine.kill_all()
