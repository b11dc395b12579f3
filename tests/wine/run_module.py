"""Runs one whole-program test module (python3 run_module.py NAME), as CTest
does for every test_*.py.

Wine 8.0's wineserver can crash under a test (a segmentation fault while it
lists the system handle table as processes start and end); the test then
notes it in CRASH_MARKS (harness.py). Such a run says nothing about the
program, so the module runs once more, and the second run's result counts.
Any other failure counts at once.
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import harness  # noqa: E402


def run(name):
    marks = os.path.join(harness.CRASH_MARKS, name)
    if os.path.exists(marks):
        os.unlink(marks)
    code = subprocess.call([sys.executable, "-m", "unittest", "-v", name], cwd=HERE)
    crashed = os.path.exists(marks)
    return code, crashed, marks


def main():
    name = sys.argv[1]
    code, crashed, marks = run(name)
    if code != 0 and crashed:
        with open(marks) as f:
            tests = f.read().split()
        print("=== the wineserver crashed under %s; running %s once more"
              % (", ".join(tests), name), flush=True)
        code, _, _ = run(name)
    return code


if __name__ == "__main__":
    sys.exit(main())
