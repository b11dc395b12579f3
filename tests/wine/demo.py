#!/usr/bin/env python3
"""The demonstration: the real Tarnwick.exe under Wine ejects a simulated stick.

    demo.py OUTPUT_FOLDER

Drive E: is a temporary folder that holds Tarnwick.exe; the simulated Plug
and Play layer (tests/wine/simpnp) puts a USB stick behind it, which the
system refuses to eject while a file on it is open; the simulated shell
window collection (tests/wine/fakeshell) lists a folder window on E:. A
test-only program holds E:\\dir\\notes.txt open. Then E:\\Tarnwick.exe is
started as a double-click in Explorer starts it (no arguments, E:\\ as its
current folder), and the demo follows the whole chain:

  1. the launcher copies itself into the user's temporary folder as
     TWK*.exe, starts the copy with "E: --delete-executable" and ends;
     nothing on E: stays open;
  2. the copy's banner appears and the first attempt is refused; the folder
     window on E: is moved elsewhere;
  3. the second refusal: the blocker balloon names the program holding the
     file, and the banner offers Cancel;
  4. the program holding the file ends; the next attempt succeeds: the
     banner says the stick can be unplugged, and the success balloon shows;
  5. the stick is pulled out (the device-change messages are sent as the
     system would): the banner fades out while moving right, and the copy
     ends;
  6. its clean-up batch deletes the copy and itself: the temporary folder
     holds what it held before.

Writes a screenshot of each state, an animated GIF of the whole run and the
layer's call log into OUTPUT_FOLDER. Runs the silent-eject scenes of
demo_eject.py afterwards.
"""
import contextlib
import os
import shutil
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "simpnp"))
import harness  # noqa: E402
import shell_windows  # noqa: E402
import simulated_pnp as sim  # noqa: E402
from harness import read_text, wait_until  # noqa: E402
from stick_run import holders_of  # noqa: E402

WM_DEVICECHANGE = 0x0219
DBT_DEVNODES_CHANGED = 0x0007
DBT_DEVICEREMOVECOMPLETE = 0x8004


class Recorder:
    """Takes screenshots one after the other in the background, for the GIF."""

    def __init__(self, scene, folder):
        self.scene, self.folder = scene, folder
        os.makedirs(folder, exist_ok=True)
        self.frames = []
        self.stopped = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while not self.stopped.is_set():
            path = os.path.join(self.folder, "frame-%04d.png" % len(self.frames))
            try:
                self.scene.screenshot(path)
                self.frames.append((time.monotonic(), path))
            except subprocess.CalledProcessError:
                pass

    def stop(self):
        self.stopped.set()
        self.thread.join(60)

    def gif(self, path):
        """An animated GIF at half size, each frame shown as long as it lasted."""
        args = ["convert", "-loop", "0"]
        for (at, frame), (after, _) in zip(self.frames, self.frames[1:] + [(self.frames[-1][0] + 1.5, None)]):
            args += ["-delay", str(max(2, int(round((after - at) * 100)))), frame]
        args += ["-resize", "50%", "-layers", "Optimize", path]
        subprocess.run(args, check=True, timeout=600)


def banner_of(scene, pid=None):
    _, out = scene.run_tool("probe", "banners")
    for line in out.splitlines():
        row = [int(v) for v in line.split()]
        if len(row) == 7 and row[6] and (pid is None or row[1] == pid):
            return row
    return None


def mean(path, geometry):
    text = subprocess.run(["convert", path, "-crop", geometry, "-format", "%[fx:mean]", "info:"],
                          capture_output=True, text=True, timeout=60).stdout
    return float(text or 0)


class TempWatch:
    """Watches a folder in the background: every TWK file that appears in it,
    and the text of the clean-up batch when it could be read in time."""

    def __init__(self, folder):
        self.folder = folder
        self.seen = []
        self.batch_text = None
        self.stopped = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while not self.stopped.is_set():
            try:
                names = os.listdir(self.folder)
            except OSError:
                names = []
            for name in names:
                if not name.upper().startswith("TWK"):
                    continue
                if name not in self.seen:
                    self.seen.append(name)
                if name.lower().endswith(".bat") and not self.batch_text:
                    try:
                        with open(os.path.join(self.folder, name), "rb") as f:
                            self.batch_text = f.read().decode("cp1252", "replace")
                    except OSError:
                        pass
            time.sleep(0.01)

    def stop(self):
        self.stopped.set()
        self.thread.join(60)


def windows_temp_path(wine, host_temp):
    """The user's temporary folder as Windows names it (C:\\users\\...\\Temp)."""
    relative = os.path.relpath(host_temp, os.path.join(wine.prefix, "drive_c"))
    return "C:\\" + relative.replace("/", "\\")


