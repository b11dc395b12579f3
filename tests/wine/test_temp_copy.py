"""The temporary copy of the real Tarnwick.exe under Wine: the launcher on the
stick relaunches a copy from the temporary folder as the worker, and the
worker's clean-up batch removes the copy and itself again.

Every run has a private temporary folder (with_temp.exe sets TMP and TEMP)
that holds the simulated Plug and Play layer, so that the copy finds it
beside itself as the launcher does on the stick. Processes are held at start
where a test needs to look at them (TARNWICK_SIMPNP_HOLD_*, simpnp.cpp)."""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "simpnp"))
import harness  # noqa: E402
import simulated_pnp as sim  # noqa: E402
from constants import LAUNCHER_MUTEX  # noqa: E402
from harness import wait_until  # noqa: E402


def holders_of(folder):
    """(pid, path) of every open file, mapping or current directory of any
    process that lies inside the host folder."""
    folder = os.path.realpath(folder)
    inside = lambda p: p == folder or p.startswith(folder + "/")  # noqa: E731
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        base = os.path.join("/proc", pid)
        paths = []
        try:
            paths.append(os.readlink(os.path.join(base, "cwd")))
            for fd in os.listdir(os.path.join(base, "fd")):
                try:
                    paths.append(os.readlink(os.path.join(base, "fd", fd)))
                except OSError:
                    pass
            with open(os.path.join(base, "maps")) as maps:
                paths += [line.split(None, 5)[5].strip() for line in maps
                          if len(line.split(None, 5)) == 6]
        except OSError:
            continue
        found += [(int(pid), p) for p in paths if inside(p)]
    return found


