"""The Explorer window release of the real program code under Wine.

Wine's own shell windows collection lists nothing, so each test registers the
simulated collection (fakeshell/fake_shell_windows.dll) for CLSID_ShellWindows
in the test prefix and puts Wine's registration back afterwards. The items of
the collection come from the test: addresses, and real top-level windows held
by folder_windows.exe, which logs every WM_CLOSE it receives. The release
itself runs in explorer_release.exe, which calls the program's
releaseExplorerWindows as the banner does.
"""
import contextlib
import os
import unittest

import harness
import shell_windows
from harness import read_text, wait_until

# The release thread's limit; the call may take a little longer (the
# terminated thread is given up to 100 ms), and this machine is busy.
LIMIT_MS = 6000
LIMIT_MARGIN_MS = 1500

VT_EMPTY = "0"
VT_I4 = "3"


class ExplorerReleaseTest(harness.WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.dll = os.path.join(cls.wine.build_dir, "fakeshell", shell_windows.FAKE_DLL_NAME)
        if not os.path.exists(cls.dll):
            raise unittest.SkipTest("no simulated shell windows collection in this build")

    def setUp(self):
        super().setUp()
        self.registry = contextlib.ExitStack()
        self.addCleanup(self.registry.close)
        env = self.wine.env
        self.registry.enter_context(shell_windows.unmanaged_windows(env))
        self.registry.enter_context(
            shell_windows.simulated_shell_windows(env, self.windows_path(self.dll)))
        self.folder = self.make_folder("tarnwick-explorer-")
        self.calls_file = os.path.join(self.folder, "calls.log")
        self.closes_file = os.path.join(self.folder, "closes.log")
        self.window_holder = None

    def tearDown(self):
        if self.window_holder is not None and self.window_holder.running():
            for hwnd in self.hwnds:
                self.run_tool("probe", "post", hwnd, 0x8000, 0, 0)  # WM_APP: go away
            self.window_holder.wait_exit(60)
        super().tearDown()

    # --- helpers ---

    def open_windows(self, *kinds):
        """Starts real top-level windows ("close" or "ignore"); returns their handles."""
        hwnd_file = os.path.join(self.folder, "hwnds")
        self.window_holder = self.start(
            self.build_file("folder_windows.exe"),
            [self.windows_path(hwnd_file), self.windows_path(self.closes_file)] + list(kinds))
        text = wait_until(lambda: read_text(hwnd_file).strip(), 60, "the folder windows")
        self.hwnds = [int(line) for line in text.split()]
        self.assertEqual(len(self.hwnds), len(kinds))
        return self.hwnds

    def release(self, letter, mode, items, count=None):
        """Runs the release over the simulated collection; returns (elapsed ms, calls)."""
        env = {"FAKESW_ITEMS": ";".join(items), "FAKESW_LOG": self.windows_path(self.calls_file)}
        if count:
            env["FAKESW_COUNT"] = count
        process = self.start(self.build_file("explorer_release.exe"), [letter, mode], env=env,
                             capture=True)
        code, out = process.output(120)
        self.assertEqual(code, 0, out)
        lines = out.splitlines()
        self.assertEqual(lines[-1], "went on", out)
        elapsed = int(lines[0].split()[1])
        return elapsed, read_text(self.calls_file).splitlines()

    def navigations(self, calls):
        return [c.split()[1:] for c in calls if c.startswith("navigate ")]

    def closes(self):
        return [int(line.split()[1]) for line in read_text(self.closes_file).splitlines()]

    def folder_windows(self):
        """The folder windows that still exist."""
        pid = self.run_tool("probe", "pids", "folder_windows.exe")[1].split()
        self.assertEqual(len(pid), 1)
        return [h for h, cls, _ in self.windows_of(int(pid[0])) if cls == "TarnwickTestFolder"]

    def assertCutOffAtTheLimit(self, elapsed):
        self.assertGreaterEqual(elapsed, LIMIT_MS - 50)
        self.assertLess(elapsed, LIMIT_MS + LIMIT_MARGIN_MS)

    # --- moving windows ---

    def test_windows_on_the_drive_are_moved_and_all_others_left_alone(self):
        root, sub, other = self.open_windows("close", "close", "close")
        elapsed, calls = self.release("E", "move", [
            "file:///E:/*%d" % root,
            "file:///F:/photos*%d" % other,
            "file://server/share/E:/",
            "http://example.com/",
            "file:///e:/dir/sub*%d" % sub,
        ])
        self.assertEqual(self.navigations(calls), [
            ["file:///E:/", "shell:MyComputerFolder", VT_EMPTY, VT_EMPTY, VT_EMPTY, VT_EMPTY],
            ["file:///e:/dir/sub", "shell:MyComputerFolder", VT_EMPTY, VT_EMPTY, VT_EMPTY,
             VT_EMPTY],
        ])
        items = [c.split() for c in calls if c.startswith("item ")]
        self.assertEqual([i[1:3] for i in items],
                         [[VT_I4, str(n)] for n in range(5)], "indexes as 32-bit integers")
        self.assertEqual(self.closes(), [])
        self.assertEqual(calls[-1], "released")

    def test_a_window_that_cannot_be_read_is_skipped_and_the_next_one_moved(self):
        _, calls = self.release("E", "move", [
            "!item:file:///E:/a", "!url:file:///E:/b", "file:///E:/c"])
        self.assertEqual([n[0] for n in self.navigations(calls)], ["file:///E:/c"])
        self.assertEqual(calls[-1], "released")

    def test_nothing_is_done_when_the_count_cannot_be_read_or_there_is_no_window(self):
        _, calls = self.release("E", "move", ["file:///E:/"], count="fail")
        self.assertEqual(calls, ["create", "count fail", "released"])
        os.remove(self.calls_file)
        _, calls = self.release("E", "close", [])
        self.assertEqual(calls, ["create", "count 0", "released"])

    def test_without_the_simulated_server_nothing_is_done_and_the_call_returns_at_once(self):
        # COM then falls back to Wine's own collection, which lists nothing,
        # or finds none at all.
        with shell_windows.overridden_value(self.wine.env, shell_windows.SHELL_WINDOWS_SERVER,
                                            None, r"C:\windows\system32\no_such_server.dll"):
            elapsed, calls = self.release("E", "close", ["file:///E:/"])
        self.assertEqual(calls, [])
        self.assertLess(elapsed, LIMIT_MS - 1000)

    # --- closing windows ---

    def test_windows_on_the_drive_in_a_row_are_all_closed(self):
        other, first, second, third, last = self.open_windows(
            "close", "close", "close", "close", "close")
        _, calls = self.release("E", "close", [
            "file:///F:/*%d" % other,
            "file:///E:/*%d" % first,
            "file:///E:/a*%d" % second,
            "file:///e:/b*%d" % third,
            "file:///G:/*%d" % last,
        ])
        # One request each: every window was gone before its second was up.
        self.assertEqual(self.closes(), [first, second, third])
        self.assertEqual(self.navigations(calls), [])
        self.assertEqual(sorted(self.folder_windows()), sorted([other, last]))
        self.assertEqual(calls[-1], "released")

    def test_a_folder_window_of_wine_explorer_on_the_drive_is_closed(self):
        stick = self.map_drive("E")
        os.makedirs(os.path.join(stick, "dir"))
        folder = self.start("explorer.exe", ["E:\\dir"])

        def folder_window():
            for pid in self.pids_of("explorer.exe"):
                for hwnd, cls, _ in self.windows_of(pid):
                    if cls in ("ExplorerWClass", "CabinetWClass"):
                        return hwnd
            return None

        hwnd = wait_until(folder_window, 60, "the folder window on E:")
        _, calls = self.release("E", "close", ["file:///E:/dir*%d" % hwnd])
        self.assertIn("hwnd file:///E:/dir %d" % hwnd, calls)
        self.assertIsNone(folder_window())
        self.assertEqual(folder.wait_exit(60), 0)
        self.assertEqual(calls[-1], "released")

    def test_a_window_without_a_handle_is_moved_instead_of_closed(self):
        (window,) = self.open_windows("close")
        _, calls = self.release("E", "close", ["file:///E:/", "file:///E:/dir*%d" % window])
        self.assertEqual([n[:2] for n in self.navigations(calls)],
                         [["file:///E:/", "shell:MyComputerFolder"]])
        self.assertEqual(self.closes(), [window])

    # --- the time limit ---

    def test_a_window_that_ignores_the_close_is_asked_again_until_the_limit(self):
        (stubborn,) = self.open_windows("ignore")
        elapsed, calls = self.release("E", "close", ["file:///E:/*%d" % stubborn])
        self.assertCutOffAtTheLimit(elapsed)
        # About once a second: the first request at once, then one per second.
        self.assertIn(len(self.closes()), range(5, 8))
        self.assertEqual(set(self.closes()), {stubborn})
        self.assertEqual(self.folder_windows(), [stubborn])
        self.assertNotIn("released", calls)  # the terminated thread let go of nothing

    def test_a_collection_that_hangs_is_abandoned_at_the_limit(self):
        elapsed, calls = self.release("E", "close", ["file:///F:/", "!hang:file:///E:/"])
        self.assertCutOffAtTheLimit(elapsed)
        self.assertEqual(calls[-1], "item 3 1 hang")

    def test_a_count_that_hangs_is_abandoned_at_the_limit(self):
        elapsed, calls = self.release("E", "move", ["file:///E:/"], count="hang")
        self.assertCutOffAtTheLimit(elapsed)
        self.assertEqual(calls, ["create", "count hang"])


if __name__ == "__main__":
    unittest.main()
