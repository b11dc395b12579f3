#!/usr/bin/env python3
"""The demonstration: the real Tarnwick.exe under Wine ejects a simulated stick.

    demo.py OUTPUT_FOLDER

Drive E: is a temporary folder; the simulated Plug and Play layer
(tests/wine/simpnp) puts a USB stick behind it, which the system refuses to
eject while a file on it is open; the simulated shell window collection
(tests/wine/fakeshell) lists a folder window on E:. A test-only program holds
E:\\dir\\notes.txt open. Then "Tarnwick.exe E:" runs as a user would see it:

  1. the banner appears and the first attempt is refused; the folder window
     on E: is moved elsewhere;
  2. the second refusal: the blocker balloon names the program holding the
     file, and the banner offers Cancel;
  3. the program holding the file ends; the next attempt succeeds: the
     banner says the stick can be unplugged, and the success balloon shows;
  4. the stick is pulled out (the device-change messages are sent as the
     system would): the banner fades out while moving right, and the program
     ends.

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


def typical_run(wine, out):
    with contextlib.ExitStack() as stack:
        scene = stack.enter_context(harness.Scene(wine))
        pnp = sim.SimulatedPnp(scene)
        stack.callback(pnp.close)
        stack.enter_context(shell_windows.unmanaged_windows(wine.env))
        dll = os.path.join(wine.build_dir, "fakeshell", shell_windows.FAKE_DLL_NAME)
        stack.enter_context(shell_windows.simulated_shell_windows(wine.env, scene.windows_path(dll)))

        stick = scene.map_drive("E")
        pnp.define_drive("E", stick)
        os.makedirs(os.path.join(stick, "dir"))
        with open(os.path.join(stick, "dir", "notes.txt"), "w") as f:
            f.write("still being edited\n")
        pnp.describe(sim.usb_stick(veto_type=6, veto_name="\\Device\\HarddiskVolume3",
                                   veto_while_open=r"E:\dir\notes.txt"))
        print("E: is %s; behind it a simulated USB stick, refused while E:\\dir\\notes.txt is open"
              % stick)
        pid_file = os.path.join(scene.make_folder("tarnwick-holder-"), "pid")
        holder = scene.start(scene.build_file("hold_file.exe"),
                             [scene.windows_path(pid_file), r"E:\dir\notes.txt"])
        wait_until(lambda: read_text(pid_file).strip(), 60, "the holder")
        print("hold_file.exe (process %s) holds E:\\dir\\notes.txt open" % read_text(pid_file).strip())

        recorder = Recorder(scene, os.path.join(out, "frames"))
        shell_log = os.path.join(scene.make_folder("tarnwick-shell-"), "calls.log")
        started = time.monotonic()
        worker = pnp.start(["E:"], extra_env={"FAKESW_ITEMS": "file:///E:/dir",
                                               "FAKESW_LOG": scene.windows_path(shell_log)})
        banner = wait_until(lambda: banner_of(scene), 90, "the banner", interval=0.1)
        hwnd, pid, x, y = banner[:4]
        print("Tarnwick.exe E: shows its banner at %d,%d, %.2f s after its start"
              % (x, y, time.monotonic() - started))

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
            print("  request at %s ms: %s" % (r["start"], "accepted" if r["result"] == sim.CR_SUCCESS
                                              else "refused"))

        print("The stick is pulled out")
        scene.run_tool("probe", "send", hwnd, hex(WM_DEVICECHANGE), DBT_DEVICEREMOVECOMPLETE, 0)

        def sliding():
            scene.run_tool("probe", "post", hwnd, hex(WM_DEVICECHANGE), DBT_DEVNODES_CHANGED, 0)
            now = banner_of(scene, pid)
            return now is not None and now[2] >= 8
        wait_until(sliding, 30, "the fade-out", interval=0.1)
        shot("04-fading-out.png", lambda p: True)
        code = worker.wait_exit(30)
        recorder.stop()
        print("Tarnwick.exe ended with exit code %d, %.1f s after its start"
              % (code, time.monotonic() - started))
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
