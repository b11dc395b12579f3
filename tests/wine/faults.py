"""What the fault, race and soak tests share: the real Tarnwick.exe started
from a simulated stick (the program and the simulated Plug and Play layer on
the drive, a private temporary folder that holds the layer too), the
processes of the prefix, and sticks that are distinct devices.

Wine's WMI gives every disk the same id, so two drives found through WMI are
one device. `distinct_sticks` gives each drive a device of its own through
the registry route instead: its SYSTEM\\MountedDevices value names a volume
of its own tree (see simulated_pnp.py).
"""
import os

from banner_run import BannerRunCase, sim  # noqa: F401
from harness import read_text, wait_until  # noqa: F401

VOLUME_CLASS = "{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}"
WM_KEYDOWN = 0x0100
WM_COMMAND = 0x0111
VK_ESCAPE = 0x1B
IDYES = 6


def stick_ids(number):
    """Ids of the USB device, its disk and its volume, and the volume's link."""
    return {
        "usb": "USB\\VID_0781&PID_5567\\4C53%04d" % number,
        "disk": "USBSTOR\\DISK&VEN_SANDISK&PROD_CRUZER\\4C53%04d&0" % number,
        "volume": "STORAGE\\REMOVABLEMEDIA\\7&1F2A3B4C&%d&RM" % number,
        "link": "\\??\\STORAGE#RemovableMedia#7&1f2a3b4c&%d&RM#%s" % (number, VOLUME_CLASS),
    }


def stick_tree(number, **usb):
    """The tree of stick `number` as the registry route sees it: volume ->
    disk -> USB device (the removable one, changed by `usb`)."""
    ids = stick_ids(number)
    settings = dict(parent=sim.HUB_ID, removable=True, description="USB Mass Storage Device")
    settings.update(usb)
    return [
        sim.Device(ids["usb"], **settings),
        sim.Device(ids["disk"], parent=ids["usb"], friendly_name="Stick %d" % number,
                   description="Disk drive"),
        sim.Device(ids["volume"], parent=ids["disk"], description="Generic volume"),
    ]


class FaultCase(BannerRunCase):
    """A banner run case with the program on the stick and sticks that are
    distinct devices."""

    def program_on(self, folder, name="Tarnwick.exe"):
        """Puts the program and the layer on a drive's host folder."""
        self.copy_program(folder, name)
        self.pnp.install_into(folder)

    def distinct_sticks(self, letters, **usb_by_letter):
        """Maps each letter to a stick of its own; returns {letter: host folder}.
        `usb_by_letter` changes a stick's USB device: E={"eject_ms": 500}."""
        folders = {}
        for letter in letters:
            folders[letter] = self.map_drive(letter)
            self.pnp.define_drive(letter, folders[letter])
        # The mount manager rewrote the values when it defined the drives.
        for number, letter in enumerate(letters, 1):
            self.pnp.write_mounted_device(letter, stick_ids(number)["link"])
        self.describe_sticks(letters, **usb_by_letter)
        return folders

    def describe_sticks(self, letters, **usb_by_letter):
        tree = [sim.Device(sim.HUB_ID, description="USB Root Hub")]
        for number, letter in enumerate(letters, 1):
            tree += stick_tree(number, **usb_by_letter.get(letter, {}))
        self.pnp.describe(tree)

    # --- processes of the prefix ---

    def processes(self):
        """(pid, parent pid, file name) of every Windows process of the prefix."""
        code, out = self.run_tool("processes", "list")
        self.assertEqual(code, 0)
        rows = []
        for line in out.splitlines():
            parts = line.split(None, 2)
            if len(parts) == 3:
                rows.append((int(parts[0]), int(parts[1]), parts[2].strip()))
        return rows

    def program_processes(self):
        """Processes running the program: from the stick or a TWK copy."""
        return [p for p in self.processes()
                if p[2].upper().startswith(("TWK", "TARNWICK"))]

    def kill(self, pid):
        self.assertEqual(self.run_tool("processes", "kill", pid)[0], 0, "could not end %s" % pid)

    def wait_files(self, temp, expected, what):
        wait_until(lambda: sorted(os.listdir(temp)) == sorted(expected), 120, what)
