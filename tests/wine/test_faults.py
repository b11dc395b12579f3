"""Faults and races around the real Tarnwick.exe under Wine: an eject request
that hangs, a drive that disappears under its banner, a worker killed from
outside, twenty launchers at once, WMI or the volume set missing, and a
blocker hidden among thousands of handles of odd types. Each waits for
conditions, never for fixed times, and checks that nothing crashed, nothing
was killed by mistake and no file was left behind."""
import os
import time
import unittest

import harness
from faults import (IDYES, VOLUME_CLASS, WM_COMMAND, FaultCase, read_text, sim, stick_ids,
                    wait_until)
from banner_run import message_boxes
from constants import NIN_BALLOONUSERCLICK, WM_BANNER_SAFE_NOTICE


class HangingRequestTest(FaultCase):
    def test_a_request_that_hangs_keeps_its_banner_and_a_second_drive_waits_its_turn(self):
        self.distinct_sticks("EF", E={"eject_ms": 20000})
        e_id, f_id = stick_ids(1)["usb"], stick_ids(2)["usb"]
        worker_e = self.start_worker("E:")
        banner_e = self.wait_banner(what="E's banner")
        [waiting] = wait_until(lambda: self.pnp.calls("eject_wait"), 60, "E's request to hang")
        self.assertEqual(waiting["id"], e_id)

        # E's banner is drawn while its thread is stuck in the request.
        self.shoot("hang_01_drawn", lambda s: self.body_shown(s, banner_e), "E's banner during the hang")
        self.assertEqual(self.requests(), [], "the request ended early")

        # The second worker waits for E's banner to answer which drive it serves
        # (at most 6 s), for the banner mutex for its place (at most 6 s, then
        # it counts without it) and for its request (until E's has ended).
        worker_f = self.start_worker("F:")
        banner_f = wait_until(
            lambda: [b for b in self.banners() if b.visible and b.hwnd != banner_e.hwnd],
            90, "F's banner")[0]
        self.assertEqual((banner_f.x, banner_f.y), (banner_e.x, banner_e.y - 56))

        requests = wait_until(lambda: len(self.requests()) >= 2 and self.requests(), 120,
                              "both requests")
        by_id = {r["id"]: r for r in requests}
        self.assertEqual(set(by_id), {e_id, f_id})
        self.assertEqual(len(requests), 2)
        self.assertTrue(all(r["result"] == sim.CR_SUCCESS for r in requests))
        # One request at a time: F's began after E's had ended.
        self.assertGreaterEqual(float(by_id[f_id]["start"]), float(by_id[e_id]["t"]))
        self.assertGreaterEqual(float(by_id[e_id]["t"]) - float(by_id[e_id]["start"]), 19900)

        for banner in (banner_e, banner_f):
            self.shoot("hang_02_success", lambda s: self.buttons(s, banner) == "none"
                       and self.symbol(s, banner) == 0, "the success state")
            self.post(banner, WM_BANNER_SAFE_NOTICE, 0, NIN_BALLOONUSERCLICK)
        self.assertEqual(worker_e.wait_exit(60), 0)
        self.assertEqual(worker_f.wait_exit(60), 0)


class DriveGoneTest(FaultCase):
    def test_a_drive_that_disappears_under_its_banner_fails_quietly_until_cancelled(self):
        worker, banner = self.refused_banner()
        self.shoot("gone_01_cancel", lambda s: self.buttons(s, banner) == "cancel", "Cancel alone")

        # The stick is pulled: its drive letter and its device go.
        code, _ = self.run_tool("mount_drive", "remove", "E")
        self.assertEqual(code, 0)
        if os.path.lexists(self.wine.dosdevice("E")):
            os.unlink(self.wine.dosdevice("E"))
        self.pnp.describe(sim.usb_stick(vetoes="all", present=False))
        seen = len(self.pnp.calls())

        # Two more attempts come and fail, with nothing shown for them.
        def attempts_after():
            return [c for c in self.pnp.calls()[seen:] if c["function"] == "SetupDiGetClassDevsW"]
        wait_until(lambda: len(attempts_after()) >= 2, 60, "two attempts after the removal")
        self.assertTrue(worker.running())
        self.assertEqual(message_boxes(self, banner.pid), [])
        self.assertTrue(all(r["result"] != sim.CR_SUCCESS for r in self.requests()))
        self.shoot("gone_02_still_cancel", lambda s: self.buttons(s, banner) == "cancel"
                   and self.body_shown(s, banner), "the banner with Cancel")

        # Cancel (Escape) ends it.
        self.key("Escape")
        self.assertEqual(worker.wait_exit(30), 0)
        self.assertEqual([b for b in self.banners() if b.pid == banner.pid], [])


