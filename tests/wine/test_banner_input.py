"""The banner of the real Tarnwick.exe and the user: OK, Cancel, Enter and
Escape, dragging, and the end of the session."""
import os
import shutil
import subprocess
import time
import unittest

from banner_run import (WM_QUERYENDSESSION, BannerRunCase, message_boxes, sim)
from harness import wait_until

VK_ESCAPE = 0x1B
WM_KEYDOWN = 0x0100
WM_COMMAND = 0x0111
IDOK = 1


class AskFirstTest(BannerRunCase):
    def ok_point(self, banner):
        return banner.x + banner.width - 392 + 15, banner.y + 37

    def pulse_screens(self, banner, name):
        """Two screenshots of the waiting banner whose symbols differ."""
        first = self.shoot(name + "_a", lambda s: self.buttons(s, banner) == "both", "OK and Cancel")
        second = self.shoot(name + "_b", lambda s: self.symbol_pixels(s, banner) != self.symbol_pixels(first, banner),
                            "the symbol to pulse")
        return first, second

    def watch_cycle_ends(self, banner, cycles):
        """Watches the symbol until it has jumped back to full strength `cycles` times."""
        seen = {"last": None, "ends": 0}

        def strength(screen):
            return sum(sum(p) for p in self.symbol_pixels(screen, banner))

        def ended():
            now = strength(self.shoot("pulse", lambda s: True, "a screenshot"))
            if seen["last"] is not None and now > seen["last"] + 2000:
                seen["ends"] += 1
            seen["last"] = now
            return seen["ends"] >= cycles
        wait_until(ended, 60, "%d pulse cycles" % cycles, interval=0.05)

    def test_the_file_name_letter_d_waits_for_ok_with_a_pulsing_symbol_and_a_click_on_ok_ejects(self):
        self.stick_on("E")
        self.pnp.describe(sim.usb_stick())
        program = os.path.join(self.pnp.folder, "Tarnwick-d.exe")
        shutil.copyfile(self.pnp.program, program)
        worker = self.start_worker("E:", program=program)
        banner = self.wait_banner()
        first, second = self.pulse_screens(banner, "ask_d")
        # Only the symbol changes while the banner waits.
        self.assertEqual(self.text_pixels(first, banner), self.text_pixels(second, banner))
        self.assertEqual(self.requests(), [])
        self.xdotool("mousemove", *self.ok_point(banner), "click", "1")
        [request] = self.wait_requests(1)
        self.assertEqual(request["result"], sim.CR_SUCCESS)
        self.shoot("ask_d_success", lambda s: self.buttons(s, banner) == "none" and self.symbol(s, banner) == 0,
                   "the success state")
        # The letter d also opened the drive's folder in the shell; close it.
        for pid in self.pids_of("explorer.exe"):
            for hwnd, cls, _ in self.windows_of(pid):
                if cls in ("ExplorerWClass", "CabinetWClass"):
                    self.run_tool("probe", "post", hwnd, 0x10, 0, 0)
        # The success balloon times out: the banner fades out sliding right.
        from constants import NIN_BALLOONTIMEOUT, WM_BANNER_SAFE_NOTICE
        self.post(banner, WM_BANNER_SAFE_NOTICE, 0, NIN_BALLOONTIMEOUT)
        self.assertEqual(worker.wait_exit(30), 0)

    def test_escape_cancels_and_the_banner_fades_in_place_without_an_attempt(self):
        self.stick_on("E")
        self.pnp.describe(sim.usb_stick())
        worker = self.start_worker("-c", "E:")
        banner = self.wait_banner()
        self.pulse_screens(banner, "ask_c")
        with self.fading_in_place(banner, lambda: not worker.running()):
            self.key("Escape")
        self.assertEqual(worker.wait_exit(10), 0)
        self.assertEqual(self.requests(), [])

    def test_with_c_a_refusal_brings_ok_back_and_only_ok_retries(self):
        self.stick_on("E")
        self.pnp.describe(sim.usb_stick(vetoes=1))
        worker = self.start_worker("-c", "E:")
        banner = self.wait_banner()
        self.pulse_screens(banner, "retry_c")
        self.key("Return")
        [refused] = self.wait_requests(1)
        self.assertEqual(refused["result"], sim.CR_REMOVE_VETOED)
        # The system reports by itself: no veto details are asked for.
        self.assertEqual(refused["veto_name_buffer"], "0")
        # OK is back, and the pulse runs through two of its cycles without a retry.
        self.shoot("retry_c_again", lambda s: self.buttons(s, banner) == "both", "OK and Cancel again")
        self.watch_cycle_ends(banner, 2)
        self.assertEqual(len(self.requests()), 1)
        self.xdotool("mousemove", *self.ok_point(banner), "click", "1")
        requests = self.wait_requests(2)
        self.assertEqual(requests[1]["result"], sim.CR_SUCCESS)
        # With system notices the banner closes at once after a success.
        self.assertEqual(worker.wait_exit(30), 0)

    def test_enter_does_nothing_while_cancel_is_alone_and_escape_cancels(self):
        worker, banner = self.refused_banner()
        self.shoot("cancel_alone", lambda s: self.buttons(s, banner) == "cancel", "Cancel alone")
        self.key("Return")
        # Still retrying on the pulse, Cancel still alone.
        count = len(self.requests())
        self.wait_requests(count + 1)
        self.shoot("cancel_alone_after_enter", lambda s: self.buttons(s, banner) == "cancel", "Cancel alone")
        self.key("Escape")
        self.assertEqual(worker.wait_exit(30), 0)


