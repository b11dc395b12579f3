#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are small, valid examples of what each target reads (see the
input format at the top of each fuzz/<target>_fuzz.cpp); the fuzzer
mutates them. Run again after changing an input format.
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
seeds = {}


def seed(target, name, data):
    seeds.setdefault(target, []).append((name, data if isinstance(data, bytes) else data.encode("utf-8")))


def units(text):
    """A text in the targets' line encoding: ASCII as bytes, the rest escaped."""
    out = bytearray()
    for ch in text:
        for unit in struct.unpack("<%dH" % (len(ch.encode("utf-16-le")) // 2), ch.encode("utf-16-le")):
            if unit < 0x80 and unit != 0x0A:
                out.append(unit)
            else:
                out += bytes([0xFF]) + struct.pack("<H", unit)
    return bytes(out)


def lines(*texts):
    return b"\n".join(units(t) for t in texts)


# Option parsing: one argument per line, the program's own path first.
seed("options", "letters-in-name", lines("E:\\Tarnwick-ck.exe"))
seed("options", "command-line", lines("C:\\Temp\\Tarnwick.exe", "-s", "/C", "F:", "--delete-executable"))
seed("options", "waiter", lines("Tarnwick.exe", "-p2147483647", "-p2147483648", "-P12", "/x"))
seed("options", "combined-and-null", lines("Tarnwick-xyz.exe.exe", "-sc", "\x01", "", "-", "/"))

# Mounted-devices values: a growth byte, then the value's data.
link = "\\??\\STORAGE#RemovableMedia#7&1f2a3b4c&0&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}"
seed("mounted_device_link", "link", b"\x00" + link.encode("utf-16-le"))
seed("mounted_device_link", "underscore-link-grown", b"\x05" + ("_??_USBSTOR#Disk&Ven_X#0001#{guid}").encode("utf-16-le"))
seed("mounted_device_link", "no-hash", b"\x00" + "\\??\\Volume".encode("utf-16-le"))
seed("mounted_device_link", "disk-signature", b"\x00" + bytes.fromhex("a1b2c3d4 00 7e 00 00 00 00 00 00"))

# Handle tables: a form and pointer-size byte, then the filled bytes.
def compact(pointer, entries, count=None):
    head = struct.pack("<I", len(entries) if count is None else count) + b"\0" * (pointer - 4)
    size = 24 if pointer == 8 else 16
    body = b"".join(struct.pack("<IBBH", pid, 37, 0, handle).ljust(size, b"\xaa") for pid, handle in entries)
    return bytes([pointer << 1]) + head + body


def extended(pointer, entries, count=None):
    fmt = "<Q" if pointer == 8 else "<I"
    head = struct.pack(fmt, len(entries) if count is None else count) + b"\0" * pointer
    body = b"".join(struct.pack(fmt, 0xFFFF0000) + struct.pack(fmt, pid) + struct.pack(fmt, handle)
                    + b"\x89\x00\x12\x00" + b"\0" * 12 for pid, handle in entries)
    return bytes([pointer << 1 | 1]) + head + body


for pointer in (4, 8):
    seed("handle_table", "compact-%d" % pointer, compact(pointer, [(4, 0x10), (1234, 0x2c4)]))
    seed("handle_table", "extended-%d" % pointer, extended(pointer, [(4, 0x10), (70000, 0x1c40)]))
    seed("handle_table", "count-too-large-%d" % pointer, extended(pointer, [(8, 4)], count=1000))
seed("handle_table", "cut-entry", compact(8, [(4, 0x10), (5, 0x14)])[:-5])

# Object records: flags, type record length, type record, name record.
def record(text, offset=16, extra=b""):
    raw = text.encode("utf-16-le")
    return struct.pack("<HHi", len(raw), len(raw) + 2, offset) + b"\0" * 8 + raw + b"\0\0" + extra


file_type = record("File")
name = record("\\Device\\HarddiskVolume7\\Documents\\report.docx")
seed("handle_records", "file", bytes([0x50, len(file_type)]) + file_type + name)
seed("handle_records", "pipe", bytes([0x51, len(file_type)]) + file_type + name)
seed("handle_records", "directory", bytes([0x50, len(record("Directory"))]) + record("Directory") + name)
seed("handle_records", "text-outside", bytes([0x50, len(file_type)]) + file_type + record("x" * 20, offset=400))
seed("handle_records", "text-before", bytes([0x50, len(file_type)]) + file_type + record("abc", offset=-64))

# Snapshots: answers (selector, returned, clock step, unused), then the table.
def answers(*items):
    return bytes([len(items)]) + b"".join(struct.pack("<BIHx", s, r, t) for s, r, t in items)


table = compact(8, [(4, 0x10), (1234, 0x2c4)])[1:]
seed("handle_snapshot", "first-try", answers((0, len(table), 1)) + table)
seed("handle_snapshot", "grows", answers((1, 200000, 5), (1, 900000, 5), (0, 900000, 5)) + table)
seed("handle_snapshot", "compact-only", answers((4, 0, 1), (0, 40, 1)) + table)
seed("handle_snapshot", "too-slow", answers((2, 0, 300), (3, 70000, 300), (0, 10, 1)))
seed("handle_snapshot", "no-memory", answers((0x81, 0, 0)))

# Message formats: capacity (16 bits), text limit, format line, argument lines.
def message(capacity, limit, fmt, *args):
    return struct.pack("<HB", capacity - 1, limit) + lines(fmt, *args)


seed("message_format", "blocker", message(256, 255, "'%s' in %c: drive is opened by '%s'. (PID=%d)\nPlease close.",
                                           "sreport.docx", "cE", "sWINWORD.EXE", "d-4242"))
seed("message_format", "short-buffer", message(20, 255, "The '%s' device can now be safely removed.",
                                                "sUSB Flash Memory With A Long Name"))
seed("message_format", "limit", message(100, 8, "%s %s %% %q %", "sabcdefghijkl", "n", "s\U0001F600\U0001F600\U0001F600"))
seed("message_format", "japanese", message(64, 255, "%c: ドライブの '%s' (PID=%d) が実行中です。", "cF", "s😀メモ帳.exe", "d2147483647"))

# Notices: flags, pid, letter, capacity, then the four paths.
def notice(flags, pid, letter, capacity, *paths):
    return struct.pack("<BIHH", flags, pid, ord(letter), capacity - 1) + lines(*paths)


seed("notices", "holding", notice(0xE4, 4242, "E", 256, "C:\\Windows\\notepad.exe", "E:\\notes\\todo.txt",
                                  "Kingston DataTraveler 3.0 USB Device", "c:\\windows\\NOTEPAD.EXE"))
seed("notices", "running-ja", notice(0xF7, 0xFFFFFFFF, "F", 512, "F:\\tools\\" + "x" * 120 + ".exe", "",
                                     "USB メモリ", "F:\\tools\\other.exe"))
seed("notices", "root", notice(0x80, 8, "G", 40, "G:\\", "G:\\", "", ""))

# Explorer addresses: flags, drive letter, one address per line.
def shell(flags, letter, *addresses):
    return bytes([flags]) + struct.pack("<H", ord(letter)) + lines(*addresses)


seed("explorer_address", "move", shell(0, "E", "file:///E:/Photos", "file:///C:/Users", "file:///e:", "\x01", "\x02"))
seed("explorer_address", "close", shell(1, "e", "file:///E:/a", "file:///E:/b", "http://E:/", "file:///E:"))
seed("explorer_address", "short", shell(2, "Z", "file:///", "file:///Z", "FILE:///Z:/"))

# Banner events: settings, work area, banner count, then events.
def banner(flags, events, area=(0, 0, 1280, 1000), count=1):
    return bytes([flags]) + struct.pack("<5h", *area, count) + bytes(events)


pulse = [0] * 15
seed("banner_machine", "ask-first-ok-success", banner(1, [6, 0, 0, 0] + [0] * 4 + [9, 0, 0]))
seed("banner_machine", "refused-retries-cancel", banner(0, [0, 0, 1] + pulse + [0, 1, 0, 1] + pulse + [0, 1] + [7, 1] + [0] * 40))
seed("banner_machine", "system-notices", banner(2, [0, 0, 1, 0, 1, 6, 0, 0, 0, 0] + [0] * 40))
seed("banner_machine", "removed-after-success", banner(0, [0, 0, 0, 8, 1, 0, 8, 0] + [0] * 40))
seed("banner_machine", "prompt-and-shutdown", banner(4, [0, 0, 1] + pulse + [0, 1, 3, 0, 11, 2, 0, 0, 1] + [10, 0, 2, 0, 0, 1] + [13, 1, 14, 0, 0, 0, 0, 10, 12, 69]))

# Temporary copy: header (letters, drive, pid, code page), then the lines
# path, batch, folder, short form, ANSI text, name script, write script,
# prefix, extension.
def relaunch(letters, drive, pid, page, *texts):
    return bytes([letters]) + struct.pack("<HIB", ord(drive), pid, page) + lines(*texts)


seed("relaunch_command", "plain", relaunch(0, "E", 704, 0, "C:\\Users\\Tom\\Temp\\TWK11b1.exe",
                                            "C:\\Users\\Tom\\Temp\\TWK11b2.bat", "C:\\Users\\Tom\\Temp\\",
                                            "", "DEL \"x\"\r\n"))
seed("relaunch_command", "letters-operators", relaunch(0xBF, "e", 4294967295, 0x04,
                                                        "C:\\Tom & Jerry (work) 100%\\TWKa.exe", "TWKb.bat",
                                                        "C:\\Tom & Jerry (work) 100%\\", "C:\\TOMJER~1\\TWKA.EXE",
                                                        "abc", "\x00\x01\x00\x01\x01", "\x05\x09\x02"))
seed("relaunch_command", "not-carried", relaunch(0x80, "F", 7, 0x05, "C:\\T\u00fcr\\TWKa.exe", "TWKb.bat",
                                                  "c:\\t\u00fcr\\", "C:\\T~1\\TWKA.EXE",
                                                  "T\u00fcr \u65e5\U0001F600", "\x02\x00\x03\x00\x01",
                                                  "\x01\x05\x03", "TWK", ".bat"))
seed("relaunch_command", "long-percent", relaunch(0x3F, "Z", 1, 0x12, "C:\\" + "%" * 244 + "\\TWKffff.exe",
                                                   "TWKfffe.bat", "C:\\" + "%" * 244 + "\\", "",
                                                   "x" * 1100, "\x07\x0b\x0f", "\x0d\x11\x00\x02"))
seed("relaunch_command", "names-taken", relaunch(0x40, "G", 12, 0x18, "G:\\Tarnwick.exe", "TWK1.bat",
                                                  "C:\\Tmp\\", "", "a\U0001F600b", "\x06" + "\x02\x00" * 20 + "\x0b",
                                                  "", "TWK", ".exe"))

def loader_list(bits64, paths, stop=0):
    """A process's memory from 0x10000: the environment block, the loader
    data, one record per path linked in load order back to the list head,
    and the paths' texts."""
    base, pointer = 0x10000, 8 if bits64 else 4
    ptr = "<Q" if bits64 else "<I"
    block, loader = base, base + 0x40
    head = loader + (0x10 if bits64 else 0x0C)
    length_at = 0x48 if bits64 else 0x24
    record_bytes = length_at + 2 * pointer
    first_record = base + 0x80
    texts_at = first_record + record_bytes * len(paths)
    memory = bytearray(texts_at - base)
    struct.pack_into(ptr, memory, (0x18 if bits64 else 0x0C), loader)
    struct.pack_into(ptr, memory, head - base, first_record if paths else head)
    texts = bytearray()
    for i, path in enumerate(paths):
        at = first_record + i * record_bytes - base
        following = first_record + (i + 1) * record_bytes if i + 1 < len(paths) else head
        text = path.encode("utf-16-le")
        struct.pack_into(ptr, memory, at, following)
        struct.pack_into("<HH", memory, at + length_at, len(text), len(text) + 2)
        struct.pack_into(ptr, memory, at + length_at + pointer, texts_at + len(texts))
        texts += text + b"\0\0"
    return bytes([(1 if bits64 else 0) | stop << 1]) + bytes(memory) + bytes(texts)


for bits64 in (False, True):
    name = "64" if bits64 else "32"
    seed("loader_list", "modules-" + name, loader_list(bits64, ["C:\\Apps\\tool.exe", "C:\\Windows\\ntdll.dll",
                                                                "E:\\plugins\\codec.dll"]))
    seed("loader_list", "stop-" + name, loader_list(bits64, ["C:\\a.exe", "E:\\b.dll"], stop=1))
    seed("loader_list", "empty-" + name, loader_list(bits64, []))

for target, files in seeds.items():
    folder = os.path.join(HERE, "corpus", target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in files:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
print("seeds written for", len(seeds), "targets")