def command_of(pid):
    """The name of a Linux process, or its id when it has gone."""
    text = read_text("/proc/%d/cmdline" % pid).split("\0")
    names = [os.path.basename(a.replace("\\", "/")) for a in text if a]
    if not names:
        return str(pid)
    # A Windows program shows as its wine loader followed by its path.
    if names[0] in ("wine", "wine64", "wine64-preloader", "wine-preloader") and len(names) > 1:
        return names[1]
    return names[0]


def listing(folder):
    return ", ".join(sorted(os.listdir(folder))) or "(empty)"


def typical_run(wine, out):
    with contextlib.ExitStack() as stack:
        scene = stack.enter_context(harness.Scene(wine))
        pnp = sim.SimulatedPnp(scene)
        stack.callback(pnp.close)
        stack.enter_context(shell_windows.unmanaged_windows(wine.env))
        dll = os.path.join(wine.build_dir, "fakeshell", shell_windows.FAKE_DLL_NAME)
        stack.enter_context(shell_windows.simulated_shell_windows(wine.env, scene.windows_path(dll)))

        # The stick: Tarnwick.exe at its root, with the simulated layer beside
        # it, and a file that an editor keeps open.
        stick = scene.map_drive("E")
        pnp.define_drive("E", stick)
        scene.copy_program(stick)
        pnp.install_into(stick)
        os.makedirs(os.path.join(stick, "dir"))
        with open(os.path.join(stick, "dir", "notes.txt"), "w") as f:
            f.write("still being edited\n")
        pnp.describe(sim.usb_stick(veto_type=6, veto_name="\\Device\\HarddiskVolume3",
                                   veto_while_open=r"E:\dir\notes.txt"))
        print("E: is %s; behind it a simulated USB stick, refused while E:\\dir\\notes.txt is open"
              % stick)
        print("  on the stick: %s" % listing(stick))

        # The user's temporary folder: the copy will find the layer there too.
        temp = scene.host_temp_dir()
        temp_windows = windows_temp_path(wine, temp)
        layer = [n for n in ("setupapi.dll", "wsetupapi.dll")
                 if not os.path.exists(os.path.join(temp, n))]
        pnp.install_into(temp)
        stack.callback(lambda: [os.unlink(os.path.join(temp, n)) for n in layer
                                if os.path.exists(os.path.join(temp, n))])
        before = sorted(os.listdir(temp))
        print("The temporary folder %s holds: %s" % (temp_windows, listing(temp)))

        pid_file = os.path.join(scene.make_folder("tarnwick-holder-"), "pid")
        holder = scene.start(scene.build_file("hold_file.exe"),
                             [scene.windows_path(pid_file), r"E:\dir\notes.txt"])
        wait_until(lambda: read_text(pid_file).strip(), 60, "the holder")
        print("hold_file.exe (process %s) holds E:\\dir\\notes.txt open" % read_text(pid_file).strip())

        recorder = Recorder(scene, os.path.join(out, "frames"))
        watch = TempWatch(temp)
        shell_log = os.path.join(scene.make_folder("tarnwick-shell-"), "calls.log")
        dir_file = os.path.join(scene.make_folder("tarnwick-tmpname-"), "dir")
        with open(dir_file, "wb") as f:
            f.write(temp_windows.encode("utf-16-le"))
        # The layer logs the command line of the process that carries
        # --delete-executable (the worker) as it loads; the release file
        # lets it go on at once.
        release = os.path.join(scene.make_folder("tarnwick-release-"), "go")
        open(release, "w").close()
        env = pnp.env()
        env.update({"FAKESW_ITEMS": "file:///E:/dir", "FAKESW_LOG": scene.windows_path(shell_log),
                    "TARNWICK_SIMPNP_HOLD_ARGUMENT": "--delete-executable",
                    "TARNWICK_SIMPNP_HOLD_FILE": scene.windows_path(release)})
        started = time.monotonic()
        # with_temp.exe starts E:\Tarnwick.exe as Explorer does: no
        # arguments, E:\ as its current folder.
        launcher = scene.start(scene.build_file("with_temp.exe"),
                               [scene.windows_path(dir_file), r"E:\Tarnwick.exe"], env=env)
        print("Started E:\\Tarnwick.exe without arguments, as a double-click does")

        worker = wait_until(lambda: pnp.calls("hold"), 90, "the copy's start")[0]
        pid = int(worker["pid"])
        copies = [n for n in watch.seen if n.lower().endswith(".exe")]
        print("  the launcher copied itself to %s\\%s" % (temp_windows, copies[0] if copies else "?"))
        print("  and started the copy (process %d) with: %s" % (pid, worker["command_line"]))
        code = launcher.wait_exit(30)
        print("  the launcher ended with exit code %d, %.2f s after its start"
              % (code, time.monotonic() - started))

        banner = wait_until(lambda: banner_of(scene, pid), 90, "the banner", interval=0.1)
        hwnd, _, x, y, right = banner[:5]
        cancel_face = "40x8+%d+%d" % (right - 392 + 14, y + 33)
        print("The copy shows its banner at %d,%d, %.2f s after the double-click"
              % (x, y, time.monotonic() - started))
        # The editor's open file is held by the wineserver on its behalf.
        held = sorted({"%s (through %s)" % (os.path.relpath(path, stick), command_of(p))
                       for p, path in holders_of(stick)})
        print("  held open under the stick's folder now: %s" % ("; ".join(held) or "nothing"))

        def shot(name, ready):
            path = os.path.join(out, name)

            def attempt():
                scene.screenshot(path)
                return ready(path)
            wait_until(attempt, 60, name, interval=0.1)
            print("  screenshot: %s" % path)

        shot("01-banner.png", lambda p: mean(p, "300x30+0+%d" % (y + 22)) > 0.05)
        wait_until(lambda: len(pnp.eject_requests()) >= 2, 60, "two refusals")
        print("Refused twice; the folder window on E: was moved: %s"
              % [l.split()[1:3] for l in read_text(shell_log).splitlines() if l.startswith("navigate")])
        shot("02-blocker-balloon.png", lambda p: mean(p, "340x70+0+44") > 0.5)
        holder.kill()
        print("hold_file.exe ended")
        wait_until(lambda: any(r["result"] == sim.CR_SUCCESS for r in pnp.eject_requests()), 60,
                   "the accepted request")
        shot("03-can-be-unplugged.png", lambda p: mean(p, "18x18+9+%d" % (y + 28)) < 0.3
             and mean(p, "340x70+0+44") > 0.5)
        for r in pnp.eject_requests():
            print("  request by process %s at %s ms: %s"
                  % (r["pid"], r["start"], "accepted" if r["result"] == sim.CR_SUCCESS else "refused"))

        print("The stick is pulled out")
        scene.run_tool("probe", "send", hwnd, hex(WM_DEVICECHANGE), DBT_DEVICEREMOVECOMPLETE, 0)

        def sliding():
            now = banner_of(scene, pid)
            if now is not None and now[2] < 8:
                scene.run_tool("probe", "post", hwnd, hex(WM_DEVICECHANGE), DBT_DEVNODES_CHANGED, 0)
                return False
            return True
        wait_until(sliding, 30, "the fade-out", interval=0.1)
        shot("04-fading-out.png", lambda p: True)
        wait_until(lambda: scene.run_tool("probe", "alive", pid)[0] != 0, 30, "the copy to end")
        print("The copy ended, %.1f s after the double-click" % (time.monotonic() - started))
        wait_until(lambda: sorted(os.listdir(temp)) == before, 90,
                   "the temporary folder to hold what it held before")
        watch.stop()
        recorder.stop()
        batches = [n for n in watch.seen if n.lower().endswith(".bat")]
        print("Its clean-up batch %s deleted the copy and itself"
              % (temp_windows + "\\" + batches[0] if batches else "(too quick to be seen)"))
        if watch.batch_text:
            for line in watch.batch_text.splitlines():
                print("    " + line)
        print("The temporary folder holds: %s (as before)" % listing(temp))
        print("Seen in it during the run: %s" % ", ".join(watch.seen))

        # The banner right after its start, before Cancel appears: the first
        # recorded frame that shows it (taken live, it is often too late).
        for _, frame in recorder.frames:
            if mean(frame, "300x30+0+%d" % (y + 22)) > 0.05:
                if mean(frame, cancel_face) < 0.4:
                    shutil.copyfile(frame, os.path.join(out, "01-banner.png"))
                    print("01-banner.png: the first recorded frame of the banner, before its"
                          " buttons appeared")
                break

        shutil.copyfile(pnp.log_path, os.path.join(out, "typical-run-calls.log"))
        gif = os.path.join(out, "typical-run.gif")
        recorder.gif(gif)
        shutil.rmtree(recorder.folder, ignore_errors=True)
        print("Animation: %s" % gif)


def main():
    out = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "demo-output")
    os.makedirs(out, exist_ok=True)
    wine = harness.WineSession.get()
    typical_run(wine, out)
    eject = os.path.join(HERE, "demo_eject.py")
    if os.path.exists(eject):
        print()
        status = subprocess.run([sys.executable, eject, out]).returncode
        if status != 0:
            sys.exit(status)
    print("\nScreenshots are in %s" % out)


if __name__ == "__main__":
    main()
