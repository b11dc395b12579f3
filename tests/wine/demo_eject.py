#!/usr/bin/env python3
"""Demonstration: the real Tarnwick.exe ejects a simulated USB stick under Wine.

    demo_eject.py [OUTPUT_FOLDER]

Defines drive E: on a temporary folder, puts the simulated Plug and Play
layer (tests/wine/simpnp) under a copy of Tarnwick.exe with a USB stick behind
E:, runs "Tarnwick.exe -s E:" and prints what the layer received: how the
drive was resolved and the eject request with its outcome. A second run
does the same for a stick that the system refuses to eject. The layer's call
logs are copied into OUTPUT_FOLDER.
"""
import os
import shutil
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "simpnp"))
import harness  # noqa: E402
import simulated_pnp as sim  # noqa: E402

RESULTS = {sim.CR_SUCCESS: "CR_SUCCESS", sim.CR_REMOVE_VETOED: "CR_REMOVE_VETOED"}


def describe_tree(devices):
    for device in devices:
        traits = ["removable" if device.removable else "not removable"]
        if device.friendly_name:
            traits.append('friendly name "%s"' % device.friendly_name)
        if device.description:
            traits.append('description "%s"' % device.description)
        if device.vetoes:
            traits.append('refuses %s request(s): veto type %s, "%s"'
                          % (device.vetoes, device.veto_type, device.veto_name))
        print("    %-50s %s" % (device.instance_id, ", ".join(traits)))


def report(pnp, started, code):
    print("  Tarnwick.exe -s E: ended with exit code %d after %.2f s"
          % (code, time.monotonic() - started))
    located = [c for c in pnp.calls("CM_Locate_DevNodeW") if c.get("sim") == "1"]
    if located:
        print("  Resolution: the drive's node is %s; its names and the device to eject were read"
              % located[0]["id"])
    for call in pnp.calls("SetupDiGetDeviceRegistryPropertyW"):
        if call.get("result") == "1":
            what = "friendly name" if call["property"] == "12" else "device description"
            print('    %s: "%s"' % (what, call["value"]))
    requests = pnp.eject_requests()
    print("  Eject requests received by the simulated layer: %d" % len(requests))
    for r in requests:
        buffers = ("veto buffers of %s units" % r["name_length"]
                   if r["veto_name_buffer"] == "1" else "no veto buffers")
        print("    CM_Request_Device_EjectW(%s, %s, flags %s)" % (r["id"], buffers, r["flags"]))
        outcome = RESULTS.get(r["result"], r["result"])
        if r["result"] == sim.CR_SUCCESS:
            print("      -> %s: accepted; the stick may be pulled out" % outcome)
        else:
            print('      -> %s: refused; the layer\'s veto: type %s, "%s"'
                  % (outcome, r.get("veto_type", "?"), r.get("veto_name", "")))
        if r["veto_name_buffer"] == "0":
            print("      Windows itself tells the user the outcome; Tarnwick shows nothing.")


def run_scene(wine, title, devices, out, log_name):
    scene = harness.Scene(wine)
    pnp = sim.SimulatedPnp(scene)
    try:
        print(title)
        stick = scene.map_drive("E")
        pnp.define_drive("E", stick)
        print("  E: is %s; the simulated device tree:" % stick)
        pnp.describe(devices)
        describe_tree(devices)
        started = time.monotonic()
        code = pnp.start(["-s", "E:"]).wait_exit(120)
        report(pnp, started, code)
        if os.path.exists(pnp.log_path):
            shutil.copyfile(pnp.log_path, os.path.join(out, log_name))
        return code == 0 and len(pnp.eject_requests()) == 1
    finally:
        scene.close()
        pnp.close()


def main():
    out = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "demo-output")
    os.makedirs(out, exist_ok=True)
    wine = harness.WineSession.get()
    ok = run_scene(wine, "Silent eject of a simulated USB stick behind E:", sim.usb_stick(), out,
                   "eject-accepted-calls.log")
    print()
    ok &= run_scene(wine, "Silent eject of a stick that is still in use",
                    sim.usb_stick(vetoes="all", veto_type=6,
                                  veto_name="\\Device\\HarddiskVolume3"),
                    out, "eject-vetoed-calls.log")
    print("\nCall logs of the simulated layer are in %s" % out)
    if not ok:
        print("The demonstration did not go as expected.")
        sys.exit(1)


if __name__ == "__main__":
    main()
