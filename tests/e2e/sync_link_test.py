#!/usr/bin/env python3
"""Author mode linked to a sync editor, end to end: the test's own editor (sync_editor.py) on a free
loopback port, the executable in author mode on a small virtual X screen with --sync and a scratch tracks
folder.

linux, one session:
- the demo greets, and after the editor's greeting asks for every track in the documented order;
- the editor's PAUSE and SET_ROW move the title's time (to the row's time, to the sample);
- while playing the demo sends rising rows, and once paused its last row is the held time's; its own seek
  by a key sends that row;
- keys on camera tracks and SAVE_TRACKS: every track's file holds exactly the keys' bytes, and tracks.rocket
  (read as XML) the same keys in table order with 1,984 rows; a deleted key
  is gone from the next save; where doz-capture reads tracks, the held picture is its still with the saved
  files and not the one without them;
- the editor hangs up: the title says so; it comes back, is asked for the tracks again, and its keys are
  the ones saved from then on;
- bad input (an unknown command, a track index never asked for, an interpolation above 3, a row beyond the
  limit, a wrong greeting, no greeting within 2 s) drops the connection with the reason in the title and
  the error output, and the demo plays on and connects again;
- Escape ends with code 0.

windows (under Wine, sound to a PulseAudio null sink): the greeting and the track requests, a key, a save.

    sync_link_test.py linux EXE CAPTURE
    sync_link_test.py windows EXE CAPTURE

Exits 77 (skipped) when the Windows executable has not been built.
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

import author_test
import pictures
from harness import (SKIPPED, Failure, PulseServer, WinePrefix, display_unavailable_or, make_scratch, note,
                     read_rgb_image, run_tool, run_under_wine_display, start_virtual_screen, wait_for_demo_window,
                     wait_until)
from sync_editor import (LINEAR, RAMP, SMOOTH, STEP, EditorFailure, SyncEditor, track_file_bytes,
                         track_file_name)

# The documented tracks, in the order the demo asks for them.
TRACKS = ["camera:pos.x", "camera:pos.y", "camera:pos.z", "camera:target.x", "camera:target.y",
          "camera:target.z", "camera:roll", "camera:fov", "light:exposure", "fog:density", "beat:strength",
          "hero:fold", "grade:saturation", "grade:contrast", "grade:warmth"]
ROWS_PER_SECOND = 16  # 120 beats a minute, 8 rows a beat
SAMPLE = 1.0 / 44100
MAX_ROW = 1 << 20
TITLE = re.compile(author_test.AUTHOR_TITLE.pattern.rstrip("$") + r"(?:  (.*))?$")
CONNECT_LIMIT_S = 60
COMMAND_LIMIT_S = 20


class SyncSession(author_test.Session):
    def __init__(self, kind, exe, capture, scratch, editor):
        self.kind, self.capture, self.scratch = kind, capture, scratch
        self.screen = self.prefix = self.pulse = self.process = None
        self.tracks = os.path.join(scratch, "tracks")
        self.screen, display = start_virtual_screen(author_test.SCREEN_WIDTH, author_test.SCREEN_HEIGHT)
        self.env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy")
        tracks = self.tracks
        command = [exe]
        if kind == "windows":
            self.prefix = WinePrefix(scratch, display)
            self.pulse = PulseServer(scratch)
            self.env = dict(self.prefix.env, PULSE_SERVER=self.pulse.server)
            tracks = "Z:" + tracks.replace("/", "\\")
            command = [self.prefix.wine, exe]
        command += ["--author", "--window", f"{author_test.CLIENT_WIDTH}x{author_test.CLIENT_HEIGHT}", "--at",
                    "30", "--tracks", tracks, "--sync", f"127.0.0.1:{editor.port}"]
        self.log_path = os.path.join(scratch, "program.log")
        self.log = open(self.log_path, "w")
        # In the scratch folder: the built-in stages are written to shaders/ there.
        self.process = subprocess.Popen(command, env=self.env, stdout=self.log, stderr=subprocess.STDOUT,
                                        cwd=scratch, start_new_session=True)
        note(f"started {' '.join(command)}")
        self.window = None
        self.titles = []

    def find_window(self):
        self.window = wait_for_demo_window(self.process, self.env, author_test.WINDOW_LIMIT_S)

    def wait_for(self, what, accept, limit_s=author_test.TITLE_LIMIT_S):
        """Polls the title until accept(Title or None, note) holds; returns that Title."""

        def accepted():
            text = self.title() or ""
            match = TITLE.match(text)
            parsed = author_test.Title(match) if match else None
            return (parsed,) if match and accept(parsed, match[8] or "") else None

        (parsed,) = wait_until(accepted, limit_s, lambda: f"no title with {what} within {limit_s} s; titles "
                               f"{self.titles[-8:]}", process=self.process,
                               ended=lambda code: f"the program ended with code {code} waiting for {what}")
        return parsed

    def wait_for_row_time(self, row, what):
        expected = row / ROWS_PER_SECOND
        return self.wait_for(what, lambda t, _: t.paused and abs(t.time - expected) < SAMPLE)

    def saved(self, name):
        path = os.path.join(self.tracks, track_file_name(name))
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def document(self):
        """tracks.rocket as the GNU Rocket editor loads it: (rows, [(track name, [(row, value, interpolation)])]),
        values as 32-bit floats; None while it is missing or not well-formed XML."""
        try:
            root = ElementTree.parse(os.path.join(self.tracks, "tracks.rocket")).getroot()
        except (OSError, ElementTree.ParseError):
            return None
        as_f32 = lambda text: struct.unpack("<f", struct.pack("<f", float(text)))[0]
        return (root.get("rows"), [(track.get("name"), [(int(key.get("row")), as_f32(key.get("value")),
                                                        int(key.get("interpolation"))) for key in track.iter("key")])
                                   for track in root.iter("track")])

    def wait_for_files(self, keys, what):
        """Waits until every track's file holds exactly `keys` (name: [(row, value, interpolation)]), and the
        editor's document beside them the same keys."""
        expected = {name: track_file_bytes(keys.get(name, [])) for name in TRACKS}
        wait_until(lambda: all(self.saved(name) == data for name, data in expected.items()), COMMAND_LIMIT_S,
                   lambda: f"{what}: the files hold " + str({n: self.saved(n) for n in TRACKS if
                                                              self.saved(n) != expected[n]}))
        document = ("1984", [(name, [(row, struct.unpack("<f", struct.pack("<f", value))[0], kind)
                                     for row, value, kind in keys.get(name, [])]) for name in TRACKS])
        wait_until(lambda: self.document() == document, COMMAND_LIMIT_S,
                   lambda: f"{what}: tracks.rocket holds {self.document()}, not {document}")
        note(f"{what}: every track's file holds its keys' bytes, and tracks.rocket the same keys")


