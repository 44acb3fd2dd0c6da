#!/usr/bin/env python3
"""A minimised window does not spin a core: the native executable on a small virtual X screen with a window
manager that can iconify it (openbox). The process's own CPU time is measured over a few seconds while the
window is shown and while it is iconified; iconified, the loop must wait instead of drawing. Restored, the
frame-rate title comes back, and Escape ends the run with code 0.

    minimised_test.py EXE

CPU time is the process's own (all its threads, from /proc): a busy machine can only lower it, so the bound
holds under load. Exits 77 (skipped) without openbox.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from harness import Failure, start_virtual_screen, wait_until

SKIPPED = 77
SCREEN = (160, 90)
WINDOW_LIMIT_S = 60
TITLE_LIMIT_S = 60
MEASURE_S = 4.0
# The idle loop wakes a hundred times a second to read messages and the clock: a few percent of one core
# at most. A loop that draws on llvmpipe takes a whole core or more.
MINIMISED_CPU_SHARE_LIMIT = 0.15
FRAME_RATE_TITLE = re.compile(r"^doz-engine  \d+ fps  frac \d  \[reload \d+\]$")


def note(text):
    print(f"[{time.monotonic():.2f}] {text}", flush=True)


def tool(args, env, timeout=10):
    result = subprocess.run(args, env=env, capture_output=True, text=True, timeout=timeout)
    return result.returncode, result.stdout.strip()


def cpu_seconds(pid):
    """User and system time of every thread of the process so far."""
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # Fields 14 and 15 of the whole line; the split above starts at field 3.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def cpu_share_over(pid, seconds):
    """The process's CPU time per wall second over the next `seconds`."""
    before, started = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    return (cpu_seconds(pid) - before) / (time.monotonic() - started)


def wait_for(what, limit_s, probe, process):
    return wait_until(probe, limit_s, f"no {what} within {limit_s} s", interval=0.1, process=process,
                      ended=lambda code: f"the program ended with code {code} while waiting for {what}")


def window_state(window, env):
    _, text = tool(["xprop", "-id", window, "WM_STATE", "_NET_WM_STATE"], env)
    return text


def run(exe, env):
    process = subprocess.Popen([exe], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    try:
        window = wait_for("window named doz-engine", WINDOW_LIMIT_S,
                          lambda: tool(["xdotool", "search", "--name", "^doz-engine"], env)[1].split("\n")[0],
                          process)

        def frame_rate_title():
            code, title = tool(["xdotool", "getwindowname", window], env)
            return code == 0 and FRAME_RATE_TITLE.match(title) is not None

        wait_for("frame-rate title", TITLE_LIMIT_S, frame_rate_title, process)
        shown = cpu_share_over(process.pid, MEASURE_S)
        note(f"shown: {shown:.2f} s of CPU per second")

        tool(["xdotool", "windowminimize", "--sync", window], env)
        state = wait_for("iconified window", 10,
                         lambda: next((s for s in [window_state(window, env)] if "Iconic" in s), None), process)
        note(f"window state: {' '.join(state.split())}")
        time.sleep(0.5)
        minimised = cpu_share_over(process.pid, MEASURE_S)
        note(f"minimised: {minimised:.3f} s of CPU per second"
             + (f" ({minimised / shown:.1%} of shown)" if shown > 0 else ""))
        if process.poll() is not None:
            raise Failure(f"the program ended with code {process.returncode} while minimised")
        if minimised > MINIMISED_CPU_SHARE_LIMIT:
            raise Failure(f"minimised, the process took {minimised:.2f} s of CPU per second "
                          f"(limit {MINIMISED_CPU_SHARE_LIMIT})")

        # Restored, it draws again: a new frame-rate title (written once a second while drawing).
        tool(["xdotool", "windowactivate", "--sync", window], env)
        tool(["xdotool", "set_window", "--name", "restored", window], env)
        wait_for("frame-rate title after restoring", TITLE_LIMIT_S, frame_rate_title, process)
        tool(["xdotool", "windowfocus", "--sync", window], env)
        tool(["xdotool", "key", "Escape"], env)
        try:
            code = process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            raise Failure("still running 10 s after Escape")
        if code != 0:
            raise Failure(f"exit code {code} after Escape")
    finally:
        if process.poll() is None:
            os.killpg(process.pid, 9)
            process.wait()


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    exe = sys.argv[1]
    if not os.path.isfile(exe):
        print(f"no executable at {exe}")
        return 1
    if shutil.which("openbox") is None:
        print("SKIPPED: no window manager that can iconify a window (install openbox)")
        return SKIPPED
    home = tempfile.mkdtemp(prefix="doz-minimised-")
    screen = manager = None
    try:
        screen, display = start_virtual_screen(*SCREEN)
        env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy", HOME=home, XDG_CONFIG_HOME=home)
        manager = subprocess.Popen(["openbox", "--sm-disable"], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        # The manager is ready once it has claimed the screen.
        wait_until(lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in tool(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env)[1], 10, "openbox did not start", interval=0.1)
        run(exe, env)
        note("passed")
        return 0
    except (Failure, subprocess.TimeoutExpired) as failure:
        note(f"FAILED: {failure}")
        return 1
    finally:
        for process in (manager, screen):
            if process is not None and process.poll() is None:
                process.terminate()
                process.wait()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
