"""The private Wine prefix that every Windows-side test runs in.

One prefix per build folder, created once (wineboot takes 5-20 s) and reused.
The crash dialog is turned off so that a crashing program ends instead of
waiting for a click.
"""
import os
import subprocess
import fcntl

HERE = os.path.dirname(os.path.abspath(__file__))


def prefix_path(build_dir):
    return os.path.join(os.path.abspath(build_dir), "wineprefix")


def wine_env(prefix, extra=None):
    env = dict(os.environ)
    env["WINEPREFIX"] = prefix
    env.setdefault("WINEDEBUG", "-all")
    env["WINEDLLOVERRIDES"] = env.get("WINEDLLOVERRIDES", "mscoree,mshtml=")
    if extra:
        env.update(extra)
    return env


def ensure_prefix(build_dir):
    """Creates the prefix when it does not exist yet; returns its path."""
    prefix = prefix_path(build_dir)
    os.makedirs(os.path.dirname(prefix), exist_ok=True)
    with open(prefix + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        marker = os.path.join(prefix, ".tarnwick-ready")
        if os.path.exists(marker):
            return prefix
        env = wine_env(prefix)
        subprocess.run(["wineboot", "-i"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\WineDbg", "/v",
                        "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f"],
                       env=env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120)
        subprocess.run(["wineserver", "-w"], env=env, timeout=120)
        open(marker, "w").close()
    return prefix
