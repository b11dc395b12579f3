"""Silent runs of the real Tarnwick.exe from a simulated stick, one after the
other: after each, the temporary folder holds what it held before and no
process of the program is left; the number of handles each process of the
program (launcher, worker, waiter) holds as it ends stays the same from run
to run.

The count is written by the simulated layer as the process ends
(TARNWICK_SIMPNP_EXIT_LOG, simpnp.cpp); the program itself has no such mode.
25 runs by default; TARNWICK_SOAK_RUNS sets another number (200 for a long
soak)."""
import collections
import os
import re
import statistics
import time
import unittest

from faults import FaultCase, sim, wait_until

RUNS = int(os.environ.get("TARNWICK_SOAK_RUNS", "25"))


def role_of(command_line):
    """The role of a process of the program, from its command line."""
    if re.search(r"\\TWK[0-9A-F]+\.EXE\"? -p\d+$", command_line, re.IGNORECASE):
        return "waiter"
    if re.search(r"\\TWK[0-9A-F]+\.EXE\"? E:", command_line, re.IGNORECASE):
        return "worker"
    if "\\TARNWICK-S.EXE" in command_line.upper():
        return "launcher"
    return None


class SoakTest(FaultCase):
    def test_silent_runs_from_the_stick_leave_nothing_behind(self):
        stick = self.stick_on("E")
        self.program_on(stick, "Tarnwick-s.exe")
        self.pnp.describe(sim.usb_stick())
        temp, temp_windows = self.temp_folder()
        before = sorted(os.listdir(temp))
        env = {"TARNWICK_SIMPNP_EXIT_LOG": "1"}

        started = time.monotonic()
        counts = {"launcher": [], "worker": [], "waiter": []}
        for run in range(RUNS):
            self.pnp.clear_log()
            self.assertEqual(self.launch("E:\\Tarnwick-s.exe", temp_windows, env=env).wait_exit(120), 0,
                             "run %d" % run)
            self.wait_files(temp, before, "the temporary folder to be clean after run %d" % run)
            wait_until(lambda: self.program_processes() == [], 60,
                       "no process of the program after run %d" % run)
            [request] = self.requests()
            self.assertEqual(request["result"], sim.CR_SUCCESS)
            exits = {}
            for line in self.pnp.calls("exit"):
                role = role_of(line["command_line"])
                if role:
                    self.assertNotIn(role, exits, "two %ss in run %d" % (role, run))
                    exits[role] = int(line["handles"])
            self.assertEqual(sorted(exits), sorted(counts), "run %d" % run)
            for role, count in exits.items():
                self.assertGreater(count, 0)
                counts[role].append(count)
        elapsed = time.monotonic() - started

        print("%d runs in %.0f s (%.1f s a run)" % (RUNS, elapsed, elapsed / RUNS))
        for role, values in counts.items():
            print("%s: handles at exit by count %s, first %s, last %s" % (
                role, dict(sorted(collections.Counter(values).items())), values[:5], values[-5:]))
        for role, values in counts.items():
            # No growth: the later runs end with as many handles as the early
            # ones; Wine's own threads may hold one more now and then.
            fifth = max(1, len(values) // 5)
            early, late = values[:fifth], values[-fifth:]
            self.assertEqual(statistics.median_low(late), statistics.median_low(early),
                             "%s: %s" % (role, values))
            self.assertLessEqual(max(values), max(early) + 2, "%s: %s" % (role, values))

if __name__ == "__main__":
    unittest.main()
