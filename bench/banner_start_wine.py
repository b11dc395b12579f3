#!/usr/bin/env python3
"""Times the banner's appearance under Wine (a benchmark, not a test).

    python3 bench/banner_start_wine.py [RUNS]

Starts "Tarnwick.exe -c E:" RUNS times (default 20) over the simulated Plug
and Play layer, with a warm wineserver and unmanaged windows, and measures
from the start of the process to the moment its banner window is mapped on
the X display (watched with xev). Beside it, the same number of starts of a
bare program (sleeper.exe 0: a console program that ends at once), from start
to end. Prints median, minimum and maximum in milliseconds.
"""
import os
import select
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wine"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wine", "simpnp"))
os.environ.setdefault("TARNWICK_BUILD_DIR", os.path.join(HERE, "..", "build", "win64"))

import harness  # noqa: E402
import shell_windows  # noqa: E402
import simulated_pnp as sim  # noqa: E402


class MapWatch:
    """The X display's MapNotify events as they come, with their arrival time."""

    def __init__(self, display):
        self.xev = subprocess.Popen(["xev", "-display", display, "-root", "-event", "substructure"],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, bufsize=0)
        self.buffer = b""

    def next_map(self, timeout):
        deadline = time.monotonic() + timeout
        while True:
            while b"\n" in self.buffer:
                line, self.buffer = self.buffer.split(b"\n", 1)
                if line.startswith(b"MapNotify"):
                    return time.monotonic()
            left = deadline - time.monotonic()
            if left <= 0:
                raise RuntimeError("no window mapped")
            ready, _, _ = select.select([self.xev.stdout], [], [], left)
            if ready:
                self.buffer += os.read(self.xev.stdout.fileno(), 65536)

    def drain(self):
        while select.select([self.xev.stdout], [], [], 0)[0]:
            chunk = os.read(self.xev.stdout.fileno(), 65536)
            if not chunk:
                break
        self.buffer = b""

    def close(self):
        self.xev.terminate()
        self.xev.wait(10)


def summary(label, values):
    print("%-34s median %6.0f ms   range %6.0f - %6.0f ms   (%d runs)"
          % (label, statistics.median(values), min(values), max(values), len(values)))


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 20
    wine = harness.WineSession.get()
    with harness.Scene(wine) as scene, shell_windows.unmanaged_windows(wine.env):
        pnp = sim.SimulatedPnp(scene)
        try:
            stick = scene.map_drive("E")
            pnp.define_drive("E", stick)
            pnp.describe(sim.usb_stick())
            scene.run_tool("sleeper", 0, "Z:\\dev\\null", 0)  # the server and its services are up

            bare = []
            for _ in range(runs):
                started = time.monotonic()
                scene.run_tool("sleeper", 0, "Z:\\dev\\null", 0)
                bare.append((time.monotonic() - started) * 1000)

            watch = MapWatch(wine.display.name)
            shown = []
            try:
                for _ in range(runs):
                    watch.drain()
                    started = time.monotonic()
                    worker = pnp.start(["-c", "E:"])
                    mapped = watch.next_map(60)
                    shown.append((mapped - started) * 1000)
                    worker.kill()
            finally:
                watch.close()
        finally:
            pnp.close()
    summary("bare program, start to end", bare)
    summary("Tarnwick.exe -c E:, start to banner", shown)


if __name__ == "__main__":
    main()
