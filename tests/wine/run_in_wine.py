#!/usr/bin/env python3
"""Runs one Windows executable under Wine in the build's private prefix.

    run_in_wine.py BUILD_DIR PROGRAM.exe [ARGS...]

Used by CTest for the Windows-side test executables; the exit code is the
program's. Windows can only be created on an X display: when DISPLAY is not
set, a private Xvfb server runs for the program's lifetime.
"""
import subprocess
import sys

import harness
import wineprefix


def main():
    build_dir, program, args = sys.argv[1], sys.argv[2], sys.argv[3:]
    prefix = wineprefix.ensure_prefix(build_dir)
    display = harness.Display()
    env = wineprefix.wine_env(prefix, {"DISPLAY": display.name})
    try:
        result = subprocess.run(["wine", program] + args, env=env)
    finally:
        if display.server is not None:
            # The prefix's desktop process lives on this display: end it first.
            subprocess.run(["wineserver", "-k"], env=env, timeout=60)
            subprocess.run(["wineserver", "-w"], env=env, timeout=60)
        display.close()
    sys.exit(result.returncode)


if __name__ == "__main__":
    main()
