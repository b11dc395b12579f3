"""What the whole-program banner tests share: the real Tarnwick.exe as a
worker over the simulated Plug and Play layer, its banner found by class,
read by screenshots and driven with xdotool and sent messages; and the start
of the program as a user makes it, with a private temporary folder.

Windows of the test prefix are unmanaged (the X11 driver's Managed=N) for
the module's tests, so that hiding and destroying them takes milliseconds
and keys reach the foreground window wherever the pointer is.
"""
import contextlib
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "simpnp"))
import harness  # noqa: E402
import shell_windows  # noqa: E402
import simulated_pnp as sim  # noqa: E402
import screens  # noqa: E402
from harness import read_text, wait_until  # noqa: E402
from screens import (balloon_icon_pixels, balloon_pixels, black, error_sign,  # noqa: E402
                     grey, info_sign, white)

WM_QUERYENDSESSION = 0x0011
WM_DEVICECHANGE = 0x0219
DBT_DEVNODES_CHANGED = 0x0007
DBT_DEVICEREMOVECOMPLETE = 0x8004
BUTTONS_FROM_RIGHT = 392  # the OK button starts this far left of the image's right edge


class Banner:
    """One banner window as another process sees it."""

    def __init__(self, hwnd, pid, left, top, right, bottom, visible):
        self.hwnd, self.pid = hwnd, pid
        self.x, self.y = left, top
        self.width, self.height = right - left, bottom - top
        self.visible = visible


