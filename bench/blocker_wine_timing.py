#!/usr/bin/env python3
"""Times the whole blocker search under Wine on a desktop-like handle table
(a benchmark, not a test).

    python3 bench/blocker_wine_timing.py [--entries N] [--holders H]
                                         [--rounds R] [--modes M,...] [--pieces]

Maps E: (the drive searched) and F:, G: (other volumes) to temporary
folders and starts H holder programs (default 40) that together hold N
handle-table entries (default 100000): about one in ten a file handle on
F: or G:, the rest events, registry keys, sections, threads, mutexes and a
few pipes. It then times whole searches for E: in three cases, the last
holder being replaced between them:

    nothing   nothing on E: is open
    file      the last holder also holds a file on E: (its last handle)
    folder    the last holder also holds a folder on E: and no file

In every case blocker_timing.exe from the win64 build (TARNWICK_BUILD_DIR,
default build/win64) runs the modes in turns, R rounds (default 3), with
no search limit, and prints min/median/max per mode, what each found and
whether all found the same. MODEs: plain (one request per handle, polling
worker: the design as first built), plainwait, batched (the program's
default), batchedpoll. Default: plain,batched. The ratio printed is the
first mode's median over each other's.
"""
import argparse
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "wine"))
os.environ.setdefault("TARNWICK_BUILD_DIR", os.path.join(HERE, "..", "build", "win64"))

import harness  # noqa: E402


def cpu_seconds(pid):
    """User and system time a process has used so far, in seconds."""
    if pid is None:
        return float("nan")
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def start_holder(scene, count, files, hold=()):
    folder = scene.make_folder("tarnwick-holder-")
    pid_file = os.path.join(folder, "pid")
    args = [scene.windows_path(pid_file), str(count)]
    for f in files:
        args += ["--file", f]
    for h in hold:
        args += ["--hold", h]
    process = scene.start(scene.build_file("hold_mix.exe"), args)
    pid = harness.wait_until(lambda: harness.read_text(pid_file).strip(), 300, "a holder's process id")
    return process, int(pid)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--entries", type=int, default=100000)
    parser.add_argument("--holders", type=int, default=40)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--modes", default="plain,batched")
    parser.add_argument("--pieces", action="store_true", help="also time a name request and a snapshot")
    parser.add_argument("--cases", default="nothing,file,folder")
    options = parser.parse_args()
    modes = options.modes.split(",")

    wine = harness.WineSession.get()
    with harness.Scene(wine) as scene:
        stick = scene.map_drive("E")
        os.makedirs(os.path.join(stick, "dir"))
        with open(os.path.join(stick, "dir", "file.txt"), "w") as f:
            f.write("held open\n")
        files = []
        for letter in "FG":
            folder = scene.map_drive(letter)
            for i in range(4):
                name = "data%d.txt" % i
                with open(os.path.join(folder, name), "w") as f:
                    f.write("data\n")
                files.append("%s:\\%s" % (letter, name))

        each = options.entries // options.holders
        began = time.time()
        for _ in range(options.holders - 1):
            start_holder(scene, each, files)
        print("# %d holders x %d entries started in %.0f s" % (options.holders, each, time.time() - began))
        holds = {"nothing": (), "file": (r"E:\dir\file.txt",), "folder": (r"E:\dir",)}
        last = None
        for case in options.cases.split(","):
            if last is not None:
                last.kill()
            last, pid = start_holder(scene, each, files, holds[case])
            args = ["E", options.rounds, "--modes", options.modes]
            if options.pieces:
                args.append("--pieces")
            server_before = cpu_seconds(wine.server_pid)
            code, out = scene.run_tool("blocker_timing", *args, timeout=3600)
            server_used = cpu_seconds(wine.server_pid) - server_before
            result = harness.parse_reply(out)
            print("== %s (last holder %d, exit %d)" % (case, pid, code))
            print(out.strip())
            searches = options.rounds * len(modes)
            print("wineserver_cpu_ms_per_search %.0f (all modes together)" % (1000.0 * server_used / searches))
            base = float(result.get(modes[0] + "_ms_median", "nan"))
            for m in modes[1:]:
                other = float(result.get(m + "_ms_median", "nan"))
                if other > 0:
                    print("ratio %s/%s %.1f" % (modes[0], m, base / other))


if __name__ == "__main__":
    main()