def connect(editor, session, what):
    """Takes the demo's next connection: greeting, then the track requests in order."""
    took = editor.accept(CONNECT_LIMIT_S)
    editor.greet()
    names = editor.read_tracks(len(TRACKS))
    if names != TRACKS:
        raise Failure(f"{what}: the tracks were asked for as {names}")
    note(f"{what}: connected after {took:.2f} s; greeted, then asked for the {len(names)} tracks in order")


def compare_with_tracks_still(session, title):
    """The held picture against doz-capture's still at the title's time with the saved tracks: the same;
    against the still without them: not."""
    width, height = author_test.CLIENT_WIDTH, author_test.CLIENT_HEIGHT
    rgb = session.screenshot("keyed")
    stills = {}
    for label, extra in (("with", ["--tracks", session.tracks]), ("without", [])):
        path = os.path.join(session.scratch, f"still-{label}.png")
        done = subprocess.run([session.capture, "--at", title.time_text, "--size", f"{width}x{height}", "-o",
                               path] + extra, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                              timeout=300)
        if done.returncode != 0:
            raise Failure(f"doz-capture {label} the tracks failed: {done.stdout.strip()}")
        stills[label] = read_rgb_image(path, width, height)
    same = pictures.difference(rgb, stills["with"], width, height)
    apart = pictures.difference(rgb, stills["without"], width, height)
    note(f"keyed picture: {same:.2f} from the still with the saved tracks, {apart:.2f} from the one without")
    if same > author_test.SAME_PICTURE_LIMIT:
        raise Failure(f"the keyed picture differs from doz-capture --tracks by {same:.2f}")
    if apart < author_test.DIFFERENT_PICTURE_MINIMUM / 4:
        raise Failure(f"the key hardly moved the picture: {apart:.2f} from the still without tracks")