class KilledWorkerTest(FaultCase):
    def test_a_worker_killed_in_its_request_leaves_its_copy_and_the_next_launch_works(self):
        sticks = self.distinct_sticks("EF", E={"eject_ms": 600000})
        self.program_on(sticks["E"])
        temp, temp_windows = self.temp_folder()
        before = sorted(os.listdir(temp))
        launcher = self.launch("E:\\Tarnwick.exe", temp_windows)
        [waiting] = wait_until(lambda: self.pnp.calls("eject_wait"), 90, "E's request to hang")
        killed = int(waiting["pid"])
        self.assertEqual(launcher.wait_exit(60), 0)
        [copy] = [f for f in self.twk_files(temp) if f.endswith(".exe")]

        # A second worker, for F, waits for the banner mutex that E's worker holds.
        worker_f = self.start_worker("F:")
        banner_f = wait_until(lambda: [b for b in self.banners() if b.visible and b.pid != killed],
                              90, "F's banner")[0]
        self.kill(killed)
        wait_until(lambda: killed not in [p[0] for p in self.processes()], 30, "the worker's end")

        # The mutex comes to F abandoned: F goes on and ejects.
        [f_request] = wait_until(lambda: self.requests(), 60, "F's request")
        self.assertEqual((f_request["id"], f_request["result"]), (stick_ids(2)["usb"], sim.CR_SUCCESS))
        self.post(banner_f, WM_BANNER_SAFE_NOTICE, 0, NIN_BALLOONUSERCLICK)
        self.assertEqual(worker_f.wait_exit(60), 0)

        # The killed worker wrote no batch: its copy stays, nothing else.
        self.assertEqual(sorted(os.listdir(temp)), sorted(before + [copy]))
        self.assertEqual([b for b in self.banners() if b.pid == killed], [])

        # The next launch from the stick works as usual and cleans up after itself.
        self.describe_sticks("EF")
        launcher = self.launch("E:\\Tarnwick.exe", temp_windows)
        banner_e = self.wait_banner(what="the new banner for E")
        self.assertEqual(launcher.wait_exit(60), 0)
        requests = wait_until(lambda: len(self.requests()) == 2 and self.requests(), 60,
                              "the new worker's request")
        self.assertEqual((requests[1]["id"], requests[1]["result"]),
                         (stick_ids(1)["usb"], sim.CR_SUCCESS))
        self.post(banner_e, WM_BANNER_SAFE_NOTICE, 0, NIN_BALLOONUSERCLICK)
        self.wait_files(temp, before + [copy], "only the killed worker's copy left")
        self.assertEqual(self.program_processes(), [])


class TwentyLaunchersTest(FaultCase):
    def test_twenty_launchers_at_once_give_one_banner(self):
        stick = self.stick_on("E")
        self.program_on(stick)
        self.pnp.describe(sim.usb_stick(vetoes="all"))
        temp, temp_windows = self.temp_folder()
        before = sorted(os.listdir(temp))
        launchers = [self.launch("E:\\Tarnwick.exe", temp_windows) for _ in range(20)]

        most_banners = 0
        while any(launcher.running() for launcher in launchers):
            most_banners = max(most_banners, len(self.banners()))
        for launcher in launchers:
            self.assertEqual(launcher.wait_exit(120), 0)
        banner = self.wait_banner()
        # A copy started before the first banner was up sees it and ends by
        # itself, removing its copy: one copy is left, the banner's.
        wait_until(lambda: [p[0] for p in self.program_processes()] == [banner.pid], 120,
                   "the banner's process alone")
        wait_until(lambda: len(self.twk_files(temp)) == 1, 120, "one copy in the temporary folder")
        self.wait_requests(2)
        self.assertEqual(most_banners, 1)
        self.assertEqual(len(self.banners()), 1)
        self.assertEqual({r["pid"] for r in self.requests()}, {str(banner.pid)})

        self.key("Escape")
        self.wait_files(temp, before, "the temporary folder to be clean")
        wait_until(lambda: self.program_processes() == [], 60, "no process of the program")


