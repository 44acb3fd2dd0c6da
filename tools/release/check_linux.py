#!/usr/bin/env python3
"""The Linux archive as a party checks an entry.

    check_linux.py ARCHIVE.tar.gz --capture DOZ_CAPTURE

- Libraries: the executable needs only glibc's libraries, the GL library and those it carries in lib/;
  what those need is glibc's, each other or a desktop's display and sound client libraries. Prints the
  glibc floor: the newest GLIBC_ symbol version any of them asks for.
- Then, in a private mount namespace (`unshare -m`) where SDL2, FreeType, fontconfig and the carried
  libraries of the system are hidden (/dev/null mounted over each file), the font folders are empty and
  the unpacked folder is read-only, on a virtual screen:
  - a run covers the screen, hides the cursor, draws, ends on Escape with 0 and writes nothing;
  - author mode started at 70 s in a fresh working directory writes the built-in stages to shaders/ and
    says so; paused, its picture (a credit sign on the road) matches doz-capture's still at that time.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tarfile
import time

import check_common as common
import pictures
from author_test import AUTHOR_TITLE, Title
from harness import (Failure, make_scratch, note, run_tool, start_virtual_screen, take_screenshot,
                     wait_for_demo_window, window_geometry, window_title)
from smoke_test import FRAME_RATE_TITLE

GLIBC = {"libc.so.6", "libm.so.6", "libdl.so.2", "libpthread.so.0", "librt.so.1", "ld-linux-x86-64.so.2"}
GL = {"libGL.so.1", "libOpenGL.so.0", "libGLX.so.0", "libEGL.so.1"}
# What SDL2 reaches on a desktop: its display (X11, Wayland), sound (PulseAudio, ALSA) and the GL driver's
# buffer libraries (Mesa's own).
DESKTOP = {"libX11.so.6", "libXext.so.6", "libXcursor.so.1", "libXi.so.6", "libXfixes.so.3", "libXrandr.so.2",
           "libwayland-client.so.0", "libwayland-cursor.so.0", "libwayland-egl.so.1", "libxkbcommon.so.0",
           "libpulse.so.0", "libasound.so.2", "libdrm.so.2", "libgbm.so.1"}
HIDDEN = ["libSDL2*", "libfreetype.so*", "libfontconfig.so*", "libsamplerate.so*", "libdecor-0.so*", "libXss.so*"]
LIBRARY_DIRS = ["/usr/lib/x86_64-linux-gnu", "/usr/local/lib"]
FONT_DIRS = ["/usr/share/fonts", "/usr/local/share/fonts", "/etc/fonts", os.path.expanduser("~/.fonts"),
             os.path.expanduser("~/.local/share/fonts")]
SCREEN = (320, 180)
CLIENT = (320, 180)
SAME_TIME_LIMIT = 6.0
DIFFERENT_PICTURE_MINIMUM = 20.0
START_LIMIT_S = 120
EXIT_LIMIT_S = 60


def needed(path):
    out = subprocess.run(["readelf", "-d", path], stdout=subprocess.PIPE, text=True, check=True).stdout
    return set(re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", out))


def glibc_floor(paths):
    versions = set()
    for path in paths:
        out = subprocess.run(["objdump", "-T", path], stdout=subprocess.PIPE, text=True, check=True).stdout
        versions |= {tuple(int(p) for p in v.split(".")) for v in re.findall(r"\bGLIBC_([0-9.]+)\b", out)}
    return ".".join(str(p) for p in max(versions))


def check_libraries(folder):
    exe = os.path.join(folder, "doz-engine")
    lib = os.path.join(folder, "lib")
    carried = set(os.listdir(lib)) if os.path.isdir(lib) else set()
    stray = needed(exe) - GLIBC - GL - carried
    if stray:
        raise Failure(f"doz-engine needs {sorted(stray)}, which are neither glibc's, GL nor carried")
    for name in sorted(carried):
        stray = needed(os.path.join(lib, name)) - GLIBC - GL - DESKTOP - carried
        if stray:
            raise Failure(f"lib/{name} needs {sorted(stray)}")
    floor = glibc_floor([exe] + [os.path.join(lib, name) for name in carried])
    return f"needs glibc's libraries, libGL and lib/: {', '.join(sorted(carried))}; glibc floor {floor}"


def hide_script():
    lines = []
    for folder in LIBRARY_DIRS:
        for pattern in HIDDEN:
            lines.append(f'for f in {folder}/{pattern}; do [ -f "$f" ] && [ ! -L "$f" ] && '
                         f'mount --bind /dev/null "$f"; done; true')
    for folder in FONT_DIRS:
        lines.append(f'[ -d "{folder}" ] && mount -t tmpfs none "{folder}" || true')
    # The hiding itself is checked before the program starts: no SDL2 to load, no font file anywhere.
    lines.append('if [ -s /usr/lib/x86_64-linux-gnu/libSDL2-2.0.so.0 ]; then echo "SDL2 is not hidden" >&2; '
                 'exit 98; fi')
    lines.append('if find /usr/share/fonts /usr/local/share/fonts -type f 2>/dev/null | grep -q .; then '
                 'echo "fonts are not hidden" >&2; exit 98; fi')
    return "\n".join(lines)


def start(folder, command, cwd, display, log):
    env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy")
    env.pop("LD_LIBRARY_PATH", None)
    process = subprocess.Popen(common.read_only_command(folder, command, hide_script()), cwd=cwd, env=env,
                               stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
    return process, env


def wait_title(process, window, env, pattern, what, accept=lambda match: True):
    title = ""

    def accepted():
        nonlocal title
        title = window_title(window, env) or ""
        match = pattern.match(title)
        return match if match and accept(match) else None

    return common.wait_until(accepted, START_LIMIT_S,
                             lambda: f"no title with {what} within {START_LIMIT_S} s (last {title!r})",
                             interval=0.1, process=process,
                             ended=lambda code: f"the program ended with code {code} waiting for {what}")


def release_run(folder, scratch):
    width, height = SCREEN
    screen, display = start_virtual_screen(width, height)
    with common.program_run(os.path.join(scratch, "release-run.log"), screen) as run:
        env = dict(os.environ, DISPLAY=display)
        common.point_at_centre(env, width, height)
        if common.cursor_ink(display) == 0:
            raise Failure("the screen's own cursor shows no pixels: the cursor check would tell nothing")
        before = common.listing(folder)
        run.process, env = start(folder, [os.path.join(folder, "doz-engine")], folder, display, run.log)
        window = wait_for_demo_window(run.process, env, START_LIMIT_S)
        wait_title(run.process, window, env, FRAME_RATE_TITLE, "the frame rate")
        geometry = window_geometry(window, env)
        if (geometry["x"], geometry["y"], geometry["width"], geometry["height"]) != (0, 0, width, height):
            raise Failure(f"the window {geometry} does not cover the {width}x{height} screen")
        common.point_at_centre(env, width, height)
        time.sleep(0.3)
        ink = common.cursor_ink(display)
        if ink != 0:
            raise Failure(f"the cursor shows {ink} pixels over the window")
        common.escape_ends(run.process, window, env, EXIT_LIMIT_S)
        if common.listing(folder) != before:
            raise Failure("the folder changed")


def author_run(folder, scratch, capture):
    width, height = CLIENT
    screen, display = start_virtual_screen(*SCREEN)
    work = os.path.join(scratch, "work")
    os.makedirs(work)
    log_path = os.path.join(scratch, "author-run.log")
    with common.program_run(log_path, screen) as run:
        command = [os.path.join(folder, "doz-engine"), "--author", "--at", "70", "--window", f"{width}x{height}"]
        run.process, env = start(folder, command, work, display, run.log)
        window = wait_for_demo_window(run.process, env, START_LIMIT_S)
        wait_title(run.process, window, env, AUTHOR_TITLE, "the author title")
        run_tool(["xdotool", "windowfocus", "--sync", window], env)
        run_tool(["xdotool", "key", "space"], env)
        held = Title(wait_title(run.process, window, env, AUTHOR_TITLE, "paused",
                                lambda match: Title(match).paused))
        time.sleep(0.5)
        shot = take_screenshot(env, *SCREEN)
        for stage in ("scene.vert", "scene.frag"):
            with open(os.path.join(work, "shaders", stage), "rb") as written, \
                    open(os.path.join(common.SOURCE, "shaders", stage), "rb") as source:
                if written.read() != source.read():
                    raise Failure(f"shaders/{stage} is not the built-in stage")
        common.escape_ends(run.process, window, env, EXIT_LIMIT_S)
        with open(log_path, errors="replace") as said:
            output = said.read()
        if "wrote the built-in stages" not in output:
            raise Failure(f"author mode did not say that it wrote the stages: {output[-1000:]}")
        if "font" in output:
            raise Failure(f"the program spoke of its font: {output[-1000:]}")
        still, _ = pictures.render_still(capture, held.time, width, height, scratch)
        same = pictures.difference(shot, still, width, height)
        far_still, _ = pictures.render_still(capture, (held.time + 62.0) % 124.0, width, height, scratch)
        far = pictures.difference(shot, far_still, width, height)
        if same > SAME_TIME_LIMIT or far < DIFFERENT_PICTURE_MINIMUM:
            raise Failure(f"the paused picture at {held.time:.2f} s differs by {same:.2f} from doz-capture's still "
                          f"(limit {SAME_TIME_LIMIT}) and by {far:.2f} from the still 62 s away")
        return f"credit sign at {held.time:.2f} s matches the still ({same:.2f}; 62 s away {far:.2f})"


def check(archive, capture):
    scratch = make_scratch("doz-release-linux-")
    try:
        unpacked = os.path.join(scratch, "unpacked")
        with tarfile.open(archive) as t:
            t.extractall(unpacked)
        (top,) = os.listdir(unpacked)
        folder = os.path.join(unpacked, top)
        libraries = check_libraries(folder)
        note(libraries)
        release_run(folder, scratch)
        note("a run covered the screen, hid the cursor, drew and ended on Escape with 0")
        signs = author_run(folder, scratch, capture)
        return (f"{libraries}; without SDL2, FreeType, fontconfig or fonts on the system, read-only: covers "
                f"the screen, cursor hidden, Escape gave 0, nothing written; author mode wrote shaders/; {signs}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("archive")
    parser.add_argument("--capture", required=True)
    args = parser.parse_args()
    return common.run_checked("linux archive", lambda: check(args.archive, os.path.abspath(args.capture)))


if __name__ == "__main__":
    sys.exit(main())
