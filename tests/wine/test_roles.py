"""The process roles of the real Tarnwick.exe under Wine: waiter, worker, launcher."""
import os
import time
import unittest

import harness
from constants import LAUNCHER_MUTEX, STARTED_EVENT
from harness import wait_until


class WaiterTest(harness.WineTestCase):
    def test_leaves_a_process_that_ends_in_time_alone(self):
        sleeper, pid = self.start_sleeper(3000, exit_code=7)
        waiter = self.start_program(["-p%d" % pid])
        self.assertEqual(waiter.wait_exit(60), 0)
        # The sleeper woke up by itself: its own exit code, not a termination.
        self.assertEqual(sleeper.wait_exit(30), 7)

    def test_leaves_a_process_of_another_program_alone_after_the_limit(self):
        # The id may belong to another program once the awaited process ended;
        # ending a process of its own executable is in test_temp_copy.py.
        sleeper, pid = self.start_sleeper(600000, exit_code=7)
        started = time.monotonic()
        waiter = self.start_program(["-p%d" % pid])
        self.assertEqual(waiter.wait_exit(120), 0)
        waited = time.monotonic() - started
        self.assertGreaterEqual(waited, 29.0)
        self.assertTrue(sleeper.running())

    def test_a_process_id_that_does_not_exist_ends_at_once(self):
        waiter = self.start_program(["-p999999"])
        self.assertEqual(waiter.wait_exit(60), 0)


class RoleChoiceTest(harness.WineTestCase):
    def hold_started_event(self):
        """Keeps the started event alive with a waiter on a long sleeper."""
        _, pid = self.start_sleeper(600000)
        self.start_program(["-p%d" % pid])
        wait_until(lambda: self.event_exists(STARTED_EVENT), 60, "the started event")
        # Another process may have left it signalled: take that signal away.
        self.take_event_signal(STARTED_EVENT)

    def test_process_id_with_a_drive_letter_runs_the_waiter(self):
        self.map_drive("E")
        self.hold_started_event()
        sleeper, pid = self.start_sleeper(4000)
        program = self.start_program(["-p%d" % pid, "E:"])
        # A waiter stays until the sleeper ends; a worker would not wait for it.
        self.assertEqual(program.wait_exit(60), 0)
        self.assertFalse(sleeper.running())
        # A worker's first act is to signal the started event; a waiter never does.
        self.assertFalse(self.take_event_signal(STARTED_EVENT))

    def test_worker_for_an_unresolvable_letter_signals_and_shows_nothing(self):
        self.map_drive("E")
        self.hold_started_event()
        watch = harness.WindowWatch(self.wine.display.name)
        worker = self.start_program(["E:"])
        self.assertEqual(worker.wait_exit(60), 0)
        self.assertEqual(watch.mapped(), [])
        self.assertTrue(self.take_event_signal(STARTED_EVENT))

    def test_launcher_on_a_drive_that_cannot_be_ejected_ends_quietly(self):
        stick = self.map_drive("E")
        self.copy_program(stick)
        watch = harness.WindowWatch(self.wine.display.name)
        launcher = self.start_program(program="E:\\Tarnwick.exe")
        self.assertEqual(launcher.wait_exit(60), 0)
        self.assertEqual(watch.mapped(), [])
        temp = self.host_temp_dir()
        self.assertEqual([f for f in os.listdir(temp) if f.upper().startswith("TWK")], [])


class CommandLineTest(harness.WineTestCase):
    """Command lines as the system hands them over, split by the system's own rules."""

    def spawn(self, command_line):
        folder = self.make_folder("tarnwick-cmdline-")
        path = os.path.join(folder, "cmdline")
        with open(path, "wb") as f:
            f.write(command_line.encode("utf-16-le"))
        exe = self.windows_path(self.build_file("Tarnwick.exe"))
        return self.start(self.build_file("probe.exe"), ["spawn", exe, self.windows_path(path)])

    def assert_waits_for_sleeper(self, template):
        sleeper, pid = self.start_sleeper(3000)
        exe = self.windows_path(self.build_file("Tarnwick.exe"))
        run = self.spawn(template.format(exe=exe, pid=pid))
        self.assertEqual(run.wait_exit(120), 0)
        # The program ran as the waiter: it returned only after the sleeper ended.
        self.assertFalse(sleeper.running())
        self.assertEqual(sleeper.wait_exit(10), 7)

    def test_odd_command_lines_are_read_without_harm(self):
        self.assert_waits_for_sleeper('"{exe}" "-p{pid}')           # unpaired quote
        self.assert_waits_for_sleeper('"{exe}" \u00e9 -p{pid} \u65e5\u672c "a b" \\\\ \\"')
        self.assert_waits_for_sleeper('"{exe}" ' + "x" * 30000 + " -p{pid}")  # very long

    def test_empty_command_line_runs_the_launcher(self):
        self.map_drive("E")
        self.assertEqual(self.spawn("").wait_exit(120), 0)


class NamedObjectsTest(harness.WineTestCase):
    def test_mutex_and_event_exist_while_a_process_runs(self):
        sleeper, pid = self.start_sleeper(600000)
        waiter = self.start_program(["-p%d" % pid])
        wait_until(lambda: self.mutex_exists(LAUNCHER_MUTEX), 60, "the launcher mutex")
        self.assertTrue(self.event_exists(STARTED_EVENT))
        # Names are exact: no prefix, no other spelling.
        self.assertFalse(self.mutex_exists("Global\\" + LAUNCHER_MUTEX))
        self.assertFalse(self.mutex_exists(LAUNCHER_MUTEX.lower() + "x"))
        sleeper.kill()
        self.assertEqual(waiter.wait_exit(60), 0)
        wait_until(lambda: not self.mutex_exists(LAUNCHER_MUTEX), 30, "the mutex to go")
        self.assertFalse(self.event_exists(STARTED_EVENT))


if __name__ == "__main__":
    unittest.main()
