#!/usr/bin/env python3
"""The Windows executable end to end under Wine on a 320x240 virtual X screen, each run in a fresh Wine
prefix: what a user sees (titles, the screen, the exit code and when it comes) and the calls the program
makes, read from Wine's own trace (WINEDEBUG=+timestamp,+pid,+loaddll,+relay,+opengl,... with the relay
limited to the program's Win32, WGL and winmm calls, and the class, cursor, winmm and sound-driver
channels) and from an apitrace recording of the OpenGL calls that reach Mesa.

    windows_exe_test.py full-run EXE --source DIR --capture DOZ_CAPTURE [--track-frames-tool TOOL]
        e2e.WindowsFullRunUnderWine (about 3 min): a whole run with sound going to a private PulseAudio
        server's null sink, which takes samples in real time (ALSA's null device runs several times too
        fast under Wine). The window class, window, pixel format, the eighteen entry points, the credits
        texture, the scene program and its uniform table, the wave format and the looping WAVEHDR (read
        from the running process), then every pass of the frame loop, the titles, three plain clicks and a
        Shift click, two screenshots against doz-capture stills at the same music time, and the end after
        124 s of the sound the sink took, with code 0.
    windows_exe_test.py escape EXE --source DIR
    windows_exe_test.py close-request EXE --source DIR
        e2e.WindowsEscapeUnderWine (three runs), e2e.WindowsCloseRequestUnderWine: Escape, or a window
        manager's close request (WM_DELETE_WINDOW), ends the run after the pass in progress with code 0.
    windows_exe_test.py no-sound EXE --source DIR
        e2e.WindowsWithoutSoundDeviceUnderWine (about 2.5 min): with no sound driver at all the run is
        timed by the tick count and still lasts 124 s of wall time, ending with exit code 0.
    windows_exe_test.py compile-log EXE --source DIR --fragment FILE
        e2e.WindowsCompileLogTitleUnderWine (three runs): a variant built in
        build/linux/windows-broken-shader with tests/e2e/broken_scene.frag as its fragment stage shows the
        compile log as its title for the whole run, plays the soundtrack, and ends on a window manager's
        close request after the pass in progress.
    windows_exe_test.py sound EXE --source DIR --sound-match TOOL
        e2e.WindowsSoundUnderWine (about 40 s): untraced (the relay trace starves the sound on a busy
        machine), what the sink takes is the track as mpg123 decodes it; then Escape ends the run.

Every run, however it ends, then goes out the same way, which the traces check: waveOutReset,
waveOutUnprepareHeader, waveOutClose, then wglMakeCurrent(NULL, NULL), wglDeleteContext, ReleaseDC,
DestroyWindow and ShowCursor, each succeeding. A wave device left open at process exit let Wine's PulseAudio
driver tear its context down while the stream's timer thread still ran, which crashed now and then (a jump
to address 0 in that thread, seen with +seh).

    --repeat N runs the mode N times, each in a fresh prefix; --busy N keeps N busy loops running meanwhile
    (`windows_exe_test.py MODE EXE --source . --repeat 10 --busy 2`); a failed run prints what Wine and the
    program said.

On a heavily loaded machine Wine now and then fails to load its X11 display driver in a fresh prefix ("no
driver could be loaded", for its desktop process and the program alike); the program then rightly reports
that it has no OpenGL context and ends with code 1 before any window shows. The test recognises that
message and runs once more in a fresh prefix on a fresh screen.

Exits 77 (skipped) when the executable has not been built. Set DOZ_E2E_KEEP=1 to keep the traces.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import call_sequence as cs
import pictures
from gl_trace import read_gl_trace
from harness import (FIRST_TITLE, FRAME_RATE_TITLE, SKIPPED, Failure, PulseServer, SinkRecording, WinePrefix,
                     display_unavailable_or, glx_tracer, kill_process_group, make_scratch, note, raw_clock, registry_text, run_tool,
                     run_under_wine_display, send_close_request, start_virtual_screen, stop_process,
                     take_screenshot, wait_for_demo_window, wait_until, window_geometry, window_title, write_png)
from sound_check import LIVE_FROM_S, LIVE_KEEP_S, SoundMismatch, check_live_track
from wine_trace import program_events, read_wine_trace

SCREEN = (320, 240)
WINDOW_LIMIT_S = 90
FIRST_FRAME_RATE_TITLE_LIMIT_S = 90
TITLE_LIMIT_S = 6
EXIT_AFTER_KEY_LIMIT_S = 10
# A bound on the wait for the sound to judge, loose for a busy machine.
HEARD_LIMIT_S = 120
# How far the run's length may stray from 124 s of music: start-up of the sound stream and the last frame.
RUN_LENGTH_TOLERANCE_S = 3.0
# On the sink's clock: the device's position may run ahead of what the sink has played by its buffers, and
# the sound goes on after the clock's last reading while the last pass is drawn and the run closes.
CLOCK_AHEAD_OF_SINK_S = 1.0
SOUND_AFTER_LAST_READING_S = 5.0
# Wall time against music time only as a sanity bound: where the cores are busy, Wine's sound thread
# starves and the stream pauses (118 s of gaps in a 124 s run beside two busy loops and other work, under
# the full trace), and the music clock rightly waits for the sound.
WALL_TIME_SANITY_FACTOR = 3.0
# From the last frame to the process's end; loose, for a busy machine.
EXIT_AFTER_LAST_FRAME_S = 5.0
# The hero canister in the pull-out, and a credit sign on the road: midway between two of the camera's
# passes through a sign (about 94.5 s and 100.5 s), whose frames are one flat colour.
SCREENSHOT_TIMES = (20.0, 97.5)
# Loose: the live run's iBeatHalf (which sets the fractal's scale) counts onsets at its own frame rate, its text
# rasteriser is GDI rather than FreeType, and its frame timing is its own, so the still of the same music time
# differs in detail; a wrong time, camera or picture differs far more, as the still 62 s away shows.
STILL_DIFFERENCE_LIMIT = 30.0
# The frame-rate title's interval on the tick count, and how many updates the compile-log run must suppress.
TITLE_INTERVAL_S = 1.0
SUPPRESSED_TITLE_UPDATES = 12
TRACE_CHANNELS = "+timestamp,+pid,+loaddll,+relay,+opengl,+class,+cursor"


class TitleWatcher(threading.Thread):
    """Reads the window title every 50 ms and keeps each change with the time it was seen."""

    def __init__(self, window, env):
        super().__init__(daemon=True)
        self.window, self.env = window, env
        self.titles = []  # (raw clock, title)
        self.done = threading.Event()

    def run(self):
        while not self.done.is_set():
            title = window_title(self.window, self.env)
            if title is None:
                break
            if not self.titles or self.titles[-1][1] != title:
                self.titles.append((raw_clock(), title))
                note(f"title {title!r}")
            time.sleep(0.05)

    def wait_for(self, predicate, limit_s, process, after=0.0):
        def seen_title():
            return next(((seen, title) for seen, title in list(self.titles) if seen >= after and predicate(title)),
                        None)

        return wait_until(seen_title, limit_s,
                          lambda: f"no such title within {limit_s} s; titles: {[t for _, t in self.titles][-5:]}",
                          process=process,
                          ended=lambda code: f"the program ended with code {code} while waiting for a title")

    def stop(self):
        self.done.set()
        self.join(timeout=5)


class DemoRun:
    """One run of the executable in a fresh prefix on its own screen, traced, optionally with a PulseAudio
    null sink and an OpenGL recording."""

    def __init__(self, exe, channels, sound=True, record_gl=False, audio_driver=True, relay=(),
                 record_sound=False, keep_sound_s=0.0):
        self.exe = exe
        self.scratch = make_scratch("doz-wine-")
        self.screen_process = self.prefix = self.pulse = self.process = self.recording = None
        self.trace_path = os.path.join(self.scratch, "wine-trace.txt")
        self.gl_path = os.path.join(self.scratch, "gl.trace") if record_gl else None
        try:
            self.screen_process, self.display = start_virtual_screen(*SCREEN)
            registry = registry_text(r"HKEY_CURRENT_USER\Software\Wine\Debug",
                                     {"RelayInclude": ";".join(cs.RELAY_FUNCTIONS + list(relay))})
            if not audio_driver:
                # An empty driver list: Wine loads no sound driver at all, so no wave device exists.
                registry += registry_text(r"HKEY_CURRENT_USER\Software\Wine\Drivers", {"Audio": ""})
            self.prefix = WinePrefix(self.scratch, self.display, registry)
            env = dict(self.prefix.env, WINEDEBUG=channels,
                       PULSE_SERVER="unix:" + os.path.join(self.scratch, "no-sound-server"))
            if sound:
                self.pulse = PulseServer(self.scratch)
                env["PULSE_SERVER"] = self.pulse.server
                if record_sound:
                    self.recording = SinkRecording(self.pulse, keep_s=keep_sound_s)
            if record_gl:
                tracer = glx_tracer()
                if tracer is None:
                    raise Failure("apitrace is not installed (Debian package apitrace)")
                env.update(LD_PRELOAD=tracer, TRACE_FILE=self.gl_path)
            self.env = env
            self.log = open(os.path.join(self.scratch, "program-output.txt"), "w")
            self.trace = open(self.trace_path, "w")
            self.started = raw_clock()
            self.process = subprocess.Popen([self.prefix.wine, exe], env=env, stdout=self.log, stderr=self.trace,
                                            start_new_session=True)
            note(f"started {os.path.basename(exe)} under Wine with {channels}")
        except BaseException:
            self.close()
            raise

    def wait_for_window(self):
        try:
            self.window = wait_for_demo_window(self.process, self.env, WINDOW_LIMIT_S)
        except Failure as failure:
            raise display_unavailable_or(failure, self.show_output())
        note(f"window {self.window} shown")
        self.titles = TitleWatcher(self.window, self.env)
        self.titles.start()
        return self.window

    def wait_for_exit(self, limit_s):
        try:
            code = self.process.wait(timeout=limit_s)
        except subprocess.TimeoutExpired:
            raise Failure(f"still running after {limit_s:.0f} s")
        self.ended = raw_clock()
        self.titles.stop()
        self.trace.flush()
        if self.recording is not None:
            self.recording.stop()
        if code != 0:
            self.show_output()
        return code

    def show_output(self):
        """What Wine and the program said besides the relay: the reason when a run ends unexpectedly."""
        self.trace.flush()
        self.log.flush()
        with open(self.trace_path, errors="replace") as f:
            said = [line.rstrip("\n") for line in f
                    if not re.search(r":(Call|Ret) |:trace:|:fixme:|Starting thread proc", line)][-25:]
        with open(os.path.join(self.scratch, "program-output.txt"), errors="replace") as f:
            said += f.read().splitlines()[-10:]
        note("Wine and the program said:\n  " + "\n  ".join(said))
        return "\n".join(said)

    def wait_for_trace(self, text, limit_s):
        """Waits until a line of the trace holds `text`; returns when it was seen, on raw_clock(). Reads only
        what the trace gained since the last look: a traced loop writes megabytes a second."""
        wanted, position, pending = text.encode(), 0, b""

        def seen():
            nonlocal position, pending
            self.trace.flush()
            with open(self.trace_path, "rb") as f:
                f.seek(position)
                gained = f.read()
            position += len(gained)
            lines = (pending + gained).split(b"\n")
            pending = lines.pop()
            return any(wanted in line for line in lines) and raw_clock()

        return wait_until(seen, limit_s, f"no {text!r} in the trace within {limit_s} s", interval=0.2,
                          process=self.process, ended=lambda code: f"the program ended with code {code}")

    def read_process_memory(self, address, size):
        """Bytes of the running program: under Wine its address space is that of the Unix process."""
        try:
            with open(f"/proc/{self.process.pid}/mem", "rb") as memory:
                memory.seek(address)
                return memory.read(size)
        except OSError as error:
            note(f"cannot read the program's memory: {error}")
            return None

    def traced_call_argument(self, function, argument):
        """An argument of a relay call already in the trace, while the program runs."""
        self.trace.flush()
        with open(self.trace_path, errors="replace") as f:
            for line in f:
                m = re.search(rf"Call {function}\(([^)]*)\) ret=", line)
                if m:
                    return int(m.group(1).split(",")[argument].split()[0], 16)
        return None

    def program_events(self):
        self.events = read_wine_trace(self.trace_path)
        return program_events(self.events, self.exe)

    def gl_calls(self):
        return read_gl_trace(self.gl_path)

    def close(self):
        if self.process is not None:
            kill_process_group(self.process)
        if getattr(self, "titles", None) is not None:
            self.titles.stop()
        if self.prefix is not None:
            self.prefix.shut_down()
        if self.recording is not None:
            self.recording.stop(settle_s=0.0)
        if self.pulse is not None:
            self.pulse.stop()
        stop_process(self.screen_process)
        for f in (getattr(self, "log", None), getattr(self, "trace", None)):
            if f is not None:
                f.close()
        if os.environ.get("DOZ_E2E_KEEP"):
            shutil.rmtree(os.path.join(self.scratch, "prefix"), ignore_errors=True)
            note(f"traces kept in {self.scratch}")
        else:
            shutil.rmtree(self.scratch, ignore_errors=True)


def read_sources(args):
    """The stages as the program hands them to the driver: the files with the track names put in, by the
    program's own code (--with-track-names)."""
    if not args.with_track_names:
        raise SystemExit("this mode needs --with-track-names")
    stages = []
    for path in (os.path.join(args.source, "shaders", "scene.vert"),
                 args.fragment or os.path.join(args.source, "shaders", "scene.frag")):
        with tempfile.TemporaryDirectory() as folder:
            named = os.path.join(folder, os.path.basename(path))
            subprocess.run([args.with_track_names, path, named], check=True)
            with open(named) as f:
                stages.append(f.read())
    return stages[0], stages[1]


