#!/usr/bin/env python3
"""Timed runs (not a test): the silent worker under Wine on the simulated layer.

    time_silent_eject.py [ROUNDS]

Measures, with the build's prefix and a warm wineserver:
  - "Tarnwick.exe -s E:" from process creation to its end, timed inside Wine
    by eject_timing.exe (CreateProcess to the end of the process), and from
    the host (the wine loader included);
  - inside the program, from Wine's timestamped traces: the WMI connection,
    from the creation of the WMI locator to the first query (which follows
    the connection after a volume open of well under a millisecond);
  - in a fresh process each round, the COM set-up, the WMI connection made
    the way the program makes it, and one disk query (eject_timing.exe wmi).
The first round after the wineserver starts is shown apart: it loads WMI's
DLLs from disk.
"""
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.dirname(HERE))
import harness  # noqa: E402
import simulated_pnp as sim  # noqa: E402


def numbers(output):
    """The values of a timing tool's reply that are numbers, by key."""
    values = {}
    for name, value in harness.parse_reply(output).items():
        try:
            values[name] = float(value)
        except ValueError:
            pass
    return values


WMI_LOCATOR = "{4590f811-1d3a-11d0-891f-00aa004b2e24}"


def traced_connection_ms(pnp, wine):
    """Milliseconds from CoCreateInstance of the WMI locator to the first
    ExecQuery in one traced silent run."""
    env = dict(wine.env)
    env.update(pnp.env())
    env["WINEDEBUG"] = "+timestamp,+ole,+wbemprox"
    run = subprocess.run(["wine", pnp.program, "-s", "E:"], env=env, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=120)
    created = queried = None
    for line in run.stderr.decode("utf-8", "replace").splitlines():
        stamp = line.split(":", 1)[0]
        if created is None and "trace:ole:CoCreateInstance " in line and WMI_LOCATOR in line:
            created = float(stamp)
        elif created is not None and "wbem_services_ExecQuery" in line:
            queried = float(stamp)
            break
    if created is None or queried is None:
        sys.exit("no WMI traces in the traced run")
    return 1000 * (queried - created)


def summary(name, values):
    first, rest = values[0], values[1:] or values
    print("  %-40s first %7.1f ms   then median %7.1f  min %7.1f  max %7.1f ms  (%d runs)"
          % (name, first, statistics.median(rest), min(rest), max(rest), len(rest)))


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    wine = harness.WineSession.get()
    wine.kill_all(restart=False)  # start from a fresh wineserver, as a user's first run would
    subprocess.run(["wineserver", "-p120"], env=wine.env, timeout=60)
    scene = harness.Scene(wine)
    pnp = sim.SimulatedPnp(scene, sim.usb_stick())
    try:
        pnp.define_drive("E", scene.map_drive("E"))
        timer = pnp.copy_tool("eject_timing")
        program = scene.windows_path(pnp.program)
        series = {}
        for _ in range(rounds):
            code, out = pnp.start(["wmi"], program=timer, capture=True).output(120)
            for name, value in numbers(out).items():
                series.setdefault(name, []).append(value)
            code, out = pnp.start(["run", program, "-s", "E:"], program=timer,
                                  capture=True).output(120)
            values = numbers(out)
            if values.get("exit") != 0:
                sys.exit("the silent worker failed: %s" % out)
            series.setdefault("run", []).append(values["run"])
            started = time.monotonic()
            if pnp.start(["-s", "E:"]).wait_exit(120) != 0:
                sys.exit("the silent worker failed")
            series.setdefault("host", []).append(1000 * (time.monotonic() - started))
            series.setdefault("traced", []).append(traced_connection_ms(pnp, wine))
        requests = len(pnp.eject_requests())
        if requests != 3 * rounds:
            sys.exit("expected %d eject requests, the layer saw %d" % (3 * rounds, requests))
        print("Silent worker (Tarnwick.exe -s E:) on a simulated stick, %d rounds:" % rounds)
        summary("process start to exit (inside Wine)", series["run"])
        summary("same, from the host (wine loader too)", series["host"])
        summary("WMI connection (traced, in the program)", series["traced"])
        print("In a fresh process, as the program connects:")
        summary("COM initialisation and security", series["com_setup"])
        summary("WMI locator and ConnectServer", series["wmi_connect"])
        summary("one Win32_DiskDrive query, first row", series["wmi_disk_query"])
    finally:
        scene.close()
        pnp.close()


if __name__ == "__main__":
    main()
