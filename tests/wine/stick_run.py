"""What the whole-program tests of a start from the stick share: the real
Tarnwick.exe on a simulated USB stick, started as Explorer starts a program
(in its own folder), relaunching a copy of itself from a temporary folder
whose clean-up batch removes the copy again.

Every run has a private temporary folder (with_temp.exe sets TMP and TEMP)
that holds the simulated Plug and Play layer, so that the copy finds it
beside itself as the launcher does on the stick. Processes are held at start
where a test needs to look at them (TARNWICK_SIMPNP_HOLD_*, simpnp.cpp).
The banner's helpers (finding it, keys, screenshots) and the start with a
temporary folder come from banner_run.
"""
import os
import time

from banner_run import (DBT_DEVICEREMOVECOMPLETE, DBT_DEVNODES_CHANGED, WM_DEVICECHANGE,
                        BannerRunCase, sim)
from harness import wait_until

WM_KEYDOWN = 0x0100
VK_RETURN = 0x0D
VK_ESCAPE = 0x1B


def holders_of(folder):
    """(pid, path) of every open file, mapping or current directory of any
    process that lies inside the host folder."""
    folder = os.path.realpath(folder)
    inside = lambda p: p == folder or p.startswith(folder + "/")  # noqa: E731
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        base = os.path.join("/proc", pid)
        paths = []
        try:
            paths.append(os.readlink(os.path.join(base, "cwd")))
            for fd in os.listdir(os.path.join(base, "fd")):
                try:
                    paths.append(os.readlink(os.path.join(base, "fd", fd)))
                except OSError:
                    pass
            with open(os.path.join(base, "maps")) as maps:
                paths += [line.split(None, 5)[5].strip() for line in maps
                          if len(line.split(None, 5)) == 6]
        except OSError:
            continue
        found += [(int(pid), p) for p in paths if inside(p)]
    return found


def command_of(pid):
    """The host command line of a process, or "" when it has gone."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return f.read().replace(b"\0", b" ").decode("utf-8", "replace").strip()
    except OSError:
        return ""


class StickRunCase(BannerRunCase):
    def setUp(self):
        super().setUp()
        self.pnp.describe(sim.usb_stick())

    def stick(self, letter="E", program="Tarnwick.exe"):
        """A simulated USB stick with the program (a path below its root) and
        the layer beside it; returns (host folder of the stick, Windows path)."""
        folder = self.map_drive(letter)
        self.pnp.define_drive(letter, folder)
        target = os.path.join(folder, *program.split("\\"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        self.copy_program(os.path.dirname(target), os.path.basename(target))
        self.pnp.install_into(os.path.dirname(target))
        return folder, "%s:\\%s" % (letter, program)

    # --- holding processes at their start ---

    def hold_env(self, argument="TWK"):
        """Holds every process whose command line contains `argument` (by
        default every process started from a TWK copy: worker, interpreter,
        waiter) at its start; `release` lets one go on."""
        self.release_file = os.path.join(self.make_folder("tarnwick-release-"), "go")
        return {"TARNWICK_SIMPNP_HOLD_ARGUMENT": argument,
                "TARNWICK_SIMPNP_HOLD_FILE": self.windows_path(self.release_file)}

    def record_worker_env(self):
        """Logs the worker's command line (a "hold" line) without holding it:
        the one release it takes is there before it starts. Only the worker's
        command line carries --delete-executable."""
        env = self.hold_env("--delete-executable")
        open(self.release_file, "w").close()
        return env

    def next_hold(self, seen):
        holds = wait_until(lambda: self.pnp.calls("hold")[seen:], 90, "a held process")
        return holds[0]

    def release(self):
        open(self.release_file, "w").close()
        wait_until(lambda: not os.path.exists(self.release_file), 60, "the release to be taken")

    # --- the temporary folder ---

    def wait_cleaned(self, temp, before):
        wait_until(lambda: sorted(os.listdir(temp)) == before, 90,
                   "the temporary folder to hold what it held before")

    # --- the banner's end ---

    def accepted(self):
        return [r for r in self.requests() if r["result"] == sim.CR_SUCCESS]

    def unplug(self, banner):
        """After a success: the device is pulled out, as the system reports
        it (the removal, then the device nodes change), until the banner
        fades out sliding right or is gone."""
        wait_until(self.accepted, 60, "an accepted request")
        self.send(banner, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE)
        removed = time.monotonic()

        def sliding():
            now = [b for b in self.banners() if b.pid == banner.pid]
            if now and now[0].x == 0:
                self.post(banner, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED)
                return False
            return True
        wait_until(sliding, 30, "the banner to fade out sliding right", interval=0.1)
        return time.monotonic() - removed

    def wait_stick_free(self, stick):
        """Waits until no process holds anything of the stick's folder open.
        A process that has just ended may linger a moment as a host process;
        one that keeps something open fails the wait, named in its message."""
        def holders():
            return [(pid, path, command_of(pid)) for pid, path in holders_of(stick)]
        wait_until(lambda: holders_of(stick) == [], 30, "nothing of the stick held open",
                   state=holders)

    def wait_gone(self, pid, timeout=30):
        wait_until(lambda: not self.process_alive(pid), timeout, "process %d to end" % pid)


__all__ = ["StickRunCase", "holders_of", "sim", "WM_KEYDOWN", "VK_RETURN", "VK_ESCAPE"]
