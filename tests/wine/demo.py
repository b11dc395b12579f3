#!/usr/bin/env python3
"""The demonstration: the real Tarnwick.exe under Wine, on a simulated stick.

    demo.py OUTPUT_FOLDER

Maps drive E: to a temporary folder that plays the stick, puts Tarnwick.exe
on it, starts it from there as a user would, and writes screenshots of the
screen into OUTPUT_FOLDER. Further scenes (the simulated eject) run when
their scripts are present beside this one.
"""
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import harness  # noqa: E402


def main():
    out = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "demo-output")
    os.makedirs(out, exist_ok=True)
    wine = harness.WineSession.get()
    scene = harness.Scene(wine)
    try:
        stick = scene.map_drive("E")
        scene.copy_program(stick)
        print("Stick: E: is %s, holding Tarnwick.exe" % stick)

        started = time.monotonic()
        launcher = scene.start_program(program="E:\\Tarnwick.exe")
        code = launcher.wait_exit(120)
        print("Started from E: without arguments: the launcher ended with exit code %d "
              "after %.1f s" % (code, time.monotonic() - started))
        copies = [f for f in os.listdir(scene.host_temp_dir()) if f.upper().startswith("TWK")]
        print("Temporary copies left behind: %s" % (copies or "none"))

        sleeper, pid = scene.start_sleeper(2000)
        waiter = scene.start_program(["-p%d" % pid])
        print("Waiter for process %d ended with exit code %d; the process ended by itself "
              "with exit code %d" % (pid, waiter.wait_exit(60), sleeper.wait_exit(60)))

        shot = scene.screenshot(os.path.join(out, "01-screen.png"))
        print("Screenshot: %s" % shot)
    finally:
        scene.close()

    eject = os.path.join(HERE, "demo_eject.py")
    if os.path.exists(eject):
        print()
        status = subprocess.run([sys.executable, eject, out]).returncode
        if status != 0:
            sys.exit(status)
    print("\nScreenshots are in %s" % out)


if __name__ == "__main__":
    main()
