"""The banner as the user sees it: a test-only program builds the BannerWindow
of a made-up device ("Test Stick" on E:), shows it on the X display in one
of its states, and the tests read the pixels of screenshots. Without a
compositor, the layered window is drawn over the black root window, so each
screen pixel shows the banner's premultiplied colour bytes directly."""
import os
import unittest

import harness
import screens
from constants import (NIN_BALLOONTIMEOUT, NIN_BALLOONUSERCLICK, WM_BANNER_BLOCKER_NOTICE,
                       WM_BANNER_SAFE_NOTICE, WM_CLOSE)
from harness import wait_until, read_text
from screens import (SHOTS, Screen, balloon_icon_pixels, balloon_pixels, black, error_sign, grey,
                     info_sign, white)


def fade(colour, alpha, steps):
    """A premultiplied byte and its alpha after `steps` fade steps."""
    for _ in range(steps):
        if alpha == 0:
            break
        if alpha <= 8:
            return 0, 0
        colour, alpha = colour * (alpha - 8) // alpha, alpha - 8
    return colour, alpha


class BannerShow:
    """One run of banner_show.exe and what it reported."""

    def __init__(self, test, mode, *extra, wait=True):
        self.test = test
        self.mode = mode
        folder = test.make_folder("tarnwick-banner-")
        self.status_path = os.path.join(folder, "status.txt")
        self.process = test.start(test.build_file("banner_show.exe"),
                                  [test.windows_path(self.status_path), mode] + [str(e) for e in extra])
        if wait:
            self.wait_ready()

    def wait_ready(self):
        def ready_or_ended():
            return "ready" in read_text(self.status_path) or not self.process.running()
        try:
            wait_until(ready_or_ended, 90, "the banner of " + self.mode)
        except AssertionError as e:
            raise AssertionError("%s; status so far: %r" % (e, read_text(self.status_path)))
        if "ready" not in read_text(self.status_path):
            self.test.fail("banner_show %s ended with exit code 0x%x before it was ready; status: %r"
                           % (self.mode, self.process.wait_exit(10), read_text(self.status_path)))
        self.values = {key: [int(v) for v in value.split()]
                       for key, value in harness.parse_reply(read_text(self.status_path)).items()
                       if value}
        self.hwnd = self.values["hwnd"][0]
        self.x, self.y = self.values["position"]
        self.width, self.height = self.values["size"]

    def rect(self, name):
        """A button rectangle in screen coordinates."""
        left, top, right, bottom = self.values[name]
        return self.x + left, self.y + top, self.x + right, self.y + bottom

    def post(self, message, wparam=0, lparam=0):
        code, _ = self.test.run_tool("probe", "post", self.hwnd, hex(message), wparam, hex(lparam))
        self.test.assertEqual(code, 0)

    def close(self):
        if self.process.running():
            self.post(WM_CLOSE)
        self.test.assertEqual(self.process.wait_exit(60), 0)


class ScreenTest(harness.WineTestCase):
    """Screenshots and what they show."""

    def shoot(self, name, ready, what):
        """Screenshots until `ready(screen)` holds; keeps the last one as NAME.png."""
        return screens.shoot(self, name, ready, what, interval=0.2)

    def body_visible(self, show, x_offset=0, colour=54):
        return lambda s: grey(colour)(s.rgb(show.x + x_offset + 2, show.y + 30))


