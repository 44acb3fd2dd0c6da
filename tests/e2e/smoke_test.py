#!/usr/bin/env python3
"""Smoke test of a built executable on a virtual X screen: the window covers the screen, the title names the
engine and then shows the frame rate, and Escape ends the run with exit code 0.

    smoke_test.py linux EXE      the native SDL executable
    smoke_test.py windows EXE    the cross-built Windows executable, under Wine in a fresh prefix

Prints the frame rates the title showed. Exits 77 (skipped) when a Windows executable has not been built.
"""
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SCREEN_WIDTH, SCREEN_HEIGHT = 640, 360
FIRST_TITLE = "doz-engine"
FRAME_RATE_TITLE = re.compile(r"^doz-engine  (\d+) fps  frac 0  \[reload 0\]$")
SKIPPED = 77

# Start-up decodes the whole soundtrack before the first frame, and a slow software renderer may need
# a while per frame: the limits are generous, the test itself stays short when things work.
WINDOW_LIMIT_S = 60
FRAME_RATE_LIMIT_S = 60
FRAME_RATE_TITLES_WANTED = 3
EXIT_LIMIT_S = 10


STARTED = time.monotonic()


class SmokeFailure(Exception):
    pass


def note(text):
    """Progress as it happens, so that a failure's output shows how far the run got."""
    print(f"[{time.monotonic() - STARTED:6.2f} s] {text}", flush=True)


def start_virtual_screen():
    """Starts Xvfb on a free display number; returns the process and the DISPLAY value."""
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24",
         "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 30
    while not number.endswith(b"\n"):
        ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
        chunk = os.read(read_end, 16) if ready else b""
        if not chunk:
            server.kill()
            raise SmokeFailure("Xvfb did not report a display number")
        number += chunk
    os.close(read_end)
    return server, ":" + number.decode().strip()


def run_tool(args, env, timeout=10):
    done = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                          timeout=timeout)
    return done.returncode, done.stdout


def window_title(window, env):
    code, out = run_tool(["xdotool", "getwindowname", window], env)
    return out.rstrip("\n") if code == 0 else None


def find_demo_window(env):
    code, out = run_tool(["xdotool", "search", "--onlyvisible", "--name", "^doz-engine"], env)
    ids = out.split() if code == 0 else []
    return ids[0] if ids else None


def window_geometry(window, env):
    _, out = run_tool(["xwininfo", "-id", window], env)
    fields = dict(re.findall(r"^\s*([A-Za-z -]+):\s+(\S+)", out, re.MULTILINE))
    return {
        "x": int(fields.get("Absolute upper-left X", -1)),
        "y": int(fields.get("Absolute upper-left Y", -1)),
        "width": int(fields.get("Width", -1)),
        "height": int(fields.get("Height", -1)),
        "mapped": fields.get("Map State") == "IsViewable",
    }


def find_wine_programs():
    wine = shutil.which("wine64") or "/usr/lib/wine/wine64"
    if not os.path.exists(wine):
        wine = shutil.which("wine")
    server = shutil.which("wineserver") or "/usr/lib/wine/wineserver64"
    if wine is None or not os.path.exists(server):
        raise SmokeFailure("Wine is not installed (Debian package wine)")
    return wine, server


