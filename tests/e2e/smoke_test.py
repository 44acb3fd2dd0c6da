#!/usr/bin/env python3
"""Smoke test of a built executable on a virtual X screen: the window covers the screen, the title names the
engine and then shows the frame rate, and Escape ends the run with exit code 0.

    smoke_test.py linux EXE [OPTION...]      the native SDL executable
    smoke_test.py windows EXE [OPTION...]    the cross-built Windows executable, under Wine in a fresh prefix

The options are passed to the program (for instance --scale 0.5).

Prints the frame rates the title showed. Exits 77 (skipped) when a Windows executable has not been built.
"""
import os
import re
import shutil
import subprocess
import sys
import time

from harness import (FIRST_TITLE, NO_DISPLAY_DRIVER, SKIPPED, Failure, WinePrefix, kill_process_group,
                     make_scratch, note, start_virtual_screen, stop_process, wait_for_demo_window, window_geometry,
                     window_title, run_tool)

# Small enough that a software renderer draws even the opening's slowest frames (the eye inside the hero
# canister, the fractal on every pixel) several times a second on a machine whose cores are busy with
# other work: the test watches the titles, not the renderer's speed.
SCREEN_WIDTH, SCREEN_HEIGHT = 160, 90
# Before any click the frac counter is 0.
FRAME_RATE_TITLE = re.compile(r"^doz-engine  (\d+) fps  frac 0  \[reload 0\]$")

# Start-up decodes the whole soundtrack and compiles the scene before the first frame: the limits are
# generous, the test itself stays short when things work.
WINDOW_LIMIT_S = 90
FRAME_RATE_LIMIT_S = 60
FRAME_RATE_TITLES_WANTED = 3
EXIT_LIMIT_S = 20


def watch_titles(window, env, process):
    """Follows the title until the frame-rate titles come; returns every distinct title in order."""
    titles = []
    deadline = time.monotonic() + FRAME_RATE_LIMIT_S
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise Failure(f"the program ended by itself with code {process.returncode}; titles {titles}")
        title = window_title(window, env)
        if title is not None and (not titles or titles[-1] != title):
            titles.append(title)
            note(f"title {title!r}")
        if sum(1 for t in titles if FRAME_RATE_TITLE.match(t)) >= FRAME_RATE_TITLES_WANTED:
            return titles
        time.sleep(0.05)
    raise Failure(f"no {FRAME_RATE_TITLES_WANTED} frame-rate titles in {FRAME_RATE_LIMIT_S} s: {titles}")


def smoke(command, env, log):
    process = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        window = wait_for_demo_window(process, env, WINDOW_LIMIT_S)
        note(f"window {window} shown")

        titles = watch_titles(window, env, process)
        if titles[0] != FIRST_TITLE:
            raise Failure(f'the first title is {titles[0]!r}, not "{FIRST_TITLE}"')
        # Once the frame rate shows, it is all the title shows.
        later = titles[titles.index(next(t for t in titles if FRAME_RATE_TITLE.match(t))):]
        strays = [t for t in later if not FRAME_RATE_TITLE.match(t)]
        if strays:
            raise Failure(f"titles other than the frame rate after it began: {strays}")
        rates = [int(FRAME_RATE_TITLE.match(t).group(1)) for t in later]

        geometry = window_geometry(window, env)
        note(f"window geometry {geometry}")
        if not geometry["mapped"] or (geometry["x"], geometry["y"], geometry["width"], geometry["height"]) != (
                0, 0, SCREEN_WIDTH, SCREEN_HEIGHT):
            raise Failure(f"the window does not cover the {SCREEN_WIDTH}x{SCREEN_HEIGHT} screen")

        # A real key press (XTEST) on the focused window, as a user would give it.
        run_tool(["xdotool", "windowfocus", "--sync", window], env)
        pressed = time.monotonic()
        run_tool(["xdotool", "key", "Escape"], env)
        note("Escape pressed")
        try:
            code = process.wait(timeout=EXIT_LIMIT_S)
        except subprocess.TimeoutExpired:
            raise Failure(f"still running {EXIT_LIMIT_S} s after Escape")
        note(f"ended {time.monotonic() - pressed:.2f} s after Escape with code {code}")
        if code != 0:
            raise Failure(f"exit code {code} after Escape")
        note(f"frame rates shown at {SCREEN_WIDTH}x{SCREEN_HEIGHT}: {rates} fps; "
              f"median {sorted(rates)[len(rates) // 2]} fps")
    finally:
        kill_process_group(process)


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("linux", "windows"):
        print(__doc__)
        return 2
    kind, exe, options = sys.argv[1], sys.argv[2], sys.argv[3:]
    if not os.path.isfile(exe):
        if kind == "windows":
            print(f"SKIPPED: no Windows executable at {exe}; build it with "
                  "`cmake --preset windows && cmake --build --preset windows` (or set DOZ_WINDOWS_EXE)")
            return SKIPPED
        print(f"no executable at {exe}")
        return 1

    scratch = make_scratch("doz-smoke-")
    log_path = os.path.join(scratch, "program.log")
    screen = None
    prefix = None
    try:
        screen, display = start_virtual_screen(SCREEN_WIDTH, SCREEN_HEIGHT)
        env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy")
        command = [exe]
        if kind == "windows":
            prefix = WinePrefix(scratch, display)
            # Wine's error messages go to the program's output, which a failure shows.
            env = dict(prefix.env, WINEDEBUG="-all,err+all")
            command = [prefix.wine, exe]
        command += options
        with open(log_path, "w") as log:
            try:
                smoke(command, env, log)
            except Failure as failure:
                log.flush()
                with open(log_path, errors="replace") as said:
                    if kind != "windows" or NO_DISPLAY_DRIVER not in said.read():
                        raise
                note(f"{failure}: Wine could not load its display driver; once more in a fresh prefix")
                prefix.shut_down()
                stop_process(screen)
                screen, display = start_virtual_screen(SCREEN_WIDTH, SCREEN_HEIGHT)
                shutil.rmtree(os.path.join(scratch, "prefix"), ignore_errors=True)
                prefix = WinePrefix(scratch, display)
                env = dict(prefix.env, WINEDEBUG="-all,err+all")
                smoke(command, env, log)
        return 0
    except (Failure, subprocess.TimeoutExpired) as failure:
        note(f"FAILED: {failure}")
        if os.path.exists(log_path):
            with open(log_path, errors="replace") as log:
                output = log.read()[-4000:]
            if output:
                print("program output:\n" + output)
        return 1
    finally:
        if prefix is not None:
            prefix.shut_down()
        stop_process(screen)
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
