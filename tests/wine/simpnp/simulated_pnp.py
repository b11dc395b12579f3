"""The simulated Plug and Play layer, as whole-program tests use it.

Wine has no removable devices, so a test runs a copy of Tarnwick.exe from a
folder that also holds the test-only setupapi.dll (built from simpnp.cpp, whose
head comment describes the device tree format and the call log) and
wsetupapi.dll, Wine's own setupapi renamed. The environment that `env()`
gives selects that DLL (setupapi=n,b) and names the tree and the log; child
processes inherit it, so a worker started by a launcher sees the same tree
as long as the DLLs sit beside it too (`install_into` puts them anywhere,
the prefix's temporary folder for instance).

    pnp = SimulatedPnp(scene)                      # scene: a harness.Scene / WineTestCase
    self.addCleanup(pnp.close)                     # removes the drives it defined
    pnp.define_drive("E", scene.map_drive("E"))    # E: as a volume Wine's storage stack knows
    pnp.describe(usb_stick())                      # the device tree, rewritable at any time
    run = pnp.start(["-s", "E:"])
    run.wait_exit(60)
    [request] = pnp.calls("CM_Request_Device_EjectW")
    request["veto_name_buffer"] == "0"

Wine's WMI reports every disk with PNPDeviceID "IDE\\Disk\\VEN_WINE", so a
tree that contains a node of that id is found through WMI; without one,
resolution falls back to the drive's SYSTEM\\MountedDevices value, which
`write_mounted_device` sets (after `define_drive`, which rewrites it).
"""
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))

# Ids of the standard simulated stick.
WINE_DISK_ID = "IDE\\Disk\\VEN_WINE"
USB_STICK_ID = "USB\\VID_0781&PID_5567\\4C530001"
USB_DISK_ID = "USBSTOR\\DISK&VEN_SANDISK&PROD_CRUZER\\4C530001&0"
VOLUME_ID = "STORAGE\\REMOVABLEMEDIA\\7&1F2A3B4C&0&RM"
VOLUME_LINK = "\\??\\STORAGE#RemovableMedia#7&1f2a3b4c&0&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}"
HUB_ID = "USB\\ROOT_HUB20\\4&2F3B2C1D&0"

# Result codes of the configuration manager in the log.
CR_SUCCESS = "0x0"
CR_REMOVE_VETOED = "0x17"


class Device:
    """One node of the simulated tree; None leaves a property out."""

    def __init__(self, instance_id, parent=None, removable=False, present=True,
                 friendly_name=None, description=None, vetoes=0, veto_type=None, veto_name=None,
                 eject_ms=0, veto_while_open=None):
        self.instance_id = instance_id
        self.parent = parent
        self.removable = removable
        self.present = present
        self.friendly_name = friendly_name
        self.description = description
        self.vetoes = vetoes          # number of first requests refused, or "all"
        self.veto_type = veto_type
        self.veto_name = veto_name
        self.eject_ms = eject_ms      # how long an eject request takes
        self.veto_while_open = veto_while_open  # refused while this file is held open

    def text(self):
        lines = ["[%s]" % self.instance_id]
        if self.parent:
            lines.append("parent = %s" % self.parent)
        lines.append("removable = %d" % bool(self.removable))
        lines.append("present = %d" % bool(self.present))
        if self.friendly_name is not None:
            lines.append("friendly_name = %s" % self.friendly_name)
        if self.description is not None:
            lines.append("description = %s" % self.description)
        if self.vetoes:
            lines.append("vetoes = %s" % self.vetoes)
        if self.veto_type is not None:
            lines.append("veto_type = %d" % self.veto_type)
        if self.veto_name is not None:
            lines.append("veto_name = %s" % self.veto_name)
        if self.veto_while_open:
            lines.append("veto_while_open = %s" % self.veto_while_open)
        if self.eject_ms:
            lines.append("eject_ms = %d" % self.eject_ms)
        return "\n".join(lines) + "\n"


def usb_stick(found_as=WINE_DISK_ID, **stick):
    """A USB stick under a hub: the removable USB device and its disk drive
    node `found_as` (by default the id Wine's WMI reports for every disk).
    Keyword arguments change the USB device (vetoes, veto_name, present...)."""
    usb = dict(parent=HUB_ID, removable=True, description="USB Mass Storage Device")
    usb.update(stick)
    return [
        Device(HUB_ID, description="USB Root Hub"),
        Device(USB_STICK_ID, **usb),
        Device(found_as, parent=USB_STICK_ID, friendly_name="SanDisk Cruzer USB Device",
               description="Disk drive"),
    ]


