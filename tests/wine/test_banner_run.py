"""The banner of the real Tarnwick.exe from start to end, under Wine, over
the simulated Plug and Play layer: what it shows (screenshots read by
pixels), what it asks of the layer (its time-stamped call log), and how it
answers the mouse, the keys and the messages the system would send."""
import os
import time
import unittest

from banner_run import (DBT_DEVICEREMOVECOMPLETE, DBT_DEVNODES_CHANGED, WM_DEVICECHANGE,
                        BannerRunCase, request_times, shell_windows, sim)
from constants import BANNER_MUTEX

WM_BANNER_QUERY_DRIVE = 0x8004
WM_KEYDOWN = 0x0100
VK_RETURN = 0x0D
VK_ESCAPE = 0x1B
from harness import read_text, wait_until


class TypicalRunTest(BannerRunCase):
    """Tarnwick.exe E: while an editor holds a file on E:."""

    def test_refusals_release_explorer_then_name_the_holder_and_success_waits_for_the_removal(self):
        stick = self.stick_on("E")
        os.makedirs(os.path.join(stick, "dir"))
        with open(os.path.join(stick, "dir", "notes.txt"), "w") as f:
            f.write("in use\n")
        # The system refuses while the file is open, as Windows would.
        self.pnp.describe(sim.usb_stick(veto_type=6, veto_name="\\Device\\HarddiskVolume3",
                                        veto_while_open=r"E:\dir\notes.txt"))
        pid_file = os.path.join(self.make_folder("tarnwick-holder-"), "pid")
        holder = self.start(self.build_file("hold_file.exe"),
                            [self.windows_path(pid_file), r"E:\dir\notes.txt"])
        wait_until(lambda: read_text(pid_file).strip(), 60, "the holder")

        # A folder window on E: in the shell's window collection.
        shell_log = os.path.join(self.make_folder("tarnwick-shell-"), "calls.log")
        dll = os.path.join(self.wine.build_dir, "fakeshell", shell_windows.FAKE_DLL_NAME)
        with shell_windows.simulated_shell_windows(self.wine.env, self.windows_path(dll)):
            started = time.monotonic()
            worker = self.start_worker("E:", env={"FAKESW_ITEMS": "file:///E:/dir;file:///F:/",
                                                  "FAKESW_LOG": self.windows_path(shell_log)})
            banner = self.wait_banner()
            shown_after = time.monotonic() - started
            self.assertEqual((banner.x, banner.y, banner.height), (0, 576, 74))
            self.shoot("run_01_started", lambda s: self.body_shown(s, banner), "the banner")

            # Refused twice: the buttons come back with Cancel alone, and the
            # blocker balloon appears.
            self.wait_requests(2)
            # The sign keeps pulsing meanwhile; at the dim end of a pulse it has
            # no bright pixels, so wait for a screenshot that shows it.
            self.shoot("run_02_blocker", lambda s: self.buttons(s, banner) == "cancel"
                       and self.balloon(s) > 8000 and self.balloon_icon(s, "error") > 10
                       and self.symbol(s, banner) > 10,
                       "Cancel alone, the blocker balloon and the pulsing sign")
        holder.kill()

        # The next attempt succeeds: the success text, no symbol, no buttons,
        # the success balloon.
        def accepted():
            return [r for r in self.requests() if r["result"] == sim.CR_SUCCESS]
        wait_until(accepted, 60, "an accepted request")
        screen = self.shoot("run_03_success", lambda s: self.buttons(s, banner) == "none"
                            and self.symbol(s, banner) == 0 and self.balloon_icon(s, "info") > 10,
                            "the success state")
        self.assertTrue(self.body_shown(screen, banner))

        requests = self.requests()
        refused = requests[:-1]
        self.assertGreaterEqual(len(refused), 2)
        self.assertTrue(all(r["result"] == sim.CR_REMOVE_VETOED for r in refused))
        self.assertEqual(len(requests), len(refused) + 1, "no attempt after the success")
        # Banner mode: every request asks for the veto details.
        self.assertTrue(all(r["veto_name_buffer"] == "1" and r["name_length"] == "260" for r in requests))
        # The pulse paces the attempts: about 900 ms from the end of one to the next.
        times = request_times(requests)
        for (_, end), (start, _) in zip(times, times[1:]):
            self.assertGreater(start - end, 850)
            self.assertLess(start - end, 4000)

        # The Explorer release ran once, after the first refusal.
        navigations = [l for l in read_text(shell_log).splitlines() if l.startswith("navigate ")]
        self.assertEqual(len(navigations), 1)
        self.assertEqual(navigations[0].split()[1:3], ["file:///E:/dir", "shell:MyComputerFolder"])

        # The device is pulled out: the removal, then one second later the
        # device nodes change, and the banner fades out sliding right.
        self.send(banner, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE)
        removed = time.monotonic()

        def sliding():
            self.post(banner, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED)
            found = [b for b in self.banners() if b.pid == banner.pid]
            return found and found[0].x > 0 and found[0]
        moved = wait_until(sliding, 30, "the banner to slide", interval=0.1)
        self.assertGreaterEqual(time.monotonic() - removed, 1.0, "closing armed only after a second")
        self.assertLessEqual(moved.x, 32)
        self.assertEqual(worker.wait_exit(30), 0)
        self.assertEqual(len(self.requests()), len(requests))
        print("banner on screen %.2f s after start" % shown_after)


