#!/usr/bin/env python3
"""Smoke test of a built executable on a virtual X screen: the window covers the screen, the title names the
engine and then shows the frame rate, and Escape ends the run with exit code 0. Then --help, -h and
--version each show their text (on stdout; on Windows in a message box, read from the program's memory at
the address Wine's relay trace gives for MessageBoxA) and exit with 0. Without a display (Linux) or a display
driver (Windows) the program says so and ends with code 1.

    smoke_test.py linux EXE [OPTION...]      the native SDL executable
    smoke_test.py windows EXE [OPTION...]    the cross-built Windows executable, under Wine in a fresh prefix

The options are passed to the program (for instance --scale 0.5). As ctest: e2e.LinuxExecutableSmoke and
e2e.WindowsExecutableSmokeUnderWine, and with a render scale e2e.LinuxExecutableSmokeAtHalfScale,
e2e.LinuxExecutableSmokeAutoScale, e2e.WindowsExecutableSmokeAtHalfScaleUnderWine and
e2e.WindowsExecutableSmokeAutoScaleUnderWine. The screen is 160x90 so that even the opening's slowest
frames come several times a second on llvmpipe.

Prints the frame rates the title showed. Exits 77 (skipped) when a Windows executable has not been built.
"""
import os
import re
import shutil
import subprocess
import sys
import time

from harness import (FIRST_TITLE, SKIPPED, DisplayUnavailable, Failure, WinePrefix, display_unavailable_or,
                     kill_process_group, make_scratch, note, registry_text, run_under_wine_display,
                     start_virtual_screen, stop_process, wait_for_demo_window, wait_until, window_geometry,
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

# --help, -h and --version: the text, then exit code 0, with no window of the demo's own.
TEXT_OPTIONS = ("--help", "-h", "--version")
TEXT_LIMIT_S = 60
VERSION_TEXT = re.compile(r"^doz-engine (\S+) \(commit ([0-9a-f]{12}(?:-dirty)?|unknown)\)$")
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "VERSION")) as _version:
    SOURCE_VERSION = _version.readline().strip()
# The relay traces only the message box, whose text argument gives the address of the text.
MESSAGE_BOX_RELAY = registry_text(r"HKEY_CURRENT_USER\Software\Wine\Debug",
                                  {"RelayInclude": "user32.MessageBoxA"})
# A prefix whose display driver is missing, as when Wine fails to load it on a loaded machine.
NO_DISPLAY_DRIVER_REGISTRY = registry_text(r"HKEY_CURRENT_USER\Software\Wine\Drivers", {"Graphics": ""})
NO_WINDOW_MESSAGE = "doz-engine needs OpenGL 3.3\nThe window could not be made"
NO_DISPLAY_MESSAGE = "No display to show the window on (DISPLAY is \":"
MESSAGE_BOX_CALL = re.compile(r"Call user32\.MessageBoxA\(([0-9a-f]+),([0-9a-f]+)")


def watch_titles(window, env, process):
    """Follows the title until the frame-rate titles come; returns every distinct title in order."""
    titles = []

    def enough_frame_rate_titles():
        title = window_title(window, env)
        if title is not None and (not titles or titles[-1] != title):
            titles.append(title)
            note(f"title {title!r}")
        return sum(1 for t in titles if FRAME_RATE_TITLE.match(t)) >= FRAME_RATE_TITLES_WANTED

    wait_until(enough_frame_rate_titles, FRAME_RATE_LIMIT_S,
               lambda: f"no {FRAME_RATE_TITLES_WANTED} frame-rate titles in {FRAME_RATE_LIMIT_S} s: {titles}",
               process=process, ended=lambda code: f"the program ended by itself with code {code}; titles {titles}")
    return titles


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


def check_text(option, text):
    """The text of --help and -h is the usage with every option; that of --version names the VERSION file's
    version and a commit."""
    text = text.rstrip("\n")
    if option == "--version":
        match = VERSION_TEXT.match(text)
        if not match or match.group(1) != SOURCE_VERSION:
            raise Failure(f"--version showed {text!r}, not doz-engine {SOURCE_VERSION} (commit ...)")
    elif not text.startswith("usage: doz-engine") or not all(
            o in text for o in ("--scale", "--no-vsync", "--author", "--at", "--window", "--shaders", "--version")):
        raise Failure(f"{option} showed {text!r}")
    note(f"{option} showed {text.splitlines()[0]!r} and {len(text.splitlines()) - 1} more lines")


def linux_texts(exe, env):
    for option in TEXT_OPTIONS:
        done = subprocess.run([exe, option], env=env, capture_output=True, text=True, timeout=TEXT_LIMIT_S)
        if done.returncode != 0:
            raise Failure(f"{option}: exit code {done.returncode}; stderr {done.stderr!r}")
        check_text(option, done.stdout)


def free_display():
    """A display number no X server on this machine holds."""
    number = 900
    while os.path.exists(f"/tmp/.X11-unix/X{number}") or os.path.exists(f"/tmp/.X{number}-lock"):
        number += 1
    return f":{number}"