def stick_behind_volume(**stick):
    """The stick as the registry route sees it: volume -> disk -> USB device,
    only the USB device removable; no node that WMI's disk id would locate."""
    return usb_stick(found_as=USB_DISK_ID, **stick) + [
        Device(VOLUME_ID, parent=USB_DISK_ID, description="Generic volume")]


def parse_log_line(line):
    fields = line.rstrip("\n").split("\t")
    call = {"function": fields[0]}
    for field in fields[1:]:
        key, _, value = field.partition("=")
        call[key] = value
    return call


class SimulatedPnp:
    """A folder with a copy of Tarnwick.exe and the layer, a tree and a log."""

    def __init__(self, scene, devices=()):
        self.scene = scene
        self.folder = scene.make_folder("tarnwick-simpnp-")
        self.tree_path = os.path.join(self.folder, "devices.txt")
        self.log_path = os.path.join(self.folder, "calls.log")
        self.program = scene.copy_program(self.folder)
        self.install_into(self.folder)
        self._defined = []
        self.describe(devices)

    # --- the layer ---

    @staticmethod
    def dll_folder(scene):
        return os.path.join(scene.wine.build_dir, "simpnp")

    def install_into(self, folder):
        """Puts setupapi.dll and wsetupapi.dll into a host folder."""
        source = self.dll_folder(self.scene)
        for name in ("setupapi.dll", "wsetupapi.dll"):
            path = os.path.join(source, name)
            if not os.path.exists(path):
                raise AssertionError("%s is not built (tests/wine/simpnp)" % path)
            shutil.copyfile(path, os.path.join(folder, name))

    def describe(self, devices):
        """Writes the device tree; the layer reads it again on every call."""
        with open(self.tree_path, "w", encoding="utf-8") as f:
            f.write("".join(d.text() for d in devices))

    def env(self):
        overrides = self.scene.wine.env.get("WINEDLLOVERRIDES", "")
        return {
            "WINEDLLOVERRIDES": (overrides + ";" if overrides else "") + "setupapi=n,b",
            "TARNWICK_SIMPNP_DEVICES": self.scene.windows_path(self.tree_path),
            "TARNWICK_SIMPNP_LOG": self.scene.windows_path(self.log_path),
        }

    def start(self, args, extra_env=None, program=None, capture=False):
        """Starts the copy of Tarnwick.exe beside the layer (or another program
        copied there with `copy_tool`)."""
        env = self.env()
        env.update(extra_env or {})
        return self.scene.start(program or self.program, list(args), env=env, capture=capture)

    def copy_tool(self, tool):
        """Copies a test-only program of the build beside the layer; returns its path."""
        target = os.path.join(self.folder, tool + ".exe")
        shutil.copyfile(self.scene.build_file(tool + ".exe"), target)
        return target

    # --- the log ---

    def calls(self, function=None):
        """Logged calls (dicts of the log's fields), optionally of one function."""
        try:
            with open(self.log_path, encoding="utf-8") as f:
                lines = f.readlines()
        except FileNotFoundError:
            return []
        calls = [parse_log_line(line) for line in lines if line.strip()]
        return [c for c in calls if function is None or c["function"] == function]

    def eject_requests(self):
        return self.calls("CM_Request_Device_EjectW")

    def clear_log(self):
        if os.path.exists(self.log_path):
            os.unlink(self.log_path)

    # --- drives and mounted devices ---

    def define_drive(self, letter, folder, kind="fixed"):
        """Makes `letter` a drive of the mount manager on a host folder:
        "fixed" or "removable" (a disk volume), or "cdrom"."""
        code, _ = self.scene.run_tool("mount_drive", "define", letter, folder, kind)
        if code != 0:
            raise AssertionError("mount_drive could not define %s: (%s)" % (letter, code))
        self._defined.append(letter)

    def write_mounted_device(self, letter, link=VOLUME_LINK, data=None):
        """Sets SYSTEM\\MountedDevices\\\\DosDevices\\X: to a link text
        (UTF-16, terminated) or to raw bytes. The mount manager rewrites these
        values when it starts or defines a drive: call this afterwards, while
        the wineserver keeps running."""
        if data is None:
            data = link.encode("utf-16-le") + b"\0\0"
        args = ["add", "HKLM\\SYSTEM\\MountedDevices", "/v", "\\DosDevices\\%s:" % letter,
                "/t", "REG_BINARY", "/d", data.hex(), "/f"]
        code, _ = self.scene.start("reg", args, capture=True).output()
        if code != 0:
            raise AssertionError("reg add failed with %s" % code)

    def close(self):
        """Removes the drives this layer defined (their type is kept by Wine otherwise)."""
        for letter in self._defined:
            self.scene.run_tool("mount_drive", "remove", letter)
        self._defined = []