class TwoDrivesTest(BannerRunCase):
    def test_two_banners_stack_and_their_requests_never_overlap(self):
        self.stick_on("E")
        self.stick_on("F")
        # Both letters lead to the stick; each request takes a while.
        self.pnp.describe(sim.usb_stick(vetoes="all", eject_ms=300))
        first = self.start_worker("E:")
        e = self.wait_banner(what="the banner of E:")
        second = self.start_worker("F:")
        f = wait_until(lambda: [b for b in self.banners() if b.pid != e.pid and b.visible], 90,
                       "the banner of F:")[0]
        self.assertEqual((e.x, e.y), (0, 576))
        self.assertEqual((f.x, f.y), (0, 576 - 56))

        self.assertEqual(self.send(e, WM_BANNER_QUERY_DRIVE, ord("E")), 1)
        self.assertEqual(self.send(e, WM_BANNER_QUERY_DRIVE, ord("G")), 0)
        self.assertEqual(self.send(f, WM_BANNER_QUERY_DRIVE, ord("F")), 1)
        self.assertEqual(self.send(f, WM_BANNER_QUERY_DRIVE, ord("E")), 0)

        requests = self.wait_requests(8)
        by_process = {r["pid"] for r in requests}
        self.assertEqual(len(by_process), 2, "both banners made requests")
        spans = sorted(request_times(requests))
        for (_, end), (start, _) in zip(spans, spans[1:]):
            self.assertGreaterEqual(start, end, "two requests at once")
        # Cancel both (their buttons are back after the second refusal).
        for banner, worker in ((e, first), (f, second)):
            self.post(banner, WM_KEYDOWN, VK_ESCAPE)
            self.assertEqual(worker.wait_exit(30), 0)


class ClosingTest(BannerRunCase):
    def test_a_removal_before_success_changes_nothing(self):
        worker, banner = self.refused_banner()
        self.send(banner, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE)
        removed = time.monotonic()
        count = len(self.requests())

        # Well past the second after which a finished banner would close, the
        # device-node changes leave it where it is, retrying.
        def retried_after_arming():
            self.post(banner, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED)
            now = [b for b in self.banners() if b.pid == banner.pid]
            self.assertEqual([(b.x, b.y) for b in now], [(0, 576)])
            return time.monotonic() - removed > 2.5 and len(self.requests()) >= count + 2
        wait_until(retried_after_arming, 60, "two more attempts", interval=0.1)
        self.post(banner, WM_KEYDOWN, VK_ESCAPE)
        self.assertEqual(worker.wait_exit(30), 0)

    def test_after_a_success_the_banner_closes_by_itself_after_a_minute(self):
        self.stick_on("E")
        self.pnp.describe(sim.usb_stick())
        worker = self.start_worker("E:")
        banner = self.wait_banner()
        [accepted] = self.wait_requests(1)
        self.assertEqual(accepted["result"], sim.CR_SUCCESS)
        succeeded = time.monotonic()

        def sliding():
            now = [b for b in self.banners() if b.pid == banner.pid]
            return not now or now[0].x > 0
        wait_until(sliding, 120, "the banner to close", interval=0.2)
        self.assertGreater(time.monotonic() - succeeded, 59)
        self.assertEqual(worker.wait_exit(30), 0)


class AbandonedMutexTest(BannerRunCase):
    def test_a_mutex_left_by_a_dead_banner_is_taken_used_and_released(self):
        self.stick_on("E")
        self.pnp.describe(sim.usb_stick())
        worker = self.start_worker("-c", "E:")
        banner = self.wait_banner()
        # A process takes the banner mutex and ends holding it.
        self.assertEqual(self.run_tool("probe", "abandon", BANNER_MUTEX)[0], 0)
        self.post(banner, WM_KEYDOWN, VK_RETURN)
        seen = []

        def released():
            code, out = self.run_tool("probe", "take", BANNER_MUTEX)
            if code == 0:
                seen.append(out.strip())
            return "owned" in seen or not worker.running()
        wait_until(released, 60, "the mutex free again", interval=0.05)
        self.assertIn("owned", seen)
        self.assertNotIn("abandoned", seen)
        [request] = self.requests()
        self.assertEqual(request["result"], sim.CR_SUCCESS)
        self.assertEqual(worker.wait_exit(30), 0)


if __name__ == "__main__":
    unittest.main()
