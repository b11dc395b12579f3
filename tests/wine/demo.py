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
from constants import WM_CLOSE  # noqa: E402


def region_mean(path, geometry):
    """Mean brightness (0..1) of a region of a screenshot."""
    text = subprocess.run(["convert", path, "-crop", geometry, "-format", "%[fx:mean]", "info:"],
                          capture_output=True, text=True, timeout=60).stdout
    return float(text or 0)


def show_banner(wine, mode, path):
    with harness.Scene(wine) as scene:
        status = os.path.join(scene.make_folder("tarnwick-demo-"), "status.txt")
        shown = scene.start(scene.build_file("banner_show.exe"), [scene.windows_path(status), mode])
        harness.wait_until(lambda: "ready" in harness.read_text(status), 90, "the banner")
        hwnd = harness.parse_reply(harness.read_text(status))["hwnd"]

        def drawn():
            scene.screenshot(path)
            banner = region_mean(path, "600x74+0+576") > 0.05
            balloon = mode != "blocker" or region_mean(path, "300x100+0+0") > 0.3
            return banner and balloon
        harness.wait_until(drawn, 60, "the banner on screen", interval=0.2)
        print("Banner (%s): %s" % (mode, path))
        scene.run_tool("probe", "post", hwnd, WM_CLOSE, 0, 0)
        shown.wait_exit(60)


def main():
    out = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "demo-output")
    os.makedirs(out, exist_ok=True)
    wine = harness.WineSession.get()
    with harness.Scene(wine) as scene:
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

    # The banner's image, hosted by a test-only window until the banner's own
    # window and behaviour are part of the program.
    for mode, name in (("ask", "02-banner-ask-first.png"), ("running", "03-banner-running.png"),
                       ("blocker", "04-blocker-balloon.png")):
        show_banner(wine, mode, os.path.join(out, name))

    eject = os.path.join(HERE, "demo_eject.py")
    if os.path.exists(eject):
        print()
        status = subprocess.run([sys.executable, eject, out]).returncode
        if status != 0:
            sys.exit(status)
    print("\nScreenshots are in %s" % out)


if __name__ == "__main__":
    main()
