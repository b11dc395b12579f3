#!/usr/bin/env python3
"""Runs one Windows executable under Wine in the build's private prefix.

    run_in_wine.py BUILD_DIR PROGRAM.exe [ARGS...]

Used by CTest for the Windows-side test executables; the exit code is the
program's.
"""
import subprocess
import sys

import wineprefix


def main():
    build_dir, program, args = sys.argv[1], sys.argv[2], sys.argv[3:]
    prefix = wineprefix.ensure_prefix(build_dir)
    result = subprocess.run(["wine", program] + args, env=wineprefix.wine_env(prefix))
    sys.exit(result.returncode)


if __name__ == "__main__":
    main()