def linux_without_display(exe, scratch):
    """Where no display answers, SDL would fall back to drawing where no one sees: the program says there
    is no display and ends with code 1 instead of playing its sound behind no picture."""
    runtime = os.path.join(scratch, "runtime")
    os.makedirs(runtime, exist_ok=True)
    env = {name: value for name, value in os.environ.items() if name not in ("WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
    env.update(DISPLAY=free_display(), XDG_RUNTIME_DIR=runtime, SDL_AUDIODRIVER="dummy")
    done = subprocess.run([exe], env=env, capture_output=True, text=True, timeout=TEXT_LIMIT_S)
    said = done.stdout + done.stderr
    if done.returncode != 1 or NO_DISPLAY_MESSAGE not in said:
        raise Failure(f"without a display: exit code {done.returncode}, said {said[-1500:]!r}")
    note(f"without a display: code 1, {said.strip().splitlines()[-1]!r}")


def read_program_string(pid, address):
    """A NUL-terminated string of the running program: under Wine its address space is that of the Unix
    process."""
    with open(f"/proc/{pid}/mem", "rb") as memory:
        memory.seek(address)
        return memory.read(4096).split(b"\0")[0].decode("latin-1")


def message_box_text(process, trace_path):
    def message_box_call():
        with open(trace_path, errors="replace") as trace:
            return next(filter(None, (MESSAGE_BOX_CALL.search(line) for line in trace)), None)

    call = wait_until(message_box_call, TEXT_LIMIT_S, f"no message box within {TEXT_LIMIT_S} s", interval=0.1,
                      process=process, ended=lambda code: f"ended with code {code} before showing a message box")
    return read_program_string(process.pid, int(call.group(2), 16))


def windows_texts(exe, prefix, scratch):
    env = dict(prefix.env, WINEDEBUG="-all,+relay")
    for option in TEXT_OPTIONS:
        trace_path = os.path.join(scratch, "relay.txt")
        with open(trace_path, "w") as trace:
            process = subprocess.Popen([prefix.wine, exe, option], env=env, stdout=subprocess.DEVNULL,
                                       stderr=trace, start_new_session=True)
            try:
                check_text(option, message_box_text(process, trace_path))
                # The box is the only window: OK (Return) closes it, and the program ends.
                box = wait_for_demo_window(process, env, TEXT_LIMIT_S)
                run_tool(["xdotool", "windowfocus", "--sync", box], env)
                run_tool(["xdotool", "key", "Return"], env)
                try:
                    code = process.wait(timeout=EXIT_LIMIT_S)
                except subprocess.TimeoutExpired:
                    raise Failure(f"{option}: still running {EXIT_LIMIT_S} s after the box was answered")
                if code != 0:
                    raise Failure(f"{option}: exit code {code}")
            finally:
                kill_process_group(process)


def windows_without_display_driver(exe, scratch, display):
    """Without a display driver the program says which step failed (the window) and ends with code 1, and
    the tests' start-up path takes that for a display that failed to load, not for a failed program."""
    prefix = WinePrefix(scratch, display, NO_DISPLAY_DRIVER_REGISTRY)
    try:
        done = subprocess.run([prefix.wine, exe], env=prefix.env, capture_output=True, text=True,
                              timeout=TEXT_LIMIT_S)
    finally:
        prefix.shut_down()
    said = done.stdout + done.stderr
    if done.returncode != 1 or NO_WINDOW_MESSAGE not in said:
        raise Failure(f"without a display driver: exit code {done.returncode}, said {said[-1500:]!r}")
    if not isinstance(display_unavailable_or(Failure("no window"), said), DisplayUnavailable):
        raise Failure(f"a missing display driver was not recognised in {said[-1500:]!r}")
    note(f"without a display driver: code 1, {said.splitlines()[-1]!r}")


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
    # What the current attempt started, for the cleanup.
    started = {"screen": None, "prefix": None}

    def stop_started():
        if started["prefix"] is not None:
            started["prefix"].shut_down()
        stop_process(started["screen"])
        started.update(screen=None, prefix=None)

    def attempt():
        """A fresh screen (and for Windows a fresh prefix), the smoke run, then the texts."""
        stop_started()
        shutil.rmtree(os.path.join(scratch, "prefix"), ignore_errors=True)
        started["screen"], display = start_virtual_screen(SCREEN_WIDTH, SCREEN_HEIGHT)
        env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy")
        command = [exe]
        if kind == "windows":
            started["prefix"] = prefix = WinePrefix(scratch, display, MESSAGE_BOX_RELAY)
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
                    raise display_unavailable_or(failure, said.read()) if kind == "windows" else failure
        if not options:  # once per executable, not again with each option
            if kind == "windows":
                windows_texts(exe, started["prefix"], scratch)
                windows_without_display_driver(exe, os.path.join(scratch, "no-driver"), display)
            else:
                linux_texts(exe, env)
                linux_without_display(exe, scratch)

    try:
        run_under_wine_display(attempt)
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
        stop_started()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
