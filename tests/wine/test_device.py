"""Drive resolution and the eject request of the real Tarnwick.exe under Wine,
on the simulated Plug and Play layer (tests/wine/simpnp)."""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "simpnp"))
import harness  # noqa: E402
import simulated_pnp as sim  # noqa: E402
from simulated_pnp import Device  # noqa: E402

VOLUME_CLASS = "{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}"


class DeviceTestCase(harness.WineTestCase):
    def setUp(self):
        super().setUp()
        self.pnp = sim.SimulatedPnp(self)
        self.addCleanup(self.pnp.close)

    def stick_on(self, letter="E", kind="fixed"):
        folder = self.map_drive(letter)
        self.pnp.define_drive(letter, folder, kind)
        return folder

    def run_worker(self, *args):
        """Runs the worker to its end with nothing shown; returns the eject requests."""
        watch = harness.WindowWatch(self.wine.display.name)
        self.assertEqual(self.pnp.start(args).wait_exit(120), 0)
        self.assertEqual(watch.mapped(), [], "the worker showed a window")
        return self.pnp.eject_requests()

    def assert_silent_request(self, request, device_id=sim.USB_STICK_ID):
        """One request for the device, without veto buffers, so the system reports."""
        self.assertEqual(request["id"], device_id)
        self.assertEqual((request["veto_type_buffer"], request["veto_name_buffer"],
                          request["name_length"], request["flags"]), ("0", "0", "0", "0x0"))


class SilentEjectTest(DeviceTestCase):
    def test_a_stick_found_through_wmi_is_ejected_once_without_veto_buffers(self):
        self.stick_on("E")
        self.pnp.describe(sim.usb_stick())
        [request] = self.run_worker("-s", "E:")
        self.assert_silent_request(request)
        self.assertEqual(request["result"], sim.CR_SUCCESS)

        # The request came through a volume set of its own, opened and destroyed around it.
        calls = self.pnp.calls()
        at = calls.index(request)
        opened = calls[at - 1]
        self.assertEqual((opened["function"], opened["id"]),
                         ("SetupDiOpenDeviceInfoW", sim.USB_STICK_ID))
        made = calls[at - 2]
        self.assertEqual((made["function"], made["class"], made["flags"]),
                         ("SetupDiGetClassDevsW", VOLUME_CLASS, "0x12"))
        self.assertEqual(opened["set"], made["result"])
        destroyed = calls[at + 1]
        self.assertEqual((destroyed["function"], destroyed["set"]),
                         ("SetupDiDestroyDeviceInfoList", made["result"]))
        # Resolution opened its devices in the session's own set, made before.
        session_set = calls[0]["result"]
        self.assertNotEqual(session_set, made["result"])
        resolved = [c for c in calls[:at - 2] if c["function"] == "SetupDiOpenDeviceInfoW"]
        self.assertEqual([c["id"] for c in resolved], [sim.WINE_DISK_ID, sim.USB_STICK_ID])
        self.assertTrue(all(c["set"] == session_set for c in resolved))

    def test_a_vetoed_stick_gets_one_request_and_nothing_is_shown(self):
        self.stick_on("E")
        self.pnp.describe(sim.usb_stick(vetoes="all", veto_type=6,
                                        veto_name="\\Device\\HarddiskVolume3"))
        [request] = self.run_worker("-s", "E:")
        self.assert_silent_request(request)
        self.assertEqual(request["result"], sim.CR_REMOVE_VETOED)

    def test_the_registry_route_finds_the_stick_when_wmi_yields_no_node(self):
        self.stick_on("E")
        self.pnp.write_mounted_device("E", sim.VOLUME_LINK)
        self.pnp.describe(sim.stick_behind_volume())
        [request] = self.run_worker("-s", "E:")
        self.assert_silent_request(request)
        located = self.pnp.calls("CM_Locate_DevNodeW")
        # WMI's disk is unknown; the volume's link names its node, in upper case.
        self.assertEqual([(c["id"], c["sim"]) for c in located],
                         [(sim.WINE_DISK_ID, "0"), (sim.VOLUME_ID, "1")])
        # The volume and its disk are not removable: the grandparent is ejected.
        statuses = self.pnp.calls("CM_Get_DevNode_Status")
        self.assertEqual(len(statuses), 3)


