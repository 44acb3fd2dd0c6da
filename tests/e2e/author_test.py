#!/usr/bin/env python3
"""Author mode end to end, in one session of a built executable on a small virtual X screen:

- the window's client area is the size asked for, and the run starts at --at;
- Space pauses at an arbitrary moment; the title names the held time to the sample, and the held picture
  is doz-capture's still at the title's time, pixel for pixel (one far from it is not);
- seeks by keys (Left, Page Down, Shift+Right, Period, Comma, Home) move the title's time as they should,
  and a held picture reached by keys alone matches the still at that exact time;
- an edit of a copy of the stages (--shaders) changes the picture and the reload counter;
- a broken edit keeps the picture, puts "reload failed: " and the error in the title, and the log with the
  file name in the program's error output (Linux; Windows sends it to the debugger output);
- a fix brings the picture back;
- held keys: a held seek key scrubs on, a held R reloads once, a held Space pauses once;
- the folder renamed away: the title says the stages are missing; made again with an edited stage, it is
  loaded, and an edit after that too; deleted and copied back unchanged, and a stage file gone for a while
  and back unchanged: the title clears, with the same picture and reload counter;
- fly mode: F flies, W moves the view, K keys it into every camera track file, Ctrl+Z takes it back; a
  right-drag ends with its release, and a key and a button held while the focus goes to another window are
  let go there: the view turns and moves no more;
- a loop set with B and N keeps the time inside it; F11 covers the screen and gives the window back;
  Escape ends with code 0.

    author_test.py linux EXE CAPTURE     the native executable, SDL's dummy sound driver
    author_test.py windows EXE CAPTURE   the cross-built one under Wine, sound to a PulseAudio null sink

As ctest's e2e.LinuxAuthorSession (about 1 min) and e2e.WindowsAuthorSessionUnderWine (about 1.5 min), on
a 320x200 Xvfb screen with a 160x90 window.

Exits 77 (skipped) when the Windows executable has not been built.
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import time

import pictures
from harness import (SKIPPED, Failure, PulseServer, WinePrefix, display_unavailable_or, kill_process_group,
                     make_scratch, note, read_rgb_image, run_tool, run_under_wine_display, send_take_focus,
                     start_virtual_screen, stop_process, take_screenshot, wait_for_demo_window, wait_until,
                     window_title, write_png)

SCREEN_WIDTH, SCREEN_HEIGHT = 320, 200
# Small, so that llvmpipe draws many frames a second.
CLIENT_WIDTH, CLIENT_HEIGHT = 160, 90
START_AT = 30.0

AUTHOR_TITLE = re.compile(r"^doz-engine  (\d+) fps  frac (\d+)  \[reload (\d+)\]  (\d+\.\d{2,5}) s"
                          r"(  paused)?(?:  loop (\d+\.\d\d)-(\d+\.\d\d))?$")
# The author title with fly mode's words after it.
FLY_TITLE = re.compile(AUTHOR_TITLE.pattern[:-1] + r"(  fly)?(  (keyed|undone) row \d+)?$")
# Held pictures against stills at the same time; differences in 0..255 of 8x8 block means.
SAME_PICTURE_LIMIT = 1.0
# The window and doz-capture draw on the same renderer: a held frame is the still, pixel for pixel (a pixel
# differs when a channel is more than 2 off).
SAME_STILL_PIXELS = 0
DIFFERENT_PICTURE_MINIMUM = 20.0
# The eye 6 units higher in the canister field of the pull-out: the same colours elsewhere in the frame
# (about 17 here, against 0 for the same frame).
MOVED_CAMERA_MINIMUM = 8.0
WINDOW_LIMIT_S = 90
TITLE_LIMIT_S = 60
# A reload compiles the whole scene stage on a software renderer.
RELOAD_LIMIT_S = 120
# Float noise in a keyed view's direction (target less eye) after a move forward, far below any turn.
SAME_LOOK_LIMIT = 1e-3
# The window the focus goes to, as to an editor.
OTHER_WINDOW = "doz-author-test-other"
# Where the scene stage writes its colour; the edits change that line.
FRAGMENT_OUTPUT = "O = vec4(col, 1.);"


class Title:
    def __init__(self, match):
        self.fps, self.frac, self.reloads = int(match[1]), int(match[2]), int(match[3])
        self.time = float(match[4])
        self.time_text = match[4]
        self.paused = match[5] is not None
        self.loop = (float(match[6]), float(match[7])) if match[6] else None


class Session:
    def __init__(self, kind, exe, capture, scratch):
        self.kind, self.capture, self.scratch = kind, capture, scratch
        self.screen = self.prefix = self.pulse = self.process = None
        self.shaders = os.path.join(scratch, "shaders")
        source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shaders")
        shutil.copytree(source, self.shaders)
        with open(os.path.join(self.shaders, "scene.frag")) as f:
            self.original = f.read()
        self.screen, display = start_virtual_screen(SCREEN_WIDTH, SCREEN_HEIGHT)
        self.env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy")
        folder = self.shaders
        # Not there yet: the run makes it from the built-in tracks.
        self.tracks = os.path.join(scratch, "tracks")
        tracks = self.tracks
        command = [exe]
        if kind == "windows":
            self.prefix = WinePrefix(scratch, display)
            self.pulse = PulseServer(scratch)
            self.env = dict(self.prefix.env, PULSE_SERVER=self.pulse.server)
            folder = "Z:" + self.shaders.replace("/", "\\")
            tracks = "Z:" + self.tracks.replace("/", "\\")
            command = [self.prefix.wine, exe]
        command += ["--author", "--window", f"{CLIENT_WIDTH}x{CLIENT_HEIGHT}", "--at", f"{START_AT:g}",
                    "--shaders", folder, "--tracks", tracks]
        self.log_path = os.path.join(scratch, "program.log")
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen(command, env=self.env, stdout=self.log, stderr=subprocess.STDOUT,
                                        start_new_session=True)
        note(f"started {' '.join(command)}")
        try:
            self.window = wait_for_demo_window(self.process, self.env, WINDOW_LIMIT_S)
        except Failure as failure:
            said = self.output()
            self.close()
            raise display_unavailable_or(Failure(f"{failure}; program output: {said[-2000:]}"), said)
        self.titles = []

    def close(self):
        if self.process is not None:
            kill_process_group(self.process)
        if self.prefix is not None:
            self.prefix.shut_down()
        if self.pulse is not None:
            self.pulse.stop()
        stop_process(self.screen)
        self.log.close()

    def output(self):
        self.log.flush()
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def title(self):
        text = window_title(self.window, self.env)
        if text is not None and (not self.titles or self.titles[-1] != text):
            self.titles.append(text)
            note(f"title {text!r}")
        return text

    def wait_for(self, what, accept, limit_s=TITLE_LIMIT_S):
        """Polls the title until accept(text, Title or None) holds; returns that Title (or None)."""

        def accepted():
            text = self.title() or ""
            match = AUTHOR_TITLE.match(text)
            parsed = Title(match) if match else None
            # In a tuple: an accepted title need not be an author title (None).
            return (parsed,) if accept(text, parsed) else None

        (parsed,) = wait_until(accepted, limit_s, lambda: f"no title with {what} within {limit_s} s; titles "
                               f"{self.titles[-8:]}", process=self.process,
                               ended=lambda code: f"the program ended with code {code} waiting for {what}")
        return parsed

    def press(self, *keys):
        run_tool(["xdotool", "windowfocus", "--sync", self.window], self.env)
        for key in keys:
            run_tool(["xdotool", "key", key], self.env)
            note(f"pressed {key}")

    def hold(self, key, seconds):
        """Holds a key down: the X server repeats it, as a keyboard does."""
        run_tool(["xdotool", "windowfocus", "--sync", self.window], self.env)
        run_tool(["xdotool", "keydown", key], self.env)
        time.sleep(seconds)
        run_tool(["xdotool", "keyup", key], self.env)
        note(f"held {key} for {seconds} s")

    def held_time(self, expected, what):
        """Waits for a paused title at `expected` (to the title's 0.01 s); returns its Title."""
        # Each title is rounded to 0.01 s, the one before it too; a stale title is further off.
        return self.wait_for(what, lambda _, t: t is not None and t.paused and abs(t.time - expected) < 0.0101)

    def client_area(self):
        """The window's client area in a screenshot of the whole screen. Without a window manager, SDL's
        window is the client area; Wine draws its own frame around it, with the client at the bottom."""
        _, out = run_tool(["xwininfo", "-id", self.window], self.env)
        fields = dict(re.findall(r"^\s*([A-Za-z -]+):\s+(\S+)", out, re.MULTILINE))
        x, y = int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"])
        width, height = int(fields["Width"]), int(fields["Height"])
        if width < CLIENT_WIDTH or height < CLIENT_HEIGHT:
            raise Failure(f"the window is {width}x{height}, smaller than the client area asked for")
        if self.kind == "linux" and (width, height) != (CLIENT_WIDTH, CLIENT_HEIGHT):
            raise Failure(f"the window is {width}x{height}, not {CLIENT_WIDTH}x{CLIENT_HEIGHT}")
        border = (width - CLIENT_WIDTH) // 2
        return x + border, y + height - CLIENT_HEIGHT - border

    def wait_for_geometry(self, what, accept, limit_s=20):
        box = None

        def accepted():
            nonlocal box
            _, out = run_tool(["xwininfo", "-id", self.window], self.env)
            fields = dict(re.findall(r"^\s*([A-Za-z -]+):\s+(\S+)", out, re.MULTILINE))
            box = tuple(int(fields.get(k, -1)) for k in
                        ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
            return accept(*box)

        wait_until(accepted, limit_s, lambda: f"not {what} within {limit_s} s: the window is at {box}", interval=0.1)
        note(f"{what}: window at {box}")

    def screenshot(self, name):
        # Two frames after the title: the held picture is on the screen by then.
        time.sleep(0.5)
        left, top = self.client_area()
        screen = take_screenshot(self.env, SCREEN_WIDTH, SCREEN_HEIGHT)
        rgb = bytearray()
        for y in range(top, top + CLIENT_HEIGHT):
            start = (y * SCREEN_WIDTH + left) * 3
            rgb += screen[start:start + CLIENT_WIDTH * 3]
        write_png(bytes(rgb), CLIENT_WIDTH, CLIENT_HEIGHT, os.path.join(self.scratch, name + ".png"))
        return bytes(rgb)

    def wait_for_picture(self, name, what, accept, limit_s=RELOAD_LIMIT_S):
        """Screenshots until accept(rgb) holds: a software renderer compiles a new program's code at its first
        draw, which may come seconds after the title counts the reload."""

        def accepted():
            rgb = self.screenshot(name)
            return rgb if accept(rgb) else None

        # A screenshot waits two frames itself: no pause between them.
        return wait_until(accepted, limit_s, f"{what} within {limit_s} s", interval=0)

    def compare_with_still(self, rgb, time_text, tracks=None):
        """The held picture against `doz-capture --at TIME_TEXT` (the title's text as it stands) at the same
        size, with the tracks of `tracks` when given: the same picture, and far from the still 62 s away."""
        path = os.path.join(self.scratch, f"still-{time_text}{'-tracks' if tracks else ''}.png")
        done = subprocess.run([self.capture, "--at", time_text, "--size", f"{CLIENT_WIDTH}x{CLIENT_HEIGHT}",
                               "-o", path] + (["--tracks", tracks] if tracks else []), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                              timeout=300)
        if done.returncode != 0:
            raise Failure(f"doz-capture --at {time_text} failed: {done.stdout.strip()}")
        still = read_rgb_image(path, CLIENT_WIDTH, CLIENT_HEIGHT)
        score = pictures.difference(rgb, still, CLIENT_WIDTH, CLIENT_HEIGHT)
        pixels = sum(1 for i in range(0, len(rgb), 3) if max(abs(rgb[i + k] - still[i + k]) for k in range(3)) > 2)
        far_still, _ = pictures.render_still(self.capture, (float(time_text) + 62.0) % 124.0, CLIENT_WIDTH,
                                             CLIENT_HEIGHT, self.scratch)
        far = pictures.difference(rgb, far_still, CLIENT_WIDTH, CLIENT_HEIGHT)
        note(f"held picture at {time_text} s: {pixels} pixels differ from the still at that time (block means "
             f"{score:.2f}), {far:.2f} from the still 62 s away")
        if score > SAME_PICTURE_LIMIT or pixels > SAME_STILL_PIXELS:
            raise Failure(f"the held picture differs from doz-capture --at {time_text} in {pixels} pixels "
                          f"(block means {score:.2f})")
        if far < DIFFERENT_PICTURE_MINIMUM:
            raise Failure(f"the still 62 s away differs by only {far:.2f}: the comparison tells nothing")

    def write_fragment(self, text):
        # Saved as many editors do: a new file renamed over the old one.
        path = os.path.join(self.shaders, "scene.frag")
        with open(path + ".tmp", "w") as f:
            f.write(text)
        os.replace(path + ".tmp", path)


def author_session(session):
    first = session.wait_for("the author title", lambda _, t: t is not None)
    if not START_AT <= first.time < START_AT + 15 or first.paused or first.reloads != 0:
        raise Failure(f"the first author title is {session.titles[-1]!r}, not a run from {START_AT} s")
    session.client_area()
    made = sorted(os.listdir(session.tracks))
    if len([name for name in made if name.endswith(".track")]) != 15 or "rows.txt" not in made:
        raise Failure(f"the tracks folder was made with {made}, not the 15 built-in tracks and rows.txt")

    # Pause: the title says so, the time stands, and the picture is the still at that time.
    session.press("space")
    held = session.wait_for("paused", lambda _, t: t is not None and t.paused)
    time.sleep(1.0)
    again = session.wait_for("paused", lambda _, t: t is not None and t.paused)
    if again.time != held.time:
        raise Failure(f"the time moved while paused: {held.time} then {again.time}")
    session.compare_with_still(session.screenshot("paused"), held.time_text)
    tracks_in_the_picture(session, held)
    held = fly_and_key(session, held)
    let_go_elsewhere(session, held)

    # Seeks by keys while paused; each stays paused.
    expected = held.time
    for key, step in (("Left", -1.0), ("Next", 2.0), ("shift+Right", 0.1), ("period", 1 / 60),
                      ("period", 1 / 60), ("comma", -1 / 60)):
        session.press(key)
        expected = max(0.0, expected + step)
        session.held_time(expected, f"{key} to {expected:.3f} s")
    session.press("Home")
    session.held_time(0.0, "Home")
    session.press("Next", "Next", "Next")
    session.held_time(6.0, "three bars")
    base = session.screenshot("six-seconds")
    # Reached by keys alone, the held time is exactly 6 s: the same picture as the still.
    session.compare_with_still(base, "6.00")

    # An edit of the copy of the stages: the picture turns negative and the counter goes to 1.
    edited = self_inverting(session.original)
    session.write_fragment(edited)
    session.wait_for("[reload 1]", lambda _, t: t is not None and t.reloads == 1 and t.paused, RELOAD_LIMIT_S)
    negative = session.wait_for_picture(
        "edited", "the edit did not change the picture",
        lambda rgb: pictures.difference(base, rgb, CLIENT_WIDTH, CLIENT_HEIGHT) >= DIFFERENT_PICTURE_MINIMUM)
    note(f"the edit changed the picture by {pictures.difference(base, negative, CLIENT_WIDTH, CLIENT_HEIGHT):.2f}")

    # A broken edit: the picture stays, the title says why, the log names the file.
    session.write_fragment(edited.replace("O = vec4(1. - col, 1.);", "O = vec4(1. - col, 1.); undeclaredName;"))
    session.wait_for("reload failed", lambda text, _: text.startswith("reload failed: ") and "undeclaredName" in text,
                     RELOAD_LIMIT_S)
    # Long enough for a new program's first draw, had the broken one replaced it.
    time.sleep(3.0)
    kept = session.screenshot("broken")
    still_same = pictures.difference(negative, kept, CLIENT_WIDTH, CLIENT_HEIGHT)
    note(f"after the broken edit the picture differs by {still_same:.2f}")
    if still_same > SAME_PICTURE_LIMIT:
        raise Failure(f"the broken edit changed the picture by {still_same:.2f}")
    if session.kind == "linux":
        output = session.output()
        if "scene.frag" not in output or "undeclaredName" not in output:
            raise Failure(f"the compile log with the file name is not in the output: {output[-1500:]!r}")

    # The fix: back to the original stage, counter 2, the original picture.
    session.write_fragment(session.original)
    session.wait_for("[reload 2]", lambda _, t: t is not None and t.reloads == 2, RELOAD_LIMIT_S)
    fixed = session.wait_for_picture(
        "fixed", "the fixed stage did not give the original picture back",
        lambda rgb: pictures.difference(base, rgb, CLIENT_WIDTH, CLIENT_HEIGHT) <= SAME_PICTURE_LIMIT)
    note(f"after the fix the picture differs by {pictures.difference(base, fixed, CLIENT_WIDTH, CLIENT_HEIGHT):.2f} "
         "from before the edits")

    folder_comes_and_goes(session, base, edited)
    held_keys(session)

    # Playing (the held Space resumed once), set a loop with B and N, and see the time stay inside it.
    session.press("b")
    start = session.wait_for("playing", lambda _, t: t is not None and not t.paused).time
    session.wait_for("a second more", lambda _, t: t is not None and t.time > start + 1.0)
    session.press("n")
    looped = session.wait_for("a loop", lambda _, t: t is not None and t.loop is not None)
    low, high = looped.loop
    if not start - 0.3 <= low < high:
        raise Failure(f"the loop {low}-{high} does not start where B was pressed ({start})")
    # The title is written after a frame is drawn and reads the clock again: it may show a time up to
    # about a frame past the loop's end.
    frame_s = 1.0 / max(1, looped.fps)
    seen = []
    deadline = time.monotonic() + max(3.0, 2.5 * (high - low))
    while time.monotonic() < deadline:
        text = session.title() or ""
        match = AUTHOR_TITLE.match(text)
        if match:
            seen.append(Title(match).time)
        time.sleep(0.05)
    outside = [t for t in seen if not low - 0.01 <= t <= high + max(0.5, 2.5 * frame_s)]
    wrapped = any(b < a for a, b in zip(seen, seen[1:]))
    note(f"times seen in the loop {low}-{high}: {min(seen):.2f} to {max(seen):.2f}, wrapped: {wrapped}")
    if outside or not wrapped:
        raise Failure(f"the loop {low}-{high} did not hold the time: outside {outside[:5]}, wrapped {wrapped}")

    # F11: borderless over the whole screen, and back to the window as it was.
    session.press("F11")
    session.wait_for_geometry("fullscreen", lambda x, y, w, h: (x, y, w, h) == (0, 0, SCREEN_WIDTH, SCREEN_HEIGHT))
    session.press("F11")
    session.wait_for_geometry("windowed again", lambda x, y, w, h: w < SCREEN_WIDTH and h < SCREEN_HEIGHT and
                              w >= CLIENT_WIDTH and h >= CLIENT_HEIGHT)

    after = session.titles[session.titles.index(next(t for t in session.titles if AUTHOR_TITLE.match(t))):]
    strays = [t for t in after if not AUTHOR_TITLE.match(t) and not t.startswith("reload failed: ") and
              not t.startswith("stages missing: ") and not t.startswith("tracks: ") and
              not FLY_TITLE.match(t)]
    if strays:
        raise Failure(f"titles other than the author title during the session: {strays[:5]}")

    session.press("Escape")
    code = session.process.wait(timeout=30)
    note(f"ended with code {code}")
    if code != 0:
        raise Failure(f"exit code {code} after Escape")


def write_track_file(session, name, data):
    # Saved as editors save: a new file renamed over the old one.
    path = os.path.join(session.tracks, name)
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    os.replace(path + ".tmp", path)


def tracks_in_the_picture(session, held):
    """Paused: a camera key saved into the tracks folder moves the held picture, which is then doz-capture's
    still with those tracks; a damaged file is named in the title and its key goes; the empty track file
    brings the picture back."""
    base = session.screenshot("before-key")

    def same_as_base(rgb):
        return pictures.difference(base, rgb, CLIENT_WIDTH, CLIENT_HEIGHT) <= SAME_PICTURE_LIMIT

    name = "sync_camera-3Apos.z.track"
    # One key at row 0: the eye 6 units up, held (step).
    write_track_file(session, name, struct.pack("<iifB", 1, 0, 6.0, 0))
    session.wait_for_picture(
        "camera-key", "a camera key in the tracks folder did not move the picture",
        lambda rgb: pictures.difference(base, rgb, CLIENT_WIDTH, CLIENT_HEIGHT) >= MOVED_CAMERA_MINIMUM)
    time.sleep(0.5)
    session.compare_with_still(session.screenshot("camera-key"), held.time_text, session.tracks)
    write_track_file(session, name, b"\x01\x00\x00")
    session.wait_for("the damaged track file named", lambda text, _: text.startswith("tracks: ") and
                     name + ": refused" in text, RELOAD_LIMIT_S)
    session.wait_for_picture("damaged-track", "the damaged file's key stayed in the picture", same_as_base)
    write_track_file(session, name, bytes(4))
    session.wait_for("the author title back", lambda _, t: t is not None and t.paused, RELOAD_LIMIT_S)
    if not same_as_base(session.screenshot("key-gone")):
        raise Failure("the picture did not come back with the track's keys gone")


def folder_comes_and_goes(session, base, edited):
    """Paused at 6 s with the original stage and [reload 2]: the folder renamed away, made again, deleted,
    copied back; a stage file gone for a while."""
    def same_as_base(rgb):
        return pictures.difference(base, rgb, CLIENT_WIDTH, CLIENT_HEIGHT) <= SAME_PICTURE_LIMIT

    def author_title_with(reloads):
        return lambda _, t: t is not None and t.reloads == reloads and t.paused

    away = session.shaders + ".away"
    os.rename(session.shaders, away)
    session.wait_for("stages missing", lambda text, _: text.startswith("stages missing: no such folder: "),
                     RELOAD_LIMIT_S)
    # Made again, the edited stage in it: the first complete pair is loaded.
    os.mkdir(session.shaders)
    shutil.copy(os.path.join(away, "scene.vert"), session.shaders)
    session.write_fragment(edited)
    session.wait_for("[reload 3] after the folder came back", author_title_with(3), RELOAD_LIMIT_S)
    session.wait_for_picture(
        "folder-again", "the stage of the folder made again did not change the picture",
        lambda rgb: pictures.difference(base, rgb, CLIENT_WIDTH, CLIENT_HEIGHT) >= DIFFERENT_PICTURE_MINIMUM)
    # An edit after that is seen too.
    session.write_fragment(session.original)
    session.wait_for("[reload 4] for an edit in the new folder", author_title_with(4), RELOAD_LIMIT_S)
    session.wait_for_picture("edit-again", "the edit in the new folder did not bring the picture back",
                             same_as_base)

    # Deleted and copied back unchanged (the away copy holds the original): the title clears, nothing builds.
    shutil.rmtree(session.shaders)
    session.wait_for("stages missing", lambda text, _: text.startswith("stages missing: "), RELOAD_LIMIT_S)
    shutil.copytree(away, session.shaders)
    session.wait_for("the title back, still [reload 4]", author_title_with(4), RELOAD_LIMIT_S)
    # A stage that cannot be read for a while (an editor that deletes before it writes), then back unchanged.
    fragment = os.path.join(session.shaders, "scene.frag")
    os.rename(fragment, fragment + ".held")
    session.wait_for("scene.frag missing",
                     lambda text, _: text.startswith("stages missing: the folder has no scene.frag"), RELOAD_LIMIT_S)
    os.rename(fragment + ".held", fragment)
    session.wait_for("the failure cleared, still [reload 4]", author_title_with(4), RELOAD_LIMIT_S)
    kept = session.screenshot("folder-back")
    if not same_as_base(kept):
        raise Failure("the picture changed while the folder came and went unchanged")
    shutil.rmtree(away)


def held_keys(session):
    """Paused at 6 s: a held seek key scrubs, a held R reloads once, a held Space resumes once."""
    session.hold("Right", 1.5)
    scrubbed = session.wait_for("scrubbing", lambda _, t: t is not None and t.paused and t.time >= 9.0)
    note(f"holding Right for 1.5 s moved the held time to {scrubbed.time_text} s")
    reloads = scrubbed.reloads
    session.hold("r", 1.5)
    session.wait_for("one reload for a held R", lambda _, t: t is not None and t.reloads > reloads, RELOAD_LIMIT_S)
    session.hold("space", 1.5)
    session.wait_for("playing after a held Space", lambda _, t: t is not None and not t.paused)
    # Long enough for the reloads and toggles of any repeats to show.
    time.sleep(4.0)
    after = session.wait_for("the title", lambda _, t: t is not None)
    if after.reloads != reloads + 1 or after.paused:
        raise Failure(f"after held R and Space: {session.titles[-1]!r}, not [reload {reloads + 1}] and playing")


def self_inverting(fragment):
    """The stage with its picture turned negative where it writes its colour."""
    if fragment.count(FRAGMENT_OUTPUT) != 1:
        raise Failure(f"the fragment stage does not write its colour as {FRAGMENT_OUTPUT!r} once")
    return fragment.replace(FRAGMENT_OUTPUT, "O = vec4(1. - col, 1.);")


def camera_track_keys(session):
    """The keys of the eight camera track files, by name: (row, value, interpolation) each."""
    keys = {}
    for name in ("pos.x", "pos.y", "pos.z", "target.x", "target.y", "target.z", "roll", "fov"):
        path = os.path.join(session.tracks, f"sync_camera-3A{name}.track")
        # A track without a file has no keys.
        data = bytes(4)
        if os.path.exists(path):
            with open(path, "rb") as f:
                data = f.read()
        (count,) = struct.unpack_from("<i", data)
        keys[name] = [struct.unpack_from("<ifB", data, 4 + 9 * i) for i in range(count)]
    return keys


def fly_and_key(session, held):
    """Paused: F flies (the title says so), W moves the view, K keys it at the held time's row into every
    camera track file (linear), F lands back on the author title, and Ctrl+Z takes the keys out again."""
    before = camera_track_keys(session)
    session.press("f")
    session.wait_for("fly mode", lambda text, _: text.endswith("  fly"))
    session.hold("w", 0.4)
    session.press("k")
    row = int(held.time * 16 + 1e-3)
    session.wait_for(f"the view keyed at row {row}", lambda text, _: text.endswith(f"  fly  keyed row {row}"))
    keyed = camera_track_keys(session)
    for name, keys in keyed.items():
        if [k for k in keys if k[0] == row and k[2] == 1] == [] or len(keys) != len(before[name]) + 1:
            raise Failure(f"camera:{name} holds no new linear key at row {row}: {keys}")
    if keyed["pos.x"] == before["pos.x"] and keyed["pos.y"] == before["pos.y"]:
        raise Failure("the flown view was keyed where it started")
    session.press("f")
    # Paused inside the row, K moved the time to the row's start: what stands now is what was keyed.
    landed = session.wait_for("the author title after flying, at the keyed row's start",
                              lambda _, t: t is not None and t.paused and abs(t.time - row / 16) < 1e-6)
    session.press("ctrl+z")
    session.wait_for("the undo", lambda text, _: text.endswith(f"  undone row {row}"))
    if camera_track_keys(session) != before:
        raise Failure("Ctrl+Z left keys in the camera track files")
    session.wait_for("the author title after the undo", lambda _, t: t is not None and t.paused)
    return landed


def keyed_and_undone(session, row):
    """K at `row` while flying, the eight values it keyed read from the files, then Ctrl+Z."""
    session.press("k")
    session.wait_for(f"the view keyed at row {row}", lambda text, _: text.endswith(f"  fly  keyed row {row}"))
    values = {}
    for name, keys in camera_track_keys(session).items():
        at_row = [value for key_row, value, _ in keys if key_row == row]
        if len(at_row) != 1:
            raise Failure(f"camera:{name} holds no key at row {row}: {keys}")
        values[name] = at_row[0]
    session.press("ctrl+z")
    session.wait_for("the undo", lambda text, _: text.endswith(f"  undone row {row}"))
    return values


def looking(values):
    """Where a keyed view looks: its target less its eye (a move forward keeps it, a turn changes it)."""
    return [values[f"target.{axis}"] - values[f"pos.{axis}"] for axis in "xyz"]


def let_go_elsewhere(session, held):
    """Paused, flying: a right-drag turns the view until its release, and motion after it turns nothing; a
    button and W held while the focus goes to another window are let go: the picture stands while the focus
    is away, and the motion that came meanwhile turned nothing. (Back in the window, Wine mends its own key
    state, so only the picture while away shows a key held on.)"""
    row = int(held.time * 16 + 1e-3)
    left, top = session.client_area()
    # The other window, in the corner that neither program's window covers.
    other = subprocess.Popen(["xmessage", "-title", OTHER_WINDOW, "-geometry", "-0-0", "editor"], env=session.env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        _, found = run_tool(["xdotool", "search", "--sync", "--onlyvisible", "--name", f"^{OTHER_WINDOW}$"],
                            session.env, timeout=30)
        if not found.split():
            raise Failure("the other window did not show")
        fly_and_look_away(session, row, left, top, found.split()[0])
    finally:
        stop_process(other)


def fly_and_look_away(session, row, left, top, other_window):
    def xdotool(*args):
        run_tool(["xdotool", *args], session.env)
        note(f"xdotool {' '.join(args)}")

    session.press("f")
    session.wait_for("fly mode", lambda text, _: text.endswith("  fly"))
    start = keyed_and_undone(session, row)
    xdotool("mousemove", str(left + CLIENT_WIDTH // 2), str(top + CLIENT_HEIGHT // 2))
    xdotool("mousedown", "3")
    xdotool("mousemove_relative", "--", "30", "0")
    xdotool("mouseup", "3")
    dragged = keyed_and_undone(session, row)
    if looking(dragged) == looking(start):
        raise Failure("a right-drag did not turn the flown view")
    xdotool("mousemove_relative", "--", "30", "0")
    if keyed_and_undone(session, row) != dragged:
        raise Failure("the view turned on after the right button's release")

    xdotool("mousedown", "1")
    xdotool("keydown", "w")
    # Frames fly forward meanwhile.
    time.sleep(0.4)
    xdotool("windowfocus", "--sync", other_window)
    xdotool("mousemove_relative", "--", "-40", "0")
    # Elsewhere for a while, as with an editor: the picture stands (a second's flight moves it far).
    away = session.screenshot("focus-away")
    time.sleep(1.0)
    later_away = session.screenshot("focus-away-later")
    moved = pictures.difference(away, later_away, CLIENT_WIDTH, CLIENT_HEIGHT)
    note(f"with the focus elsewhere the picture changed by {moved:.2f} in a second")
    if moved > SAME_PICTURE_LIMIT:
        raise Failure(f"the camera flew on with the focus elsewhere: the picture changed by {moved:.2f}")
    xdotool("keyup", "w")
    xdotool("mouseup", "1")
    send_take_focus(session.window, session.env["DISPLAY"])
    let_go = keyed_and_undone(session, row)
    if let_go["pos.x"] == dragged["pos.x"] and let_go["pos.y"] == dragged["pos.y"]:
        raise Failure("W held did not move the view: the check tells nothing")
    turned = max(abs(a - b) for a, b in zip(looking(let_go), looking(dragged)))
    note(f"after the focus went the view looks {turned:.6f} away from where it looked before")
    if turned > SAME_LOOK_LIMIT:
        raise Failure(f"the view turned by {turned:.3f} after the focus went, with the button held")
    session.press("f")
    session.wait_for("the author title after flying", lambda _, t: t is not None and t.paused)


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("linux", "windows"):
        print(__doc__)
        return 2
    kind, exe, capture = sys.argv[1:]
    if not os.path.isfile(exe):
        if kind == "windows":
            print(f"SKIPPED: no Windows executable at {exe}")
            return SKIPPED
        print(f"no executable at {exe}")
        return 1
    scratch = make_scratch("doz-author-")
    session = None
    attempts = []

    def start():
        # Each attempt in a folder of its own: a fresh prefix and a fresh copy of the stages.
        attempts.append(os.path.join(scratch, f"attempt-{len(attempts) + 1}"))
        os.makedirs(attempts[-1])
        return Session(kind, exe, capture, attempts[-1])

    try:
        session = run_under_wine_display(start)
        author_session(session)
        return 0
    except (Failure, subprocess.TimeoutExpired) as failure:
        note(f"FAILED: {failure}")
        if session is not None:
            print("program output:\n" + session.output()[-3000:])
        return 1
    finally:
        if session is not None:
            session.close()
        if os.environ.get("DOZ_E2E_KEEP"):
            note(f"kept {scratch}")
        else:
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