class TempCopyTestCase(harness.WineTestCase):
    def setUp(self):
        super().setUp()
        self.pnp = sim.SimulatedPnp(self)
        self.addCleanup(self.pnp.close)
        self.pnp.describe(sim.usb_stick())

    def stick(self, letter="E", program="Tarnwick.exe"):
        """A simulated USB stick with the program (a path below its root) and
        the layer beside it; returns (host folder of the stick, Windows path)."""
        folder = self.map_drive(letter)
        self.pnp.define_drive(letter, folder)
        target = os.path.join(folder, *program.split("\\"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        self.copy_program(os.path.dirname(target), os.path.basename(target))
        self.pnp.install_into(os.path.dirname(target))
        return folder, "%s:\\%s" % (letter, program)

    def temp_folder(self, name="Temp"):
        """A private temporary folder named `name`, holding the layer.
        Returns (host path, Windows path)."""
        path = os.path.join(self.make_folder("tarnwick-tmp-"), name)
        os.mkdir(path)
        self.pnp.install_into(path)
        return path, self.windows_path(path)

    def launch(self, program, temp_windows, args=(), env=None):
        """Starts `program` (a Windows path) with TMP and TEMP set to the folder."""
        dir_file = os.path.join(self.make_folder("tarnwick-tmpname-"), "dir")
        with open(dir_file, "wb") as f:
            f.write(temp_windows.encode("utf-16-le"))
        all_env = self.pnp.env()
        all_env.update(env or {})
        return self.start(self.build_file("with_temp.exe"),
                          [self.windows_path(dir_file), program] + list(args), env=all_env)

    def hold_env(self):
        """Holds every process started from a TWK copy (worker, interpreter,
        waiter) at its start; `release` lets one go on."""
        self.release_file = os.path.join(self.make_folder("tarnwick-release-"), "go")
        return {"TARNWICK_SIMPNP_HOLD_ARGUMENT": "TWK",
                "TARNWICK_SIMPNP_HOLD_FILE": self.windows_path(self.release_file)}

    def next_hold(self, seen):
        holds = wait_until(lambda: self.pnp.calls("hold")[seen:], 90, "a held process")
        return holds[0]

    def release(self):
        open(self.release_file, "w").close()
        wait_until(lambda: not os.path.exists(self.release_file), 60, "the release to be taken")

    def twk_files(self, folder):
        return sorted(f for f in os.listdir(folder) if f.upper().startswith("TWK"))

    def wait_cleaned(self, temp, before):
        wait_until(lambda: sorted(os.listdir(temp)) == before, 90,
                   "the temporary folder to hold what it held before")


class RelaunchTest(TempCopyTestCase):
    def follow_run(self, program, forwarded, remove_from_stick):
        """Runs the launcher from the stick and follows the copy to its end."""
        stick, windows_program = self.stick("E", program)
        temp, temp_windows = self.temp_folder()
        before = sorted(os.listdir(temp))
        launcher = self.launch(windows_program, temp_windows, env=self.hold_env())

        worker = self.next_hold(0)
        [copy] = [f for f in self.twk_files(temp) if f.endswith(".exe")]
        self.assertRegex(copy, r"^TWK[0-9A-Fa-f]{1,4}\.exe$")
        copy_windows = temp_windows + "\\" + copy
        self.assertEqual(worker["command_line"],
                         '"%s" E:%s --delete-executable' % (copy_windows, forwarded))
        # The launcher ends (after 6 s: the held worker never signalled) and
        # leaves nothing of the stick open while its worker runs.
        self.assertEqual(launcher.wait_exit(60), 0)
        self.assertEqual(holders_of(stick), [])
        code, _ = self.start("cmd", ["/c"] + remove_from_stick, capture=True).output(60)
        self.assertEqual(code, 0)
        self.assertEqual(os.listdir(stick), [])

        # Past the eject, the worker writes the batch; its waiter is held in turn.
        self.release()
        seen = 1
        while True:
            hold = self.next_hold(seen)
            seen += 1
            if " -p" in hold["command_line"]:
                break
            self.release()  # the interpreter, when it loads the layer too
        self.assertEqual(hold["command_line"], '"%s" -p%s' % (copy_windows, worker["pid"]))
        [batch] = [f for f in self.twk_files(temp) if f.endswith(".bat")]
        with open(os.path.join(temp, batch), "rb") as f:
            content = f.read()
        expected = ('"{exe}" -p{pid}\r\nDEL "{exe}"\r\nDEL "{bat}"\r\n'.format(
            exe=copy_windows, pid=worker["pid"], bat=temp_windows + "\\" + batch))
        self.assertEqual(content, expected.encode("cp1252"))
        [request] = self.pnp.eject_requests()
        self.assertEqual(request["pid"], worker["pid"])

        self.release()
        self.wait_cleaned(temp, before)

    def test_a_launcher_on_the_stick_hands_over_to_a_copy_that_removes_itself(self):
        self.follow_run("Tarnwick.exe", "",
                        ["del", "/q", "E:\\Tarnwick.exe", "E:\\setupapi.dll", "E:\\wsetupapi.dll"])

    def test_the_silent_letter_in_the_file_name_is_forwarded(self):
        self.follow_run("Tarnwick-s.exe", " /s",
                        ["del", "/q", "E:\\Tarnwick-s.exe", "E:\\setupapi.dll",
                         "E:\\wsetupapi.dll"])

    def test_a_folder_and_program_name_with_spaces(self):
        # "Tarnwick - Copy" carries the letter c in its name.
        self.follow_run("My Tools\\Tarnwick - Copy.exe", " /c",
                        ["rmdir", "/s", "/q", "E:\\My Tools"])

    def test_special_characters_in_the_temporary_folder(self):
        stick, program = self.stick("E")
        names = ["Tom & Jerry (work)", "100% sure", "%PATH% x", "a^b,c=d", "a;b",
                 "T\u00fcr", "\u65e5\u672c", "\u65e5\u672c & 100%"]
        for name in names:
            with self.subTest(name=name):
                temp, temp_windows = self.temp_folder(name)
                before = sorted(os.listdir(temp))
                launcher = self.launch(program, temp_windows)
                # The copy lives for a second at least: its worker resolves,
                # ejects, and its batch waits for it to end.
                wait_until(lambda: [f for f in self.twk_files(temp) if f.endswith(".exe")],
                           60, "the copy", interval=0.01)
                self.assertEqual(launcher.wait_exit(120), 0)
                self.wait_cleaned(temp, before)

    def test_two_launchers_for_two_drives_both_hand_over(self):
        _, program_e = self.stick("E")
        _, program_f = self.stick("F")
        temp, temp_windows = self.temp_folder()
        before = sorted(os.listdir(temp))
        launchers = [self.launch(program_e, temp_windows), self.launch(program_f, temp_windows)]
        for launcher in launchers:
            self.assertEqual(launcher.wait_exit(120), 0)
        requests = wait_until(lambda: len(self.pnp.eject_requests()) == 2 and
                              self.pnp.eject_requests(), 90, "two eject requests")
        self.assertEqual(len({r["pid"] for r in requests}), 2)
        self.wait_cleaned(temp, before)

    def test_a_worker_started_by_hand_deletes_its_executable_on_the_stick(self):
        stick, program = self.stick("E")
        temp, temp_windows = self.temp_folder()
        before = sorted(os.listdir(temp))
        self.assertEqual(self.launch(program, temp_windows,
                                     ["E:", "--delete-executable"]).wait_exit(120), 0)
        wait_until(lambda: "Tarnwick.exe" not in os.listdir(stick), 90,
                   "the executable on the stick to go")
        self.wait_cleaned(temp, before)
        self.assertEqual(len(self.pnp.eject_requests()), 1)


class LauncherMutexTest(TempCopyTestCase):
    def test_an_abandoned_mutex_does_not_block_later_launchers(self):
        _, program = self.stick("E")
        temp, temp_windows = self.temp_folder()
        before = sorted(os.listdir(temp))
        # Another process of the program keeps the mutex object alive...
        _, sleeper = self.start_sleeper(600000)
        self.start_program(["-p%d" % sleeper])
        wait_until(lambda: self.mutex_exists(LAUNCHER_MUTEX), 60, "the launcher mutex")
        # ...while its owner ends without releasing it.
        ready = os.path.join(self.make_folder("tarnwick-ready-"), "ready")
        self.assertEqual(self.run_tool("hold_mutex", LAUNCHER_MUTEX, 0,
                                       self.windows_path(ready))[0], 0)

        # The first launcher receives it abandoned: it relaunches nothing.
        self.assertEqual(self.launch(program, temp_windows).wait_exit(120), 0)
        self.assertEqual(self.pnp.eject_requests(), [])
        self.assertEqual(sorted(os.listdir(temp)), before)
        # It gave the mutex back: the next launcher hands over as usual.
        self.assertEqual(self.launch(program, temp_windows).wait_exit(120), 0)
        wait_until(lambda: self.pnp.eject_requests(), 90, "the worker's eject request")
        self.wait_cleaned(temp, before)


class WaiterTest(TempCopyTestCase):
    def test_terminates_a_process_of_its_own_executable_after_the_limit(self):
        # A launcher that waits for the mutex, held by another program, runs
        # for minutes: the waiter ends it after 30 s.
        ready = os.path.join(self.make_folder("tarnwick-ready-"), "ready")
        self.start(self.build_file("hold_mutex.exe"),
                   [LAUNCHER_MUTEX, "600000", self.windows_path(ready)])
        wait_until(lambda: os.path.exists(ready), 60, "the mutex to be held")
        blocked = self.start_program()
        [pid] = wait_until(lambda: self.pids_of("Tarnwick.exe"), 60, "the launcher's id")
        started = time.monotonic()
        waiter = self.start_program(["-p%d" % pid])
        self.assertEqual(waiter.wait_exit(120), 0)
        self.assertGreaterEqual(time.monotonic() - started, 29.0)
        self.assertEqual(blocked.wait_exit(30), 0)  # terminated with exit code 0


if __name__ == "__main__":
    unittest.main()
