#!/usr/bin/env python3
"""The native executable's whole run on a virtual X screen, with SDL's dummy sound driver playing the
soundtrack in real time: plain left clicks cycle the frac counter in the title, a Shift+left click does not,
and the run ends by itself, with exit code 0, once the music clock has passed 124 s.

    linux_full_run_test.py EXE
"""
import os
import re
import shutil
import subprocess
import sys
import time

from harness import (Failure, kill_process_group, make_scratch, note, run_tool, start_virtual_screen,
                     stop_process, wait_for_demo_window, window_title)

SCREEN_WIDTH, SCREEN_HEIGHT = 320, 240
FRAME_RATE_TITLE = re.compile(r"^doz-engine  (\d+) fps  frac (\d)  \[reload 0\]$")
RUN_S = 124.0
# The clock starts when playback starts, after the window and the decode; the last frame ends the run.
EARLIEST_END_S, LATEST_END_S = RUN_S - 1.0, RUN_S + 15.0


def next_frac(window, env, process, after):
    """Waits for a frame-rate title written after `after` (monotonic time) and returns its frac counter."""
    while True:
        if process.poll() is not None:
            raise Failure(f"the run ended early, code {process.returncode}")
        title = window_title(window, env) or ""
        match = FRAME_RATE_TITLE.match(title)
        # A title is rewritten once a second: wait past one whole interval after the click.
        if match and time.monotonic() > after + 1.5:
            return int(match.group(2))
        time.sleep(0.1)


def click(window, env, shift=False):
    run_tool(["xdotool", "windowfocus", "--sync", window], env)
    if shift:
        run_tool(["xdotool", "keydown", "shift", "click", "1", "keyup", "shift"], env)
    else:
        run_tool(["xdotool", "click", "1"], env)
    return time.monotonic()


def full_run(exe, env, log):
    started = time.monotonic()
    process = subprocess.Popen([exe], env=env, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        window = wait_for_demo_window(process, env, 60)
        run_tool(["xdotool", "mousemove", "--window", window, "100", "100"], env)
        seen = [next_frac(window, env, process, time.monotonic())]
        for _ in range(3):
            seen.append(next_frac(window, env, process, click(window, env)))
        seen.append(next_frac(window, env, process, click(window, env, shift=True)))
        note(f"frac in the titles: {seen}")
        if seen != [0, 1, 2, 0, 0]:
            raise Failure(f"frac went {seen}, not 0, 1, 2, 0 and then unchanged by the Shift click")

        try:
            code = process.wait(timeout=LATEST_END_S + 30)
        except subprocess.TimeoutExpired:
            raise Failure(f"still running {LATEST_END_S + 30:.0f} s after the start")
        took = time.monotonic() - started
        note(f"ended by itself after {took:.1f} s with code {code}")
        if code != 0:
            raise Failure(f"exit code {code}")
        if not EARLIEST_END_S <= took <= LATEST_END_S:
            raise Failure(f"the run took {took:.1f} s, not about {RUN_S:.0f} s of music")
    finally:
        kill_process_group(process)


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    scratch = make_scratch("doz-linux-run-")
    log_path = os.path.join(scratch, "program.log")
    screen = None
    try:
        screen, display = start_virtual_screen(SCREEN_WIDTH, SCREEN_HEIGHT)
        env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy")
        with open(log_path, "w") as log:
            full_run(sys.argv[1], env, log)
        return 0
    except (Failure, subprocess.TimeoutExpired) as failure:
        note(f"FAILED: {failure}")
        with open(log_path, errors="replace") as log:
            print("program output:\n" + log.read()[-4000:])
        return 1
    finally:
        stop_process(screen)
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