def transport_and_rows(editor, session):
    # As editors do on connect: pause, then their cursor's row.
    editor.pause(True)
    editor.set_row(800)
    session.wait_for_row_time(800, "the editor's pause and row 800")
    editor.set_row(123)
    session.wait_for_row_time(123, "the editor's row 123")
    # The rows sent before the editor took over (the start's); none echo the editor's own.
    before = editor.read_rows_for(0.5)
    if 123 in before or 800 in before:
        raise Failure(f"the demo echoed the editor's rows: {before}")

    editor.pause(False)
    session.wait_for("playing", lambda t, _: not t.paused)
    rows = editor.read_rows_for(30.0, least=3)
    note(f"rows while playing: {rows[:12]}{' ...' if len(rows) > 12 else ''}")
    if len(rows) < 3 or any(b <= a for a, b in zip(rows, rows[1:])) or rows[0] < 123:
        raise Failure(f"the demo's rows while playing are {rows}")
    editor.pause(True)
    held = session.wait_for("the editor's pause", lambda t, _: t.paused)
    time.sleep(0.5)
    editor.read_rows_for(0.5)
    last = editor.rows[-1][1]
    if last != int(held.time * ROWS_PER_SECOND + 1e-6):
        raise Failure(f"paused at {held.time_text} s, the demo's last row is {last}")
    note(f"paused at {held.time_text} s; the demo's last row {last} is that time's")

    # The demo's own move: one second on, sixteen rows on.
    session.press("Right")
    moved = session.wait_for("the Right key's seek", lambda t, _: t.paused and abs(t.time - held.time - 1) < 0.0101)
    expected = int(moved.time * ROWS_PER_SECOND + 1e-6)
    wait_until(lambda: editor.read_rows_for(0.2) or editor.rows[-1][1] == expected, COMMAND_LIMIT_S,
               lambda: f"after the seek to {moved.time_text} s the demo's last row is {editor.rows[-1][1]}, not "
               f"{expected}")
    if editor.rows[-1][1] != expected:
        raise Failure(f"after the seek the demo sent row {editor.rows[-1][1]}, not {expected}")
    note(f"the demo's seek to {moved.time_text} s sent row {expected}")


def keys_and_saves(editor, session):
    editor.set_row(480)
    title = session.wait_for_row_time(480, "the editor's row 480 (30 s)")
    editor.set_key(0, 480, 2.5, STEP)
    editor.set_key(3, 470, -1.0, LINEAR)
    editor.set_key(3, 490, 1.0, SMOOTH)
    editor.set_key(7, 0, 7.25, RAMP)
    editor.save()
    keys = {"camera:pos.x": [(480, 2.5, STEP)], "camera:target.x": [(470, -1.0, LINEAR), (490, 1.0, SMOOTH)],
            "camera:fov": [(0, 7.25, RAMP)]}
    session.wait_for_files(keys, "the first save")
    compare_with_tracks_still(session, title)
    editor.delete_key(3, 490)
    editor.delete_key(7, 0)
    editor.save()
    del keys["camera:fov"]
    keys["camera:target.x"] = [(470, -1.0, LINEAR)]
    session.wait_for_files(keys, "the save after two deletions")


def editor_restarts(editor, session):
    editor.hang_up()
    session.wait_for("the editor gone", lambda _, n: "lost the editor" in n)
    connect(editor, session, "the editor back")
    # The editor holds one key now: the tracks are what it answers.
    editor.set_key(0, 16, 1.0, RAMP)
    editor.save()
    session.wait_for_files({"camera:pos.x": [(16, 1.0, RAMP)]}, "a save after the editor came back")