class BannerTest(ScreenTest):
    def check_band(self, screen, show, left):
        """The band's rows at column `left` + 2, and its transparent right end."""
        x, top = left + 2, show.y
        lit = [y for y in range(screen.height) if not black(screen.rgb(x, y))]
        # The outer rim rows are black at most 67/255 over the black root: the
        # first and last visible rows are the highlights 18 and 55 of the 74.
        self.assertEqual(lit[0], top + 18)
        self.assertEqual(lit[-1], top + 55)
        self.assertTrue(white(screen.rgb(x, top + 18)), screen.rgb(x, top + 18))
        self.assertTrue(white(screen.rgb(x, top + 55)))
        for y in range(top + 19, top + 55):
            self.assertTrue(grey(54)(screen.rgb(x, y)), (y - top, screen.rgb(x, y)))
        right_end = left + show.width - 1
        self.assertTrue(black(screen.rgb(right_end, top + 30)))
        self.assertTrue(black(screen.rgb(right_end + 3, top + 30)))
        # The body fades towards the right: a quarter of the width in, it is darker.
        middle = screen.rgb(left + show.width // 2, top + 30)[0]
        self.assertLess(middle, 40)
        self.assertGreater(middle, 20)

    def check_text(self, screen, show):
        text_width, text_height = show.values["text"]
        top = show.y + ((74 - text_height) >> 1)
        self.assertGreater(screen.count(show.x + 36, top, show.x + 36 + text_width, top + text_height, white),
                           100, "white text pixels")
        # The symbol at (9, 28), at full strength.
        self.assertGreater(screen.count(show.x + 9, show.y + 28, show.x + 27, show.y + 46,
                                        lambda p: min(p) > 200), 20)

    def test_ask_first_shows_ok_and_cancel(self):
        show = BannerShow(self, "ask")
        work = show.values["workarea"]
        self.assertEqual(show.x, work[0])
        self.assertEqual(show.y, (work[1] + 3 * work[3]) // 4)
        self.assertEqual(show.height, 74)
        screen = self.shoot("banner_ask_first", self.body_visible(show), "the banner on screen")
        self.check_band(screen, show, show.x)
        self.check_text(screen, show)
        ok, cancel = show.rect("ok"), show.rect("cancel")
        self.assertEqual(cancel[0], ok[2] + 4)
        for button in (ok, cancel):
            area = (button[2] - button[0]) * (button[3] - button[1])
            self.assertGreater(screen.count(*button, white), area // 2)
            self.assertGreater(screen.count(*button, black), 5)  # the black caption
            # Just outside the button: body, no face.
            self.assertEqual(screen.count(button[0] - 3, button[1], button[0] - 1, button[3], white), 0)
        show.close()

    def test_running_shows_cancel_alone(self):
        show = BannerShow(self, "running")
        screen = self.shoot("banner_running", self.body_visible(show), "the banner on screen")
        self.check_band(screen, show, show.x)
        self.check_text(screen, show)
        ok, cancel = show.rect("ok"), show.rect("cancel")
        self.assertEqual(cancel[0], ok[0] + 4)
        # Where OK would start there is only body.
        self.assertEqual(screen.count(ok[0] - 2, ok[1], cancel[0], ok[3], white), 0)
        area = (cancel[2] - cancel[0]) * (cancel[3] - cancel[1])
        self.assertGreater(screen.count(*cancel, white), area // 2)
        self.assertGreater(screen.count(*cancel, black), 10)
        # Nothing white beyond the Cancel button.
        self.assertEqual(screen.count(cancel[2] + 1, ok[1], cancel[2] + 80, ok[3], white), 0)
        show.close()

    def test_fade_steps_darken_the_band_and_slide_it_right(self):
        for steps in (8, 20):
            show = BannerShow(self, "fade", steps)
            self.assertEqual(show.x, steps)  # one pixel to the right per step
            body, _ = fade(54, 216, steps)
            highlight, _ = fade(255, 255, steps)
            screen = self.shoot("banner_fade_%02d" % steps, self.body_visible(show, colour=body),
                                "the faded banner")
            x = show.x + 2
            self.assertTrue(grey(highlight)(screen.rgb(x, show.y + 18)), screen.rgb(x, show.y + 18))
            self.assertTrue(grey(highlight)(screen.rgb(x, show.y + 55)))
            self.assertTrue(grey(body)(screen.rgb(x, show.y + 40)))
            # Left of the slid band: the black root.
            self.assertTrue(all(black(screen.rgb(show.x - 1, y)) for y in range(show.y, show.y + 74)))
            # The white text has faded to the same grey as the highlight.
            text_width, text_height = show.values["text"]
            top = show.y + ((74 - text_height) >> 1)
            self.assertEqual(screen.count(show.x + 36, top, show.x + 36 + text_width, top + text_height, white), 0)
            self.assertGreater(screen.count(show.x + 36, top, show.x + 36 + text_width, top + text_height,
                                            grey(highlight, 1)), 50)
            show.close()

    def check_balloon(self, mode, shot, message, event, icon_colour):
        show = BannerShow(self, mode)
        self.shoot(shot, lambda s: balloon_pixels(s) > 8000 and grey(54)(s.rgb(show.x + 2, show.y + 30)),
                   "the balloon")
        screen = Screen(os.path.join(SHOTS, shot + ".png"))
        # The balloon's icon: the blue information sign or the red error sign.
        self.assertGreater(balloon_icon_pixels(screen, icon_colour), 10)
        # The system would post this when the balloon times out or is clicked.
        show.post(message, 0 if mode == "safe" else 1, event)
        wait_until(lambda: "%s-notice 0x%x" % (mode, event) in read_text(show.status_path), 60,
                   "the banner to take the balloon's callback")
        self.assertEqual(show.process.wait_exit(60), 0)
        self.shoot(shot + "_removed", lambda s: balloon_pixels(s) < 500, "the balloon to go")

    def test_success_balloon_in_the_notification_area(self):
        self.check_balloon("safe", "balloon_safe", WM_BANNER_SAFE_NOTICE, NIN_BALLOONTIMEOUT, info_sign)

    def test_blocker_balloon_in_the_notification_area(self):
        self.check_balloon("blocker", "balloon_blocker", WM_BANNER_BLOCKER_NOTICE, NIN_BALLOONUSERCLICK,
                           error_sign)


class DiagnosisTest(ScreenTest):
    """The banner's diagnosis with the real blocker search, for a process that
    holds a file open on drive E:."""

    def setUp(self):
        super().setUp()
        stick = self.map_drive("E")
        os.makedirs(os.path.join(stick, "dir"))
        with open(os.path.join(stick, "dir", "file.txt"), "w") as f:
            f.write("held open\n")
        folder = self.make_folder("tarnwick-holder-")
        pid_file = os.path.join(folder, "pid")
        self.holder = self.start(self.build_file("hold_file.exe"),
                                 [self.windows_path(pid_file), r"E:\dir\file.txt"])
        self.holder_pid = int(wait_until(lambda: read_text(pid_file).strip(), 60, "the holder's process id"))

    def test_the_blocker_balloon_names_what_the_search_found(self):
        show = BannerShow(self, "diagnose")
        self.assertEqual(show.values["blocker-shown"], [1])
        self.assertEqual(show.values["found-pid"], [self.holder_pid])
        screen = self.shoot("balloon_diagnosis", lambda s: balloon_pixels(s) > 8000, "the blocker balloon")
        self.assertGreater(balloon_icon_pixels(screen, error_sign), 10)
        show.post(WM_BANNER_BLOCKER_NOTICE, 1, NIN_BALLOONTIMEOUT)
        wait_until(lambda: "blocker-notice 0x404" in read_text(show.status_path), 60, "the callback")
        self.assertEqual(show.process.wait_exit(60), 0)

    def answer_prompt(self, answer):
        show = BannerShow(self, "prompt", wait=False)
        try:
            wait_until(lambda: "prompt-shown" in read_text(show.status_path), 90, "the terminate prompt")
        except AssertionError:
            raise AssertionError("no prompt; the banner reported: %r" % read_text(show.status_path))
        # The prompt box: a lit area in the middle of the otherwise black screen.
        screen = self.shoot("prompt_" + answer,
                            lambda s: s.count(200, 150, 824, 560, lambda p: not black(p)) > 5000,
                            "the prompt on screen")
        # Its warning sign: orange.
        self.assertGreater(screen.count(200, 150, 824, 560,
                                        lambda p: p[0] > 200 and 80 < p[1] < 200 and p[2] < 80), 10)
        with open(show.status_path + ".answer", "w") as f:
            f.write(answer)
        show.wait_ready()
        return show

    def test_yes_in_the_prompt_terminates_the_process_found_and_shows_no_balloon(self):
        show = self.answer_prompt("yes")
        self.assertEqual(show.values["found-pid"], [self.holder_pid])
        self.assertEqual(show.values["blocker-shown"], [0])
        self.assertEqual(self.holder.wait_exit(60), 0)  # terminated with exit code 0
        show.close()

    def test_no_in_the_prompt_leaves_the_process_and_shows_the_balloon(self):
        show = self.answer_prompt("no")
        self.assertEqual(show.values["blocker-shown"], [1])
        self.assertTrue(self.holder.running())
        self.shoot("balloon_after_no", lambda s: balloon_pixels(s) > 8000, "the blocker balloon")
        show.post(WM_BANNER_BLOCKER_NOTICE, 1, NIN_BALLOONUSERCLICK)
        wait_until(lambda: "blocker-notice 0x405" in read_text(show.status_path), 60, "the callback")
        self.assertEqual(show.process.wait_exit(60), 0)


if __name__ == "__main__":
    unittest.main()