class MissingServicesTest(FaultCase):
    def test_without_wmi_or_a_volume_set_nothing_is_shown_and_the_exit_code_is_0(self):
        stick = self.stick_on("E")
        self.program_on(stick)
        self.pnp.describe(sim.usb_stick())
        temp, temp_windows = self.temp_folder()
        before = sorted(os.listdir(temp))
        overrides = self.pnp.env()["WINEDLLOVERRIDES"]
        cases = {
            # WMI's in-process server cannot be loaded: no locator.
            "no WMI": {"WINEDLLOVERRIDES": overrides + ";wbemprox="},
            "no volume set": {"TARNWICK_SIMPNP_VOLUMES": "fail"},
        }
        for name, env in cases.items():
            with self.subTest(name):
                self.pnp.clear_log()
                watch = harness.WindowWatch(self.wine.display.name)
                self.assertEqual(self.launch("E:\\Tarnwick.exe", temp_windows, env=env).wait_exit(120), 0)
                self.assertEqual(self.pnp.start(["E:"], extra_env=env).wait_exit(120), 0)
                self.assertEqual(self.pnp.start(["-s", "E:"], extra_env=env).wait_exit(120), 0)
                self.assertEqual(watch.mapped(), [], "a window was shown")
                self.assertEqual(self.requests(), [])
                self.assertEqual(sorted(os.listdir(temp)), before)
                self.assertEqual(self.program_processes(), [])

    def test_an_empty_volume_set_is_only_an_empty_container(self):
        # The set holds the nodes that resolution opens; what it held at the
        # start does not matter, so the stick is ejected as usual.
        self.stick_on("E")
        self.pnp.describe(sim.usb_stick())
        watch = harness.WindowWatch(self.wine.display.name)
        self.assertEqual(self.pnp.start(["-s", "E:"],
                                        extra_env={"TARNWICK_SIMPNP_VOLUMES": "empty"}).wait_exit(120), 0)
        self.assertEqual(watch.mapped(), [])
        [request] = self.requests()
        self.assertEqual((request["id"], request["result"]), (sim.USB_STICK_ID, sim.CR_SUCCESS))
        sets = [c for c in self.pnp.calls("SetupDiGetClassDevsW") if c["class"] == VOLUME_CLASS]
        self.assertEqual(len(sets), 2)  # the session's and the request's own


class CrowdedHandleTableTest(FaultCase):
    def test_the_holder_is_found_among_thousands_of_handles_of_odd_types(self):
        stick = self.stick_on("E")
        with open(os.path.join(stick, "held.txt"), "w") as f:
            f.write("held\n")
        status = os.path.join(self.make_folder("tarnwick-many-"), "status")
        self.start(self.build_file("hold_many.exe"),
                   [self.windows_path(status), "6000", r"E:\mapped.bin", r"E:\held.txt"])
        reply = wait_until(lambda: "pid" in harness.parse_reply(read_text(status)) and
                           harness.parse_reply(read_text(status)), 120, "the holder")
        holder, handles = int(reply["pid"]), int(reply["handles"])
        self.assertGreater(handles, 6000)
        sleeper, bystander = self.start_sleeper(600000)

        # The search of the program's own code, timed from outside.
        started = time.monotonic()
        code, found = self.tool_reply("find_blocker", "E")
        searched = time.monotonic() - started
        self.assertEqual(code, 0)
        self.assertEqual((found["found"], found["holds"], int(found["pid"]), found["path"]),
                         ("1", "1", holder, r"E:\held.txt"))
        print("search among %d handles of the holder: %.1f s" % (handles, searched))

        # The real program names it in its offer, and ends that process alone.
        self.pnp.describe(sim.usb_stick(veto_while_open=r"E:\held.txt"))
        worker = self.start_worker("-k", "E:")
        banner = self.wait_banner()
        box = wait_until(lambda: [b for b in message_boxes(self, banner.pid) if b[3]], 120,
                         "the offer to end the holder")[0]
        text = " ".join(box[3])
        self.assertIn("(PID=%d)" % holder, text)
        self.assertIn("held.txt", text)
        self.assertIn("hold_many.exe", text)
        self.run_tool("probe", "post", box[0], WM_COMMAND, IDYES, 0)
        wait_until(lambda: not self.process_alive(holder), 60, "the holder's end")
        wait_until(lambda: [r for r in self.requests() if r["result"] == sim.CR_SUCCESS], 60,
                   "the request after the holder's end")
        self.assertTrue(self.process_alive(bystander))
        self.assertTrue(worker.running())
        self.post(banner, WM_BANNER_SAFE_NOTICE, 0, NIN_BALLOONUSERCLICK)
        self.assertEqual(worker.wait_exit(60), 0)
        self.kill(bystander)
        sleeper.wait_exit(60)


if __name__ == "__main__":
    unittest.main()
