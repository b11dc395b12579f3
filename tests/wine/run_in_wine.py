#!/usr/bin/env python3
"""Runs one Windows executable under Wine in the build's private prefix.

    run_in_wine.py BUILD_DIR PROGRAM.exe [ARGS...]

Used by CTest for the Windows-side test executables; the exit code is the
program's.
"""
import subprocess
import sys

import harness
import wineprefix


def main():
    build_dir, program, args = sys.argv[1], sys.argv[2], sys.argv[3:]
    prefix = wineprefix.ensure_prefix(build_dir)
    # The banner's window tests need an X display: a private one when none is set.
    display = harness.Display()
    try:
        env = wineprefix.wine_env(prefix, {"DISPLAY": display.name})
        result = subprocess.run(["wine", program] + args, env=env)
        # Wine's processes of this display end with it, not after it.
        subprocess.run(["wineserver", "-k"], env=env, timeout=60)
        subprocess.run(["wineserver", "-w"], env=env, timeout=60)
    finally:
        display.close()
    sys.exit(result.returncode)


if __name__ == "__main__":
    main()
