#!/usr/bin/env python3
"""Times the blocker search under Wine (a benchmark, not a test).

    python3 bench/blocker_wine_timing.py [HOLDERS] [HANDLES_EACH]

Maps E: (the drive searched, with nothing open on it) and F: (another drive)
to temporary folders, starts HOLDERS programs (default 4) that each hold
HANDLES_EACH handles (default 5000) to a file on F:, and runs
blocker_timing.exe from the win64 build (TARNWICK_BUILD_DIR, default
build/win64) before and while they hold them. Every handle has to be named,
and none is on E:, so the search walks the whole table.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wine"))
os.environ.setdefault("TARNWICK_BUILD_DIR", os.path.join(HERE, "..", "build", "win64"))

import harness  # noqa: E402


def timing(scene, label):
    code, out = scene.run_tool("blocker_timing", "E", 5, timeout=600)
    print("== %s (exit %d)" % (label, code))
    print(out.strip())


def main():
    holders = int(sys.argv[1]) if len(sys.argv) > 1 else 4
    per_holder = int(sys.argv[2]) if len(sys.argv) > 2 else 5000
    wine = harness.WineSession.get()
    with harness.Scene(wine) as scene:
        scene.map_drive("E")
        other = scene.map_drive("F")
        with open(os.path.join(other, "data.txt"), "w") as f:
            f.write("data\n")
        timing(scene, "no holders")
        for i in range(holders):
            folder = scene.make_folder("tarnwick-holder-")
            pid_file = os.path.join(folder, "pid")
            scene.start(scene.build_file("hold_file.exe"),
                        [scene.windows_path(pid_file), "--copies", str(per_holder), r"F:\data.txt"])
            harness.wait_until(lambda: harness.read_text(pid_file).strip(), 120, "holder %d" % i)
        timing(scene, "%d holders x %d handles on F:" % (holders, per_holder))


if __name__ == "__main__":
    main()