class NoEjectTest(DeviceTestCase):
    def test_a_disk_that_is_not_removable_gets_no_request(self):
        self.stick_on("E")
        # WMI's disk hangs off a fixed controller; only the grandparent is removable.
        self.pnp.describe([
            Device("PCI\\VEN_8086&DEV_2922\\3&1", removable=True, description="Dock"),
            Device("PCIIDE\\IDECHANNEL\\4&1", parent="PCI\\VEN_8086&DEV_2922\\3&1",
                   description="ATA Channel 0"),
            Device(sim.WINE_DISK_ID, parent="PCIIDE\\IDECHANNEL\\4&1",
                   friendly_name="Wine disk", description="Disk drive"),
        ])
        self.assertEqual(self.run_worker("-s", "E:"), [])
        parents = self.pnp.calls("CM_Get_Parent")
        self.assertEqual(len(parents), 1)  # through WMI the parent only

    def test_a_stick_that_has_gone_gets_no_request(self):
        self.stick_on("E")
        self.pnp.describe(sim.usb_stick(present=False))
        self.assertEqual(self.run_worker("-s", "E:"), [])

    def test_a_letter_that_does_not_resolve_opens_no_window_and_makes_no_request(self):
        self.stick_on("E")
        self.pnp.describe([])
        self.assertEqual(self.run_worker("E:"), [])

    def test_an_optical_drive_is_looked_up_through_wmi_only(self):
        self.stick_on("E", "cdrom")
        # The registry would name a volume of the stick; optical drives never ask it.
        self.pnp.write_mounted_device("E", sim.VOLUME_LINK)
        self.pnp.describe(sim.stick_behind_volume())
        self.assertEqual(self.run_worker("-s", "E:"), [])
        # Wine's WMI knows the drive by its letter, under an id the tree lacks.
        [located] = self.pnp.calls("CM_Locate_DevNodeW")
        self.assertEqual(located["sim"], "0")
        self.assertTrue(located["id"].upper().startswith("IDE\\CDROM"), located["id"])

        # With that id in the tree, under a removable USB enclosure, it is ejected.
        self.pnp.clear_log()
        self.pnp.describe(sim.usb_stick(found_as=located["id"]))
        [request] = self.run_worker("-s", "E:")
        self.assert_silent_request(request)


class VetoInfoTest(DeviceTestCase):
    """The requests the banner will make: with veto buffers, repeated on one record."""

    def probe(self, *args):
        code, out = self.pnp.start(args, program=self.pnp.copy_tool("eject_probe"),
                                   capture=True).output(120)
        self.assertEqual(code, 0)
        return [line.split("\t") for line in out.splitlines()]

    def test_a_veto_fills_the_buffers_within_their_room_and_is_cleared_before_the_next(self):
        self.stick_on("E")
        long_name = "\\Device\\HarddiskVolume3\\" + "x" * 400
        self.pnp.describe(sim.usb_stick(vetoes=1, veto_type=6, veto_name=long_name))
        resolved, first, second = self.probe("E", "1", "2")
        self.assertEqual(resolved, ["resolved 1", sim.USB_STICK_ID, "SanDisk Cruzer USB Device",
                                    "USB Mass Storage Device"])
        # Refused: the type, and the name cut to the 260 units of its buffer.
        self.assertEqual(first, ["eject 1", "0", "6", long_name[:259], "ok"])
        # Accepted: nothing of the earlier veto is left.
        self.assertEqual(second, ["eject 2", "1", "0", "", "ok"])
        requests = self.pnp.eject_requests()
        self.assertEqual([(r["veto_type_buffer"], r["veto_name_buffer"], r["name_length"])
                          for r in requests], [("1", "1", "260")] * 2)
        # Each request made a set of its own.
        sets = self.pnp.calls("SetupDiGetClassDevsW")
        self.assertEqual(len(sets), 3)  # the session's, then one per request


class UnopenableVolumeTest(DeviceTestCase):
    def traced_run(self, letter):
        """Runs the silent worker with WMI and registry calls traced; returns
        the trace lines of its own process."""
        self.run_tool("probe", "alive", "0")  # services are up before the traced run
        self.pnp.clear_log()
        env = dict(self.wine.env)
        env.update(self.pnp.env())
        env["WINEDEBUG"] = "+pid,+wbemprox,+reg"
        run = subprocess.run(["wine", self.pnp.program, "-s", letter + ":"], env=env,
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE, timeout=120)
        self.assertEqual(run.returncode, 0)
        # Trace lines begin with the process id in hex; the layer logged it.
        prefix = "%04x:" % int(self.pnp.calls()[0]["pid"])
        lines = run.stderr.decode("utf-8", "replace").splitlines()
        return [line for line in lines if line.startswith(prefix)]

    @staticmethod
    def touched(trace):
        queries = [l for l in trace if "wbem_services_ExecQuery" in l]
        registry = [l for l in trace if "MountedDevices" in l and "NtOpenKey" in l]
        return queries, registry

    def test_a_letter_whose_volume_cannot_be_opened_asks_neither_wmi_nor_the_registry(self):
        self.pnp.describe(sim.stick_behind_volume())
        # R: is no drive at all.
        queries, registry = self.touched(self.traced_run("R"))
        self.assertEqual((queries, registry), ([], []))
        self.assertEqual([c for c in self.pnp.calls() if c["function"].startswith("CM_")], [])
        self.assertEqual([c["function"] for c in self.pnp.calls()],
                         ["SetupDiGetClassDevsW", "SetupDiDestroyDeviceInfoList"])

        # The same trace shows both for a disk that WMI does not know, so the
        # absence above means something.
        self.stick_on("E")
        self.pnp.write_mounted_device("E", sim.VOLUME_LINK)
        queries, registry = self.touched(self.traced_run("E"))
        self.assertEqual(len(queries), 1)
        self.assertTrue(registry)
        self.assertEqual(len(self.pnp.eject_requests()), 1)


if __name__ == "__main__":
    unittest.main()
