"""The private Wine prefixes that the Windows-side tests run in.

One prefix per build folder, created once (wineboot takes 5-20 s) and reused.
The crash dialog is turned off so that a crashing program ends instead of
waiting for a click. A test that runs beside others asks for a prefix of its
own by name (TARNWICK_PREFIX_NAME): a copy of the build folder's prefix, so
that tests can run at the same time, each with its own wineserver.
"""
import os
import subprocess
import shutil
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


def ensure_prefix(build_dir, name=None):
    """Creates the prefix when it does not exist yet; returns its path.

    With a name (by default TARNWICK_PREFIX_NAME, when set), the prefix is
    that test's own copy of the build folder's prefix.
    """
    if name is None:
        name = os.environ.get("TARNWICK_PREFIX_NAME")
    template = _template_prefix(build_dir)
    if not name:
        return template
    prefix = os.path.join(os.path.abspath(build_dir), "wineprefixes", name)
    os.makedirs(os.path.dirname(prefix), exist_ok=True)
    with open(prefix + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(os.path.join(prefix, ".tarnwick-ready")):
            return prefix
        shutil.rmtree(prefix, ignore_errors=True)
        partial = prefix + ".partial"
        shutil.rmtree(partial, ignore_errors=True)
        with open(template + ".lock", "w") as template_lock:
            fcntl.flock(template_lock, fcntl.LOCK_EX)
            subprocess.run(["cp", "-a", template, partial], check=True, timeout=300)
        os.rename(partial, prefix)
    return prefix


def _template_prefix(build_dir):
    """The build folder's own prefix, made on first use."""
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
