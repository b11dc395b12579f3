"""Registry changes that the Explorer release tests make in the test prefix,
each put back when the test is done.

- `overridden_value`: a registry value set for the duration of a `with`
  block and restored (or deleted, when it did not exist) afterwards, also
  when the block fails.
- `simulated_shell_windows`: the simulated shell windows collection
  (fakeshell/fake_shell_windows.dll) registered as the in-process server of
  CLSID_ShellWindows. Wine's COM reads only HKLM\\Software\\Classes.
- `unmanaged_windows`: the X11 driver's Managed=N, so that closing a window
  takes milliseconds instead of the two seconds Wine waits for a window
  manager. Read by each process when it starts.
"""
import contextlib
import subprocess
import tempfile

SHELL_WINDOWS_SERVER = (r"HKLM\Software\Classes\CLSID"
                        r"\{9BA05972-F6A8-11CF-A442-00A0C90A8F39}\InprocServer32")
SYSTEM_SHELL_WINDOWS_DLL = r"C:\windows\system32\ieframe.dll"
X11_DRIVER = r"HKCU\Software\Wine\X11 Driver"
FAKE_DLL_NAME = "fake_shell_windows.dll"


def _reg(env, *args):
    """Runs reg.exe; returns (exit code, output text)."""
    # Output goes through a file, not a pipe: Wine's own processes, started by
    # the first program of a session, would inherit a pipe and keep it open.
    with tempfile.TemporaryFile() as out:
        code = subprocess.run(["wine", "reg"] + list(args), env=env, stdin=subprocess.DEVNULL,
                              stdout=out, stderr=subprocess.DEVNULL, timeout=120).returncode
        out.seek(0)
        return code, out.read().decode("utf-8", "replace")


def read_value(env, key, name):
    """The value's text, or None when it does not exist (name None: the default value)."""
    code, text = _reg(env, "query", key, *(["/ve"] if name is None else ["/v", name]))
    if code != 0:
        return None
    wanted = "(Default)" if name is None else name
    for line in text.splitlines():
        parts = [p for p in line.strip().split("    ") if p]
        if len(parts) >= 2 and parts[0].lower() == wanted.lower() and parts[1].startswith("REG_"):
            return parts[2].strip() if len(parts) > 2 else ""
    return None


def write_value(env, key, name, data):
    code, _ = _reg(env, "add", key, *(["/ve"] if name is None else ["/v", name]), "/d", data, "/f")
    if code != 0:
        raise AssertionError("could not set %s %s (exit code %d)" % (key, name, code))


def delete_value(env, key, name):
    _reg(env, "delete", key, *(["/ve"] if name is None else ["/v", name]), "/f")


@contextlib.contextmanager
def overridden_value(env, key, name, data, stale=None, original_if_stale=None):
    """Sets key\\name to data while the block runs.

    A value found to contain `stale` (left by a run that was killed before
    it could restore it) is taken to stand for `original_if_stale`.
    """
    original = read_value(env, key, name)
    if stale and original is not None and stale.lower() in original.lower():
        original = original_if_stale
    write_value(env, key, name, data)
    try:
        yield
    finally:
        if original is None:
            delete_value(env, key, name)
        else:
            write_value(env, key, name, original)


def simulated_shell_windows(env, dll_windows_path):
    return overridden_value(env, SHELL_WINDOWS_SERVER, None, dll_windows_path,
                            stale=FAKE_DLL_NAME, original_if_stale=SYSTEM_SHELL_WINDOWS_DLL)


def unmanaged_windows(env):
    return overridden_value(env, X11_DRIVER, "Managed", "N")
