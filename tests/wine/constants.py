"""Values the whole-program tests share with the program and with Windows.

The names of the program's kernel objects and the banner's private messages
are read from the program's own headers, so that the tests and the program
cannot disagree about them.
"""
import os
import re

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def _read_header(relative_path):
    with open(os.path.join(SOURCE_DIR, relative_path), encoding="utf-8") as f:
        return f.read()


def _object_names():
    """kXxxName = L"..." definitions of base/object_names.h, by C++ name."""
    text = _read_header(os.path.join("base", "object_names.h"))
    return dict(re.findall(r'\b(k\w+Name)\[\]\s*=\s*L"([^"]*)"', text))


def _banner_messages():
    """WM_BANNER_... = 0x... definitions of ui/banner_messages.h, by C++ name."""
    text = _read_header(os.path.join("ui", "banner_messages.h"))
    return {name: int(value, 16)
            for name, value in re.findall(r"\b(WM_BANNER_\w+)\s*=\s*(0x[0-9A-Fa-f]+)", text)}


_NAMES = _object_names()
_MESSAGES = _banner_messages()

# Names the program gives its shared kernel objects.
LAUNCHER_MUTEX = _NAMES["kLauncherMutexName"]
STARTED_EVENT = _NAMES["kStartedEventName"]
BANNER_MUTEX = _NAMES["kBannerMutexName"]

# The banner's private messages.
WM_BANNER_SAFE_NOTICE = _MESSAGES["WM_BANNER_SAFE_NOTICE"]
WM_BANNER_BLOCKER_NOTICE = _MESSAGES["WM_BANNER_BLOCKER_NOTICE"]

# Windows' own values.
WM_CLOSE = 0x0010
NIN_BALLOONTIMEOUT = 0x404
NIN_BALLOONUSERCLICK = 0x405