class DraggingTest(BannerRunCase):
    def position(self, banner):
        [now] = [b for b in self.banners() if b.pid == banner.pid]
        return now.x, now.y

    def drag(self, start, *points):
        args = ["mousemove", start[0], start[1], "mousedown", "1"]
        for x, y in points:
            args += ["mousemove", x, y]
        self.xdotool(*args + ["mouseup", "1"])

    def test_the_banner_moves_only_vertically_within_the_work_area_and_keeps_its_place(self):
        self.stick_on("E")
        self.pnp.describe(sim.usb_stick())
        worker = self.start_worker("-c", "E:")
        banner = self.wait_banner()
        self.assertEqual((banner.x, banner.y), (0, 576))
        grab = (60, banner.y + 30)  # on the text: a caption
        self.drag(grab, (80, 560), (120, 520), (160, 506))
        try:
            wait_until(lambda: self.position(banner) == (0, 476), 30, "the banner at 0,476")
        except AssertionError:
            raise AssertionError("banner at %s" % (self.position(banner),))

        # Above the top of the work area: held at 0.
        self.drag((60, 506), (60, 300), (200, 50), (300, -200))
        wait_until(lambda: self.position(banner) == (0, 0), 30, "the banner at the top")
        # Below the bottom: held at 768 - 74.
        self.drag((60, 30), (60, 400), (60, 900))
        wait_until(lambda: self.position(banner) == (0, 694), 30, "the banner at the bottom")

        # The pulse goes on drawing it where it was left.
        moved = self.wait_banner(banner.pid)
        self.assertEqual((moved.x, moved.y), (0, 694))
        first = self.shoot("dragged_a", lambda s: self.buttons(s, moved) == "both", "the dragged banner")
        self.shoot("dragged_b", lambda s: self.symbol_pixels(s, moved) != self.symbol_pixels(first, moved),
                   "the pulse at the new place")
        self.assertEqual(self.position(banner), (0, 694))
        self.post(banner, WM_KEYDOWN, VK_ESCAPE)
        self.assertEqual(worker.wait_exit(30), 0)


class EndOfSessionTest(BannerRunCase):
    def refuse_end_of_session(self, env, expected_text):
        self.stick_on("E")
        self.pnp.describe(sim.usb_stick())
        worker = self.start_worker("-c", "E:", env=env)
        banner = self.wait_banner()
        query = self.start(self.build_file("probe.exe"),
                           ["send", str(banner.hwnd), hex(WM_QUERYENDSESSION), "0", "0"], capture=True)
        box = wait_until(lambda: [b for b in message_boxes(self, banner.pid) if b[2] and b[3]], 60,
                         "the warning box")[0]
        hwnd, owner, caption, texts = box
        self.assertEqual(owner, banner.hwnd)
        self.assertEqual(caption, "Tarnwick")
        self.assertIn(expected_text, texts)
        self.assertTrue(query.running(), "the answer waits for the box")
        self.run_tool("probe", "post", hwnd, WM_COMMAND, IDOK, 0)
        code, out = query.output(60)
        self.assertEqual(code, 0)
        self.assertEqual(out.split(), ["result", "0"])  # refused
        self.assertTrue(worker.running())
        self.post(banner, WM_KEYDOWN, VK_ESCAPE)
        self.assertEqual(worker.wait_exit(30), 0)

    def test_the_end_of_the_session_is_refused_with_a_warning(self):
        self.refuse_end_of_session(None, "Please exit Tarnwick before the shutdown.")

    def test_a_japanese_user_is_warned_in_japanese(self):
        self.refuse_end_of_session({"LC_ALL": "ja_JP.UTF-8"},
                                   "ログオフやシャットダウンの前にTarnwickを必ず終了してください。")


if __name__ == "__main__":
    unittest.main()