def make_wine_prefix(wine, server, env):
    """Creates the prefix up front, so that its slow first start does not count against the demo."""
    started = time.monotonic()
    subprocess.run([wine, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=180, check=False)
    subprocess.run([server, "-w"], env=env, timeout=180, check=False)
    note(f"wine prefix made in {time.monotonic() - started:.1f} s")


def watch_titles(window, env, process):
    """Follows the title until the frame-rate titles come; returns every distinct title in order."""
    titles = []
    deadline = time.monotonic() + FRAME_RATE_LIMIT_S
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise SmokeFailure(f"the program ended by itself with code {process.returncode}; titles {titles}")
        title = window_title(window, env)
        if title is not None and (not titles or titles[-1] != title):
            titles.append(title)
            note(f"title {title!r}")
        if sum(1 for t in titles if FRAME_RATE_TITLE.match(t)) >= FRAME_RATE_TITLES_WANTED:
            return titles
        time.sleep(0.05)
    raise SmokeFailure(f"no {FRAME_RATE_TITLES_WANTED} frame-rate titles in {FRAME_RATE_LIMIT_S} s: {titles}")


def smoke(command, env, log):
    process = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        window = None
        deadline = time.monotonic() + WINDOW_LIMIT_S
        while window is None and time.monotonic() < deadline:
            if process.poll() is not None:
                raise SmokeFailure(f"the program ended before showing a window, code {process.returncode}")
            window = find_demo_window(env)
            if window is None:
                time.sleep(0.05)
        if window is None:
            raise SmokeFailure(f"no window named doz-engine within {WINDOW_LIMIT_S} s")
        note(f"window {window} shown")

        titles = watch_titles(window, env, process)
        if titles[0] != FIRST_TITLE:
            raise SmokeFailure(f'the first title is {titles[0]!r}, not "{FIRST_TITLE}"')
        # Once the frame rate shows, it is all the title shows.
        later = titles[titles.index(next(t for t in titles if FRAME_RATE_TITLE.match(t))):]
        strays = [t for t in later if not FRAME_RATE_TITLE.match(t)]
        if strays:
            raise SmokeFailure(f"titles other than the frame rate after it began: {strays}")
        rates = [int(FRAME_RATE_TITLE.match(t).group(1)) for t in later]

        geometry = window_geometry(window, env)
        note(f"window geometry {geometry}")
        if not geometry["mapped"] or (geometry["x"], geometry["y"], geometry["width"], geometry["height"]) != (
                0, 0, SCREEN_WIDTH, SCREEN_HEIGHT):
            raise SmokeFailure(f"the window does not cover the {SCREEN_WIDTH}x{SCREEN_HEIGHT} screen")

        # A real key press (XTEST) on the focused window, as a user would give it.
        run_tool(["xdotool", "windowfocus", "--sync", window], env)
        pressed = time.monotonic()
        run_tool(["xdotool", "key", "Escape"], env)
        note("Escape pressed")
        try:
            code = process.wait(timeout=EXIT_LIMIT_S)
        except subprocess.TimeoutExpired:
            raise SmokeFailure(f"still running {EXIT_LIMIT_S} s after Escape")
        note(f"ended {time.monotonic() - pressed:.2f} s after Escape with code {code}")
        if code != 0:
            raise SmokeFailure(f"exit code {code} after Escape")
        note(f"frame rates shown at {SCREEN_WIDTH}x{SCREEN_HEIGHT}: {rates} fps; "
              f"median {sorted(rates)[len(rates) // 2]} fps")
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("linux", "windows"):
        print(__doc__)
        return 2
    kind, exe = sys.argv[1], sys.argv[2]
    if not os.path.isfile(exe):
        if kind == "windows":
            print(f"SKIPPED: no Windows executable at {exe}; build it with "
                  "`cmake --preset windows && cmake --build --preset windows` (or set DOZ_WINDOWS_EXE)")
            return SKIPPED
        print(f"no executable at {exe}")
        return 1

    scratch = tempfile.mkdtemp(prefix="doz-smoke-")
    log_path = os.path.join(scratch, "program.log")
    screen = None
    wine_server = None
    try:
        screen, display = start_virtual_screen()
        env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy")
        command = [exe]
        if kind == "windows":
            wine, wine_server = find_wine_programs()
            env.update(WINEPREFIX=os.path.join(scratch, "prefix"), WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=")
            make_wine_prefix(wine, wine_server, env)
            command = [wine, exe]
        with open(log_path, "w") as log:
            smoke(command, env, log)
        return 0
    except (SmokeFailure, subprocess.TimeoutExpired) as failure:
        note(f"FAILED: {failure}")
        if os.path.exists(log_path):
            with open(log_path, errors="replace") as log:
                output = log.read()[-4000:]
            if output:
                print("program output:\n" + output)
        return 1
    finally:
        if wine_server is not None:
            subprocess.run([wine_server, "-k"], env=env, timeout=30, check=False)
        if screen is not None:
            screen.terminate()
            screen.wait()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
