"""Shared by the release checks: unpacking an archive into a folder that is then mounted read-only for the
program (a private mount namespace, `unshare -m`), a listing to prove nothing was written beside the
executable, the pointer's cursor as X draws it (XFixes), to tell a hidden cursor from a shown one, and a
program's run on a virtual screen that is always cleaned up and whose failure carries what it said."""
import contextlib
import ctypes
import os
import subprocess
import sys
import time
import types

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))

# wait_until is the end-to-end tests' own, for the checks to wait the same way.
from harness import Failure, kill_process_group, note, run_tool, stop_process, wait_until  # noqa: E402, F401

# Run with the folder $1 read-only, then the command after it. Set-up lines (HIDE) run before, as root of
# the namespace: what they mount is seen by the program only.
READ_ONLY_RUN = """set -e
{hide}
mount --bind "$1" "$1"
mount -o remount,bind,ro "$1"
if touch "$1/.doz-write-probe" 2>/dev/null; then echo "the folder $1 is writable" >&2; exit 97; fi
shift
exec "$@"
"""


def read_only_command(folder, command, hide=""):
    return ["unshare", "--mount", "--propagation", "private", "sh", "-c", READ_ONLY_RUN.format(hide=hide), "sh",
            folder] + command


def listing(folder):
    """Every path under `folder` with its size and modification time."""
    found = []
    for root, dirs, files in os.walk(folder):
        for name in sorted(dirs + files):
            path = os.path.join(root, name)
            info = os.lstat(path)
            found.append((os.path.relpath(path, folder), info.st_size, info.st_mtime_ns))
    return sorted(found)


class _CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def cursor_ink(display):
    """How many pixels of the cursor X shows now are not fully transparent (0: the cursor is hidden)."""
    x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
    xfixes = ctypes.cdll.LoadLibrary("libXfixes.so.3")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    # A busy machine's X server may turn a connection away for a moment: a few tries.
    for _ in range(10):
        connection = x11.XOpenDisplay(display.encode())
        if connection:
            break
        time.sleep(0.5)
    else:
        raise Failure(f"cannot open X display {display}")
    try:
        image = xfixes.XFixesGetCursorImage(connection)
        if not image:
            raise Failure("XFixesGetCursorImage gave nothing")
        cursor = image.contents
        ink = sum(1 for i in range(cursor.width * cursor.height) if (cursor.pixels[i] >> 24) & 0xFF)
        x11.XFree(image)
        return ink
    finally:
        x11.XCloseDisplay(connection)


def point_at_centre(env, width, height):
    run_tool(["xdotool", "mousemove", str(width // 2), str(height // 2)], env)


class ProgramFailure(Failure):
    """A check's failure with the output of the program it ran: `reason` is the failure itself, `output`
    everything the program said."""

    def __init__(self, reason, output):
        super().__init__(f"{reason}; program output: {output[-2000:]}")
        self.reason, self.output = reason, output


@contextlib.contextmanager
def program_run(log_path, screen):
    """A program's run on the virtual screen `screen`, its output going to `run.log` (at log_path). However
    the block ends, the program (`run.process`, its whole group), whatever `run.also_stop` names and then the
    screen are stopped; a Failure inside it becomes a ProgramFailure with the program's output."""
    run = types.SimpleNamespace(process=None, also_stop=[], log=None)
    try:
        try:
            with open(log_path, "a") as run.log:
                yield run
        finally:
            if run.process is not None:
                kill_process_group(run.process)
            for stop in run.also_stop:
                stop()
            stop_process(screen)
    except Failure as failure:
        with open(log_path, errors="replace") as said:
            raise ProgramFailure(failure, said.read())


def run_checked(name, function):
    """Runs one check; prints PASSED or FAILED with the reason, and returns the exit code for the shell."""
    try:
        detail = function()
    except (Failure, subprocess.TimeoutExpired, OSError) as failure:
        print(f"CHECK FAILED: {name}: {failure}", flush=True)
        return 1
    print(f"CHECK PASSED: {name}" + (f": {detail}" if detail else ""), flush=True)
    return 0


def escape_ends(process, window, env, limit_s):
    """Escape in the demo's window must end the program with exit code 0 within limit_s."""
    run_tool(["xdotool", "windowfocus", "--sync", window], env)
    run_tool(["xdotool", "key", "Escape"], env)
    try:
        code = process.wait(timeout=limit_s)
    except subprocess.TimeoutExpired:
        raise Failure(f"still running {limit_s} s after Escape")
    if code != 0:
        raise Failure(f"exit code {code} after Escape")