class BannerRunCase(harness.WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.registry = contextlib.ExitStack()
        cls.registry.enter_context(shell_windows.unmanaged_windows(cls.wine.env))

    @classmethod
    def tearDownClass(cls):
        cls.registry.close()
        super().tearDownClass()

    def setUp(self):
        super().setUp()
        self.pnp = sim.SimulatedPnp(self)
        self.addCleanup(self.pnp.close)

    # --- the stick and the worker ---

    def stick_on(self, letter="E", **stick):
        folder = self.map_drive(letter)
        self.pnp.define_drive(letter, folder)
        return folder

    def start_worker(self, *args, program=None, env=None):
        return self.pnp.start(list(args), extra_env=env, program=program)

    def refused_banner(self):
        """A worker for a stick on E: that refuses every request, once its
        banner is shown and two requests were refused: (worker, banner)."""
        self.stick_on("E")
        self.pnp.describe(sim.usb_stick(vetoes="all"))
        worker = self.start_worker("E:")
        banner = self.wait_banner()
        self.wait_requests(2)
        return worker, banner

    # --- a start as a user makes it, with a temporary folder of its own ---

    def temp_folder(self, name="Temp"):
        """A private temporary folder named `name`, holding the layer so that a
        copy of the program started from it finds the layer beside itself.
        Returns (host path, Windows path)."""
        path = os.path.join(self.make_folder("tarnwick-tmp-"), name)
        os.mkdir(path)
        self.pnp.install_into(path)
        return path, self.windows_path(path)

    def launch(self, program, temp_windows, args=(), env=None):
        """Starts `program` (a Windows path) in its own folder, as Explorer
        does, with TMP and TEMP set to the temporary folder (with_temp.exe);
        the layer's environment is inherited."""
        dir_file = os.path.join(self.make_folder("tarnwick-tmpname-"), "dir")
        with open(dir_file, "wb") as f:
            f.write(temp_windows.encode("utf-16-le"))
        all_env = self.pnp.env()
        all_env.update(env or {})
        return self.start(self.build_file("with_temp.exe"),
                          [self.windows_path(dir_file), program] + list(args), env=all_env)

    @staticmethod
    def twk_files(folder):
        """The program's copies and batches (TWK*) in a folder, sorted."""
        return sorted(f for f in os.listdir(folder) if f.upper().startswith("TWK"))

    # --- banners ---

    def banners(self):
        _, out = self.run_tool("probe", "banners")
        rows = [line.split() for line in out.splitlines() if line.strip()]
        return [Banner(*[int(v) for v in row]) for row in rows if len(row) == 7]

    def wait_banner(self, pid=None, what="the banner"):
        def shown():
            found = [b for b in self.banners() if b.visible and (pid is None or b.pid == pid)]
            return found[0] if found else None
        return wait_until(shown, 90, what, interval=0.1, state=self.run_state)

    def send(self, banner, message, wparam=0, lparam=0):
        code, reply = self.tool_reply("probe", "send", banner.hwnd, hex(message), wparam, hex(lparam))
        self.assertEqual(code, 0)
        return int(reply["result"])

    def post(self, banner, message, wparam=0, lparam=0):
        code, _ = self.run_tool("probe", "post", banner.hwnd, hex(message), wparam, hex(lparam))
        self.assertEqual(code, 0)

    def xdotool(self, *args):
        env = dict(os.environ, DISPLAY=self.wine.display.name)
        subprocess.run(["xdotool"] + [str(a) for a in args], env=env, check=True, timeout=60)

    def x_window(self):
        """The banner's X window (named after its title)."""
        env = dict(os.environ, DISPLAY=self.wine.display.name)
        out = subprocess.run(["xdotool", "search", "--name", "^Tarnwick$"], env=env,
                             capture_output=True, text=True, timeout=60).stdout.split()
        return out[-1] if out else None

    @contextlib.contextmanager
    def fading_in_place(self, banner, process_ended):
        """Around what makes the banner fade out: waits until `process_ended()`
        and checks that the banner never moved. Every move of its X window
        is recorded; probes also sample its place, but the fade may be over
        before one sees it."""
        watch = harness.WindowWatch(self.wine.display.name)
        window = wait_until(self.x_window, 30, "the banner's X window")
        yield
        places = set()

        def ended():
            places.update((b.x, b.y) for b in self.banners() if b.pid == banner.pid)
            return process_ended()
        wait_until(ended, 30, "the banner to fade out and its process to end", interval=0.05)
        self.assertLessEqual(places, {(banner.x, banner.y)}, "faded where it was")
        self.assertLessEqual(watch.places(window), {(banner.x, banner.y)}, "faded where it was")
        self.assertIn("UnmapNotify", watch.events(window), "the watch saw the banner go")

    def key(self, name):
        window = wait_until(self.x_window, 30, "the banner's X window")
        self.xdotool("key", "--window", window, name)

    # --- screenshots ---

    def shoot(self, name, ready, what, timeout=60):
        """Screenshots until `ready(screen)` holds; keeps the last one as NAME.png."""
        return screens.shoot(self, name, ready, what, timeout=timeout, interval=0.1)

    @staticmethod
    def body_shown(screen, banner):
        return grey(54)(screen.rgb(banner.x + 2, banner.y + 30))

    @staticmethod
    def buttons(screen, banner):
        """"both", "cancel" or "none": the buttons drawn on the banner."""
        ok_left = banner.x + banner.width - BUTTONS_FROM_RIGHT
        mid = banner.y + 37
        faces = screen.count(ok_left - 4, banner.y + 25, ok_left + 150, banner.y + 50, white)
        if faces < 50:
            return "none"
        # OK's face starts at ok_left; a lone Cancel 4 pixels further right.
        if all(white(screen.rgb(x, mid)) for x in (ok_left + 1, ok_left + 2)):
            return "both"
        return "cancel"

    @staticmethod
    def symbol(screen, banner):
        """Bright pixels of the symbol at (9, 28)."""
        return screen.count(banner.x + 9, banner.y + 28, banner.x + 27, banner.y + 46, lambda p: min(p) > 120)

    @staticmethod
    def symbol_pixels(screen, banner):
        return [screen.rgb(x, y) for y in range(banner.y + 28, banner.y + 46)
                for x in range(banner.x + 9, banner.x + 27)]

    @staticmethod
    def text_pixels(screen, banner):
        return [screen.rgb(x, y) for y in range(banner.y + 22, banner.y + 52)
                for x in range(banner.x + 36, banner.x + banner.width - BUTTONS_FROM_RIGHT - 8)]

    @staticmethod
    def balloon(screen):
        """White pixels of the notification area's balloon at the top of the screen."""
        return balloon_pixels(screen)

    @staticmethod
    def balloon_icon(screen, kind):
        return balloon_icon_pixels(screen, info_sign if kind == "info" else error_sign)

    # --- the layer's log ---

    def requests(self):
        return self.pnp.eject_requests()

    def run_state(self):
        """What a test that timed out reports: the requests, the banners and
        the processes of the prefix."""
        return {"requests": [(r.get("pid"), r.get("id"), r.get("result")) for r in self.requests()],
                "banners": [(b.pid, b.x, b.y, b.visible) for b in self.banners()],
                "processes": self.run_tool("processes", "list")[1].splitlines()}

    def wait_requests(self, count, timeout=60):
        return wait_until(lambda: len(self.requests()) >= count and self.requests(), timeout,
                          "%d eject requests" % count, state=self.run_state)


def request_times(requests):
    return [(float(r["start"]), float(r["t"])) for r in requests]


def message_boxes(scene, pid):
    """Message boxes of a process: list of (hwnd, owner, caption, [texts])."""
    _, out = scene.run_tool("probe", "boxes", pid)
    boxes = []
    for line in out.splitlines():
        key, _, value = line.rstrip("\r\n").partition(" ")
        if key == "box":
            hwnd, owner = value.split()
            boxes.append([int(hwnd), int(owner), "", []])
        elif key == "caption" and boxes:
            boxes[-1][2] = value
        elif key == "text" and boxes:
            boxes[-1][3].append(value)
    return boxes


__all__ = ["BannerRunCase", "Banner", "request_times", "message_boxes", "read_text", "wait_until",
           "black", "grey", "white", "sim", "shell_windows", "time"]