BAD_INPUTS = [
    ("an unknown command", bytes([9]), "unknown command 9"),
    ("a track never asked for", struct.pack(">BIIfB", 0, len(TRACKS), 5, 1.0, 0), f"for track {len(TRACKS)}"),
    ("an interpolation above 3", struct.pack(">BIIfB", 0, 2, 5, 1.0, 4), "interpolation 4"),
    ("a row beyond the limit", struct.pack(">BI", 3, MAX_ROW + 1), f"row {MAX_ROW + 1}"),
]


def bad_input(editor, session):
    """On the connection open, then each on a new one."""
    for index, (what, data, message) in enumerate(BAD_INPUTS):
        if index > 0:
            connect(editor, session, what)
        editor.send_raw(data)
        if not editor.wait_for_hang_up(COMMAND_LIMIT_S):
            raise Failure(f"{what}: the demo kept the connection")
        session.wait_for(f"{what} in the title", lambda _, n: message in n)
    for what, answer, message in (("a wrong greeting", b"hello, demo?", "greeting is not"),
                                  ("no greeting", None, "no greeting within 2 s")):
        editor.accept(CONNECT_LIMIT_S)
        editor.read_exactly(19, COMMAND_LIMIT_S)
        if answer is not None:
            editor.send_raw(answer)
        if not editor.wait_for_hang_up(COMMAND_LIMIT_S):
            raise Failure(f"{what}: the demo kept the connection")
        session.wait_for(f"{what} in the title", lambda _, n: message in n)
    output = session.output()
    missing = [m for _, _, m in BAD_INPUTS if m not in output]
    missing += [m for m in ("greeting is not", "no greeting within 2 s") if m not in output]
    if missing:
        raise Failure(f"the error output does not say {missing}")
    # It plays on, and connects again.
    connect(editor, session, "after the bad input")
    editor.pause(False)
    first = session.wait_for("playing", lambda t, _: not t.paused)
    session.wait_for("the time moving on", lambda t, _: not t.paused and t.time > first.time + 0.5)


def linux_session(editor, session):
    connect(editor, session, "start")
    session.find_window()
    session.wait_for("the link in the title", lambda _, n: n == f"sync 127.0.0.1:{editor.port}")
    transport_and_rows(editor, session)
    keys_and_saves(editor, session)
    editor_restarts(editor, session)
    bad_input(editor, session)
    session.press("Escape")
    code = session.process.wait(timeout=30)
    if code != 0:
        raise Failure(f"Escape ended the run with code {code}")


def windows_session(editor, session):
    connect(editor, session, "start")
    session.find_window()
    editor.pause(True)
    editor.set_row(800)
    session.wait_for_row_time(800, "the editor's row 800 (50 s)")
    editor.set_key(0, 480, 2.5, STEP)
    editor.set_key(14, 100, -0.5, SMOOTH)
    editor.save()
    session.wait_for_files({"camera:pos.x": [(480, 2.5, STEP)], "grade:warmth": [(100, -0.5, SMOOTH)]},
                           "the save")


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
    scratch = make_scratch("doz-sync-")
    # The current attempt's editor and session: each attempt in a folder of its own, with a fresh prefix.
    started = {"editor": None, "session": None, "attempts": 0}

    def stop_started():
        if started["editor"] is not None:
            started["editor"].close()
        if started["session"] is not None:
            started["session"].close()
        started.update(editor=None, session=None)

    def attempt():
        stop_started()
        started["attempts"] += 1
        folder = os.path.join(scratch, f"attempt-{started['attempts']}")
        os.makedirs(folder)
        started["editor"] = editor = SyncEditor()
        started["session"] = session = SyncSession(kind, exe, capture, folder, editor)
        try:
            (linux_session if kind == "linux" else windows_session)(editor, session)
        except (Failure, EditorFailure) as failure:
            raise display_unavailable_or(failure, session.output()) if kind == "windows" else failure

    try:
        run_under_wine_display(attempt)
        note("passed")
        return 0
    except (Failure, EditorFailure, subprocess.TimeoutExpired) as failure:
        note(f"FAILED: {failure}")
        if started["session"] is not None:
            print("program output:\n" + started["session"].output()[-3000:])
        return 1
    finally:
        stop_started()
        if os.environ.get("DOZ_E2E_KEEP"):
            note(f"kept {scratch}")
        else:
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