def click(window, env, shift=False):
    run_tool(["xdotool", "mousemove", "--window", window, str(SCREEN[0] // 2), str(SCREEN[1] // 2)], env)
    if shift:
        run_tool(["xdotool", "keydown", "shift", "click", "1", "keyup", "shift"], env)
    else:
        run_tool(["xdotool", "click", "1"], env)


def frac_of(title):
    m = FRAME_RATE_TITLE.match(title)
    return int(m.group(2)) if m else None


def check_geometry(checks, run):
    geometry = window_geometry(run.window, run.env)
    checks.expect(geometry["mapped"] and (geometry["x"], geometry["y"], geometry["width"], geometry["height"]) ==
                  (0, 0) + SCREEN, f"the window covers the {SCREEN[0]}x{SCREEN[1]} screen: {geometry}")


def decoded_track_frames(tool, source):
    if not tool:
        return None
    done = subprocess.run([tool, os.path.join(source, "resources", "soundtrack.mp3")], stdout=subprocess.PIPE,
                          text=True, timeout=300)
    m = re.search(r"(\d+) stereo frames", done.stdout)
    return int(m.group(1)) if m else None


def full_run(args):
    vertex, fragment = read_sources(args)
    checks = cs.Checks()
    run = DemoRun(args.exe, TRACE_CHANNELS + ",+winmm,+pulse", record_gl=True, record_sound=True)
    shots = []
    try:
        run.wait_for_window()
        first_title_seen, _ = run.titles.wait_for(FRAME_RATE_TITLE.match, FIRST_FRAME_RATE_TITLE_LIMIT_S,
                                                  run.process)
        # The first frame-rate title comes one second after the first frame.
        first_frame = first_title_seen - 1.0
        check_geometry(checks, run)

        header_address = run.traced_call_argument("winmm.waveOutWrite", 1)
        header = run.read_process_memory(header_address, cs.WAVEHDR_SIZE) if header_address else None
        streams = run.pulse.sink_inputs()
        spec = re.search(r"Sample Specification: (.*)", streams)
        checks.expect(spec is not None and spec.group(1).strip() == "s16le 2ch 44100Hz",
                      f"the sound server plays a stream from the program: {spec.group(1) if spec else streams!r}")

        for frac in (1, 2, 0):
            clicked = raw_clock()
            click(run.window, run.env)
            _, title = run.titles.wait_for(lambda t, f=frac: frac_of(t) == f, TITLE_LIMIT_S, run.process,
                                           after=clicked)
            note(f"plain click -> {title!r}")
        shift_clicked = raw_clock()
        click(run.window, run.env, shift=True)

        for music_time in SCREENSHOT_TIMES:
            delay = first_frame + music_time - raw_clock()
            if delay > 0:
                time.sleep(delay)
            before = raw_clock()
            rgb = take_screenshot(run.env, *SCREEN)
            shots.append((before, raw_clock(), rgb))
            note(f"screenshot at about {raw_clock() - first_frame:.1f} s of music")

        # Wall time only bounds the wait: on a busy machine the sink may take the music far slower.
        code = run.wait_for_exit(first_frame + cs.END_TIME * WALL_TIME_SANITY_FACTOR + 60 - raw_clock())
        note(f"ended by itself with code {code}, {run.ended - first_frame:.1f} s after the first frame")
        checks.expect(code == 0, f"exit code {code}")
        titles = [t for _, t in run.titles.titles]
        checks.expect(titles[0] == FIRST_TITLE and all(FRAME_RATE_TITLE.match(t) for t in titles[1:]),
                      f'first title "{titles[0]}", then {len(titles) - 1} frame-rate titles')
        fracs = [frac_of(t) for t in titles[1:]]
        compact = [f for i, f in enumerate(fracs) if i == 0 or fracs[i - 1] != f]
        checks.expect(compact == [0, 1, 2, 0], f"frac in the titles over the run: {compact}")

        events = run.program_events()
        gl_calls = run.gl_calls()
        ids = cs.check_window_start_up(checks, events, run.events, SCREEN)
        program = cs.check_gl_start_up(checks, gl_calls, vertex, fragment)
        cs.check_playback_start(checks, events, run.events, header,
                                decoded_track_frames(args.track_frames_tool, args.source))
        cs.check_nothing_pumped_during_start_up(checks, events)
        if program:
            passes = cs.check_frame_loop(checks, events, SCREEN, ids["hdc"], program["locations"],
                                         with_sound_device=True)
            values = cs.uniform_values(gl_calls, program["locations"])
            checks.expect(len(values) == len(passes), f"{len(values)} draws recorded, {len(passes)} passes traced")
            cs.check_end_rule(checks, values)
            cs.check_beat_signals(checks, values)
            if passes:
                cs.check_titles(checks, events, passes)
                check_pace(checks, passes, values, run)
                check_screenshots(checks, shots, passes, values, args)
        cs.check_clicks(checks, events, ids["hwnd"], plain_clicks=3, shift_clicks=1)
        cs.check_orderly_exit(checks, events)
        cs.check_titles_since(checks, events, shift_clicked, frac=0)
    finally:
        run.close()
    return checks


def check_pace(checks, passes, values, run):
    """Music time against the sound the sink took, both counted in samples of one clock (the sink's, read
    from a recording of its monitor): the clock runs at the pace of the sound device even where the sink
    falls behind the wall clock on a busy machine, and the sound stops soon after the last frame. Wall time
    only as a loose sanity check."""
    recording = run.recording
    last = values[-1][0]
    checks.expect(recording.heard() and
                  recording.played_s() - SOUND_AFTER_LAST_READING_S <= last <=
                  recording.span_s() + CLOCK_AHEAD_OF_SINK_S,
                  f"the last frame's iTime {last:.2f} s against the sink: {recording.describe()}")
    wall = cs.swap_done(passes[-1]) - cs.swap_done(passes[0])
    music = last - values[0][0]
    checks.expect(music - RUN_LENGTH_TOLERANCE_S <= wall <= music * WALL_TIME_SANITY_FACTOR + 30.0,
                  f"{music:.2f} s of music took {wall:.2f} s of wall time, first frame at iTime {values[0][0]:.3f}")
    checks.expect(run.ended - cs.swap_done(passes[-1]) < EXIT_AFTER_LAST_FRAME_S,
                  f"the process ended {run.ended - cs.swap_done(passes[-1]):.2f} s after its last frame")


def check_screenshots(checks, shots, passes, values, args):
    folder = make_scratch("doz-stills-")
    try:
        for n, (before, after, rgb) in enumerate(shots):
            mean, spread, colours = pictures.describe(rgb)
            checks.expect(mean > 8 and spread > 4 and colours > 16,
                          f"screenshot {n + 1} shows a picture: mean luminance {mean:.1f}, spread {spread:.1f}, "
                          f"{colours} colours")
            # The picture on the screen is the last frame swapped before the screenshot was read.
            shown = [i for i, one in enumerate(passes) if cs.swap_done(one) <= after]
            candidates = [i for i in shown if cs.swap_done(passes[i]) >= before - 0.5] or shown[-1:]
            best = None
            for i in candidates[-4:]:
                still, path = pictures.render_still(args.capture, values[i][0], *SCREEN, folder)
                score = pictures.difference(rgb, still, *SCREEN)
                if best is None or score < best[0]:
                    best = (score, values[i][0], still)
            far_still, _ = pictures.render_still(args.capture, (best[1] + 62.0) % cs.END_TIME, *SCREEN, folder)
            far = pictures.difference(rgb, far_still, *SCREEN)
            checks.expect(best[0] <= STILL_DIFFERENCE_LIMIT and best[0] * 2 < far,
                          f"screenshot {n + 1} resembles the headless still at iTime {best[1]:.3f}: block "
                          f"difference {best[0]:.1f} (limit {STILL_DIFFERENCE_LIMIT}); the still 62 s away differs "
                          f"by {far:.1f}")
            if os.environ.get("DOZ_E2E_KEEP"):
                write_png(rgb, *SCREEN, os.path.join(folder, f"screenshot-{n + 1}.png"))
                write_png(best[2], *SCREEN, os.path.join(folder, f"still-{n + 1}.png"))
    finally:
        if os.environ.get("DOZ_E2E_KEEP"):
            note(f"screenshots and stills kept in {folder}")
        else:
            shutil.rmtree(folder, ignore_errors=True)


def wait_for_running_loop(run):
    run.wait_for_window()
    run.titles.wait_for(FRAME_RATE_TITLE.match, FIRST_FRAME_RATE_TITLE_LIMIT_S, run.process)


def check_ends_after_pass(checks, events, message, wp=None):
    """The message arrives in a pass's message step; that pass is drawn and shown, and nothing after it."""
    received = [e for e in events if e.kind == "winproc" and e.name == message and (wp is None or e.fields["wp"] == wp)]
    if not checks.expect(len(received) == 1, f"{message} reached the window procedure once ({len(received)})"):
        return
    draws, swaps, peeks = cs.frames_after(events, received[0])
    checks.expect(draws == 1 and swaps == 1,
                  f"after {message}: {draws} draw and {swaps} swap (the pass in progress), {peeks} more peeks")


def ending(args, by_close_request):
    """Escape, or a window manager's close request, ends the run after the pass in progress with code 0."""
    checks = cs.Checks()
    run = DemoRun(args.exe, TRACE_CHANNELS)
    try:
        wait_for_running_loop(run)
        check_geometry(checks, run)
        asked = raw_clock()
        if by_close_request:
            send_close_request(run.window, run.display)
            what, message, wp = "the close request", "WM_CLOSE", None
        else:
            # A real key press (XTEST) on the focused window, as a user would give it.
            run_tool(["xdotool", "windowfocus", "--sync", run.window], run.env)
            asked = raw_clock()
            run_tool(["xdotool", "key", "Escape"], run.env)
            what, message, wp = "Escape", "WM_KEYDOWN", cs.VK_ESCAPE
        code = run.wait_for_exit(EXIT_AFTER_KEY_LIMIT_S)
        note(f"ended {run.ended - asked:.2f} s after {what} with code {code}")
        checks.expect(code == 0, f"exit code {code} after {what}")
        events = run.program_events()
        check_ends_after_pass(checks, events, message, wp)
        cs.check_orderly_exit(checks, events)
    finally:
        run.close()
    return checks


def heard_sound(args):
    """Untraced (the relay trace starves the sound on a busy machine), what the sink takes is the track as
    mpg123 decodes it, from music time 0 on; then Escape ends the run."""
    checks = cs.Checks()
    run = DemoRun(args.exe, "-all,err+winediag", record_sound=True, keep_sound_s=LIVE_KEEP_S)
    try:
        run.wait_for_window()
        # Sink time, not wall time: the sound is judged once the sink has taken enough of it.
        wait_until(run.recording.kept_enough, HEARD_LIMIT_S,
                   lambda: f"not enough sound to judge: {run.recording.describe()}", interval=0.2,
                   process=run.process, ended=lambda code: f"the run ended with code {code} while playing")
        try:
            wav = run.recording.save_wav(os.path.join(run.scratch, "heard.wav"), skip_s=LIVE_FROM_S)
            note(check_live_track(args.sound_match, wav, "the sink's first seconds"))
            heard = True
        except SoundMismatch as mismatch:
            note(str(mismatch))
            heard = False
        checks.expect(heard, f"what the sink took is the track: {run.recording.describe()}")
        run_tool(["xdotool", "windowfocus", "--sync", run.window], run.env)
        run_tool(["xdotool", "key", "Escape"], run.env)
        checks.expect(run.wait_for_exit(EXIT_AFTER_KEY_LIMIT_S) == 0, "exit code 0 after Escape")
    finally:
        run.close()
    return checks


def no_sound(args):
    checks = cs.Checks()
    run = DemoRun(args.exe, "+timestamp,+pid,+loaddll,+relay,+opengl,+mmdevapi", sound=False, audio_driver=False)
    try:
        wait_for_running_loop(run)
        code = run.wait_for_exit(cs.END_TIME + 90)
        checks.expect(code == 0, f"exit code {code}")
        events = run.program_events()
        no_driver = [e for e in run.events if e.kind == "trace" and e.name == "init_driver"]
        checks.show(f"mmdevapi: {[e.text for e in no_driver]}")
        cs.check_orderly_exit(checks, events, with_sound_device=False)
        opened = cs.first_call(events, "waveOutOpen")
        checks.expect(opened is not None and opened.retval != 0,
                      f"waveOutOpen found no device: returned {opened.retval if opened else None}")
        draws = [e for e in cs.gl_lines(events) if e.name == "glDrawArrays"]
        passes = cs.split_passes(events, cs.first_call(events, "PeekMessageA").index)
        # iTime is the first single float of a pass.
        times = [float(next(e for n, e in zip(p.tokens, p.events) if n == "glUniform1f").gl_fields()["v0"])
                 for p in passes if "glUniform1f" in p.tokens]
        if checks.expect(bool(draws) and bool(times), f"{len(draws)} frames drawn"):
            # The tick count and the trace's timestamps run on one clock, however slow the frames.
            wall = draws[-1].time - draws[0].time
            music = times[-1] - times[0]
            checks.expect(times[-1] > cs.END_TIME and abs(wall - music) <= RUN_LENGTH_TOLERANCE_S,
                          f"{music:.2f} s of music from the first frame to the last took {wall:.2f} s of "
                          f"wall time; the last iTime {times[-1]:.3f}")
            checks.expect(run.ended - draws[-1].time < EXIT_AFTER_LAST_FRAME_S,
                          f"the process ended {run.ended - draws[-1].time:.2f} s after its last frame")
    finally:
        run.close()
    return checks


def compile_log(args):
    vertex, fragment = read_sources(args)
    checks = cs.Checks()
    # The loop runs thousands of passes a second with no program: draws are counted by the relay rather
    # than the opengl channel, which would write a line for every call.
    run = DemoRun(args.exe, TRACE_CHANNELS.replace(",+opengl", "") + ",+winmm,+pulse", record_gl=True,
                  relay=["opengl32.glDrawArrays"])
    try:
        run.wait_for_window()
        # From the loop's first draw, long enough for a dozen frame-rate updates, each suppressed: the
        # updates count on the tick count, which is this clock.
        first_draw = run.wait_for_trace("Call opengl32.glDrawArrays(", FIRST_FRAME_RATE_TITLE_LIMIT_S)
        time.sleep(max(0.0, first_draw + SUPPRESSED_TITLE_UPDATES * TITLE_INTERVAL_S - raw_clock()))
        streams = run.pulse.sink_inputs()
        spec = re.search(r"Sample Specification: (.*)", streams)
        checks.expect(spec is not None and spec.group(1).strip() == "s16le 2ch 44100Hz",
                      f"the soundtrack plays: {spec.group(1) if spec else 'no stream'}")
        header_address = run.traced_call_argument("winmm.waveOutWrite", 1)
        header = run.read_process_memory(header_address, cs.WAVEHDR_SIZE) if header_address else None
        send_close_request(run.window, run.display)
        code = run.wait_for_exit(EXIT_AFTER_KEY_LIMIT_S)
        checks.expect(code == 0, f"exit code {code} after the close request")

        events = run.program_events()
        gl_calls = run.gl_calls()
        program = cs.check_gl_start_up(checks, gl_calls, vertex, fragment, compiles=False)
        log = program.get("info_log") or ""
        titles = [t for _, t in run.titles.titles]
        later = titles[1:] if titles and titles[0] == FIRST_TITLE else titles
        checks.expect(bool(log) and bool(later) and all(t == log.rstrip("\n") for t in later),
                      f"titles over the run: {titles}")
        sets = cs.calls(events, "SetWindowTextA")
        checks.expect([e.string_arg(1) for e in sets] == [log], f"SetWindowTextA calls: "
                      f"{[e.string_arg(1) for e in sets]}")
        # A stream starved on a busy machine may add the clock's own word about the tick count taking over.
        debug = [e.string_arg(0) for e in cs.calls(events, "OutputDebugStringA")]
        debug = [text for text in debug if "music clock runs on the tick count" not in (text or "")]
        checks.expect(debug == [log], "the log went to the debugger output once")
        cs.check_playback_start(checks, events, run.events, header,
                                decoded_track_frames(args.track_frames_tool, args.source))
        passes = cs.split_passes(events, cs.first_call(events, "PeekMessageA").index)
        checks.expect(len(passes) > 100, f"the frame loop ran {len(passes)} passes with no program")
        check_ends_after_pass(checks, events, "WM_CLOSE")
        cs.check_orderly_exit(checks, events)
    finally:
        run.close()
    return checks


def run_mode(mode, args):
    """One run of a mode (once more where Wine could not load its display driver); True when every check
    held."""
    try:
        checks = run_under_wine_display(lambda: mode(args))
    except (Failure, subprocess.TimeoutExpired) as failure:
        note(f"FAILED: {failure}")
        return False
    if checks.failures:
        note(f"FAILED: {len(checks.failures)} checks")
        return False
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("mode", choices=["full-run", "escape", "close-request", "no-sound", "compile-log", "sound"])
    parser.add_argument("exe")
    parser.add_argument("--source", required=True, help="the project's source folder")
    parser.add_argument("--capture", help="doz-capture, for the stills (full-run)")
    parser.add_argument("--fragment", help="the fragment stage built into EXE, when not the scene's")
    parser.add_argument("--track-frames-tool", help="prints the decoded soundtrack's frames")
    parser.add_argument("--with-track-names", help="tests/tools' stage_with_track_names (full-run, compile-log)")
    parser.add_argument("--sound-match", help="tests/tools' sound_match, to check the sound's content (sound)")
    parser.add_argument("--repeat", type=int, default=1, help="runs, each in a fresh prefix; all must pass")
    parser.add_argument("--busy", type=int, default=0,
                        help="busy loops kept running meanwhile, to check the runs on a loaded machine")
    args = parser.parse_args()
    if not os.path.isfile(args.exe):
        print(f"SKIPPED: no Windows executable at {args.exe}")
        return SKIPPED
    modes = {"full-run": full_run, "escape": lambda a: ending(a, by_close_request=False),
             "close-request": lambda a: ending(a, by_close_request=True), "no-sound": no_sound,
             "compile-log": compile_log, "sound": heard_sound}
    busy = [subprocess.Popen(["sh", "-c", "while :; do :; done"]) for _ in range(args.busy)]
    try:
        passed = 0
        for n in range(args.repeat):
            if args.repeat > 1:
                note(f"run {n + 1} of {args.repeat}" + (f", {args.busy} busy loops beside it" if busy else ""))
            passed += run_mode(modes[args.mode], args)
    finally:
        for loop in busy:
            stop_process(loop)
    if passed < args.repeat:
        note(f"FAILED: {args.repeat - passed} of {args.repeat} runs")
        return 1
    note("all checks passed" + (f" in {args.repeat} runs" if args.repeat > 1 else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
