"""The temporary copy of the real Tarnwick.exe under Wine: the launcher on the
stick relaunches a copy from the temporary folder as the worker, and the
worker's clean-up batch removes the copy and itself again.

Workers started without -s show their banner; the tests give it its end as
the user and the system would (the stick pulled out after the success, or
OK for a banner that asks first). Tests about the temporary folder alone
run silent copies."""
import os
import time
import unittest

from constants import LAUNCHER_MUTEX
from harness import wait_until
from stick_run import VK_RETURN, WM_KEYDOWN, StickRunCase


class RelaunchTest(StickRunCase):
    def follow_run(self, program, forwarded, remove_from_stick, finish=None):
        """Runs the launcher from the stick and follows the copy to its end;
        `finish` ends the worker's banner (None: the worker is silent)."""
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
        self.wait_stick_free(stick)
        code, _ = self.start("cmd", ["/c"] + remove_from_stick, capture=True).output(60)
        self.assertEqual(code, 0)
        self.assertEqual(os.listdir(stick), [])

        # Past the eject, the worker writes the batch; its waiter is held in turn.
        self.release()
        if finish:
            finish(self.wait_banner(int(worker["pid"])))
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

    def confirm(self, banner):
        """OK on a banner that asks first; with c it closes at once after the success."""
        self.post(banner, WM_KEYDOWN, VK_RETURN)

    def test_a_launcher_on_the_stick_hands_over_to_a_copy_that_removes_itself(self):
        self.follow_run("Tarnwick.exe", "",
                        ["del", "/q", "E:\\Tarnwick.exe", "E:\\setupapi.dll", "E:\\wsetupapi.dll"],
                        finish=self.unplug)

    def test_the_silent_letter_in_the_file_name_is_forwarded(self):
        self.follow_run("Tarnwick-s.exe", " /s",
                        ["del", "/q", "E:\\Tarnwick-s.exe", "E:\\setupapi.dll",
                         "E:\\wsetupapi.dll"])

    def test_a_folder_and_program_name_with_spaces(self):
        # "Tarnwick - Copy" carries the letter c in its name.
        self.follow_run("My Tools\\Tarnwick - Copy.exe", " /c",
                        ["rmdir", "/s", "/q", "E:\\My Tools"], finish=self.confirm)

    def test_special_characters_in_the_temporary_folder(self):
        stick, program = self.stick("E")
        names = ["Tom & Jerry (work)", "100% sure", "%PATH% x", "a^b,c=d", "a;b",
                 "T\u00fcr", "\u65e5\u672c", "\u65e5\u672c & 100%"]
        seen = 0
        for name in names:
            with self.subTest(name=name):
                temp, temp_windows = self.temp_folder(name)
                before = sorted(os.listdir(temp))
                # A silent copy: what matters here is the folder's name. The
                # layer logs the copy's command line when it starts. A folder
                # with ';' in its name splits the loader's search path, so the
                # copy there runs on the system's own layer (finds no device,
                # ends) and is seen only by the clean folder.
                launcher = self.launch(program, temp_windows, ["-s"], env=self.record_worker_env())
                if ";" not in name:
                    worker = self.next_hold(seen)
                    seen += 1
                    self.assertRegex(worker["command_line"],
                                     r'\\TWK[0-9A-Fa-f]{1,4}\.exe" E: /s --delete-executable$')
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
        requests = wait_until(lambda: len(self.accepted()) == 2 and self.requests(), 90,
                              "two accepted eject requests", state=self.run_state)
        self.assertEqual(len(requests), 2)
        self.assertEqual(len({r["pid"] for r in requests}), 2)
        # Two banners, one above the other; both sticks are pulled out.
        banners = wait_until(lambda: len(self.banners()) == 2 and self.banners(), 90, "two banners")
        self.assertEqual(sorted(b.pid for b in banners), sorted(int(r["pid"]) for r in requests))
        self.assertEqual(sorted((b.x, b.y) for b in banners), [(0, 576 - 56), (0, 576)])
        for banner in banners:
            self.unplug(banner)
        self.wait_cleaned(temp, before)

    def test_a_worker_started_by_hand_deletes_its_executable_on_the_stick(self):
        stick, program = self.stick("E")
        temp, temp_windows = self.temp_folder()
        before = sorted(os.listdir(temp))
        worker = self.launch(program, temp_windows, ["E:", "--delete-executable"])
        self.unplug(self.wait_banner())
        self.assertEqual(worker.wait_exit(60), 0)
        wait_until(lambda: "Tarnwick.exe" not in os.listdir(stick), 90,
                   "the executable on the stick to go")
        self.wait_cleaned(temp, before)
        self.assertEqual(len(self.pnp.eject_requests()), 1)


class LauncherMutexTest(StickRunCase):
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
        self.unplug(self.wait_banner())
        self.assertEqual(len(self.pnp.eject_requests()), 1)
        self.wait_cleaned(temp, before)


class WaiterTest(StickRunCase):
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
