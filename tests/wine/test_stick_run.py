"""The start from the stick as a user meets it: the real Tarnwick.exe started
without arguments from drive E:, in its own folder as Explorer starts it.
The launcher hands over to a copy in the temporary folder, whose banner
ejects the stick; when the banner has gone, the copy's clean-up batch
removes the copy and itself."""
import os
import unittest

from harness import wait_until
from stick_run import VK_ESCAPE, WM_KEYDOWN, StickRunCase, sim


class DoubleClickTest(StickRunCase):
    def test_the_copy_shows_the_banner_ejects_and_removes_itself_when_the_stick_is_out(self):
        stick, program = self.stick("E")
        os.makedirs(os.path.join(stick, "dir"))
        with open(os.path.join(stick, "dir", "notes.txt"), "w") as f:
            f.write("done\n")
        temp, temp_windows = self.temp_folder()
        before = sorted(os.listdir(temp))
        launcher = self.launch(program, temp_windows, env=self.record_worker_env())

        worker = self.next_hold(0)
        pid = int(worker["pid"])
        [copy] = [f for f in self.twk_files(temp) if f.endswith(".exe")]
        self.assertRegex(copy, r"^TWK[0-9A-Fa-f]{1,4}\.exe$")
        self.assertEqual(worker["command_line"],
                         '"%s\\%s" E: --delete-executable' % (temp_windows, copy))
        banner = self.wait_banner(pid, "the copy's banner")
        self.assertEqual((banner.x, banner.y), (0, 576))
        self.assertEqual(launcher.wait_exit(30), 0)
        self.assertEqual([b.pid for b in self.banners()], [pid], "one banner, the copy's")

        # While the banner is shown, nothing of the stick is held open: its
        # files and folders can all go.
        [request] = wait_until(self.accepted, 60, "the accepted request")
        self.assertEqual(int(request["pid"]), pid)
        self.wait_stick_free(stick)
        code, _ = self.start("cmd", ["/c", "del", "/q", "E:\\Tarnwick.exe", "E:\\setupapi.dll",
                                     "E:\\wsetupapi.dll", "&&", "rmdir", "/s", "/q", "E:\\dir"],
                             capture=True).output(60)
        self.assertEqual(code, 0)
        self.assertEqual(os.listdir(stick), [])
        self.assertTrue(self.process_alive(pid), "the banner is still shown")

        # The stick is pulled out: the banner fades, the copy ends and its
        # batch leaves the temporary folder as it was.
        self.unplug(banner)
        self.wait_gone(pid)
        self.wait_cleaned(temp, before)
        self.assertEqual(len(self.requests()), 1)


class CancelTest(StickRunCase):
    def refused_then(self, cancel):
        """A stick the system never lets go; the banner is cancelled after
        the second refusal, when Cancel stands alone."""
        self.pnp.describe(sim.usb_stick(vetoes="all"))
        _, program = self.stick("E")
        temp, temp_windows = self.temp_folder()
        before = sorted(os.listdir(temp))
        launcher = self.launch(program, temp_windows, env=self.record_worker_env())
        pid = int(self.next_hold(0)["pid"])
        banner = self.wait_banner(pid, "the copy's banner")
        self.assertEqual(launcher.wait_exit(30), 0)
        self.wait_requests(2)
        self.shoot("stick_cancel_alone", lambda s: self.buttons(s, banner) == "cancel",
                   "Cancel alone")
        with self.fading_in_place(banner, lambda: not self.process_alive(pid)):
            cancel(banner)
        requests = self.requests()
        self.assertTrue(all(r["result"] == sim.CR_REMOVE_VETOED for r in requests))
        self.assertEqual({int(r["pid"]) for r in requests}, {pid})
        self.wait_cleaned(temp, before)

    def test_escape_ends_a_refused_run_and_the_copy_removes_itself(self):
        self.refused_then(lambda banner: self.key("Escape"))

    def test_a_click_on_cancel_ends_a_refused_run_and_the_copy_removes_itself(self):
        def click(banner):
            # Alone, Cancel stands where OK would be, 4 pixels further right.
            x = banner.x + banner.width - 392 + 4 + 20
            self.xdotool("mousemove", x, banner.y + 37, "click", "1")
        self.refused_then(click)


class SecondLauncherTest(StickRunCase):
    def test_a_second_start_from_a_stick_whose_banner_is_shown_ends_quietly(self):
        self.pnp.describe(sim.usb_stick(vetoes="all"))
        _, program = self.stick("E")
        temp, temp_windows = self.temp_folder()
        before = sorted(os.listdir(temp))
        self.launch(program, temp_windows, env=self.record_worker_env())
        pid = int(self.next_hold(0)["pid"])
        banner = self.wait_banner(pid, "the first banner")
        copies = self.twk_files(temp)
        self.assertEqual(len(copies), 1)

        # A second double-click on the stick while the banner retries.
        self.assertEqual(self.launch(program, temp_windows).wait_exit(60), 0)
        self.assertEqual(self.twk_files(temp), copies, "no second copy")
        self.assertEqual([(b.pid, b.visible) for b in self.banners()], [(pid, 1)],
                         "no second banner")
        self.assertEqual({int(r["pid"]) for r in self.requests()}, {pid})

        # Escape cancels once Cancel is shown, after the second refusal.
        self.wait_requests(2)
        self.shoot("stick_second_launcher", lambda s: self.buttons(s, banner) == "cancel",
                   "Cancel alone")
        self.post(banner, WM_KEYDOWN, VK_ESCAPE)
        self.wait_gone(pid)
        self.wait_cleaned(temp, before)


if __name__ == "__main__":
    unittest.main()
