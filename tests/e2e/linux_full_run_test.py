#!/usr/bin/env python3
"""The native executable's whole run on a virtual X screen, with SDL playing the soundtrack into a private
PulseAudio server's null sink, which takes samples in real time: plain left clicks cycle the frac counter in
the title, a Shift+left click does not, and the run ends by itself, with exit code 0, once the music clock
has passed 124 s. The run's length is judged on the sink's clock, from a recording of its monitor: on a busy
machine the sink may take sound slower than the wall clock runs, and the music clock rightly follows it. What
the sink took is the track itself: its first seconds are compared with the track as mpg123 decodes it.

    linux_full_run_test.py EXE SOUND_MATCH

As ctest's e2e.LinuxExecutableFullRun (about 2 min).
"""
import math
import os
import re
import shutil
import subprocess
import sys
import time

from sound_check import LIVE_FROM_S, LIVE_KEEP_S, SoundMismatch, check_live_track
from harness import (Failure, PulseServer, SinkRecording, kill_process_group, make_scratch, note, run_tool,
                     start_virtual_screen, stop_process, wait_for_demo_window, wait_until, window_title)

SCREEN_WIDTH, SCREEN_HEIGHT = 320, 240
FRAME_RATE_TITLE = re.compile(r"^doz-engine  (\d+) fps  frac (\d)  \[reload 0\]$")
RUN_S = 124.0
# On the sink's clock: the device takes a buffer or two ahead of what the sink has played when the clock
# passes 124 s, and after that the last pass is drawn and the sound closed.
PLAYED_BEFORE_END_S = RUN_S - 1.0
SOUND_AFTER_END_S = 5.0
# What the program says when its sound device stops moving and the tick count takes over.
HANDOVER = re.compile(r"music clock runs on the tick count from ([0-9.]+) s")
# Wall time only as a sanity check, loose enough for a machine whose cores are busy with other work.
LATEST_END_S = RUN_S * 3.0 + 30.0


def next_frac(window, env, process, after):
    """Waits for a frame-rate title written after `after` (monotonic time) and returns its frac counter."""

    def written_after():
        match = FRAME_RATE_TITLE.match(window_title(window, env) or "")
        # A title is rewritten once a second: wait past one whole interval after the click.
        return match if match and time.monotonic() > after + 1.5 else None

    # No limit of its own: the run's end (at most LATEST_END_S) ends the wait.
    match = wait_until(written_after, math.inf, "", interval=0.1, process=process,
                       ended=lambda code: f"the run ended early, code {code}")
    return int(match.group(2))


def wait_for_frac(window, env, process, expected, limit_s=60.0):
    """Waits until a frame-rate title shows frac `expected`, and returns it."""
    seen = []

    def shows_expected():
        match = FRAME_RATE_TITLE.match(window_title(window, env) or "")
        if match:
            seen.append(int(match.group(2)))
        return match is not None and seen[-1] == expected

    wait_until(shows_expected, limit_s, lambda: f"no title with frac {expected}; the last said {seen[-1:]}",
               interval=0.1, process=process, ended=lambda code: f"the run ended early, code {code}")
    return expected


def click(window, env, shift=False):
    run_tool(["xdotool", "windowfocus", "--sync", window], env)
    if shift:
        run_tool(["xdotool", "keydown", "shift", "click", "1", "keyup", "shift"], env)
    else:
        run_tool(["xdotool", "click", "1"], env)
    return time.monotonic()


def full_run(exe, env, log, pulse, sound_match, scratch):
    recording = SinkRecording(pulse, keep_s=LIVE_KEEP_S)
    started = time.monotonic()
    process = subprocess.Popen([exe], env=env, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        window = wait_for_demo_window(process, env, 60)
        run_tool(["xdotool", "mousemove", "--window", window, "100", "100"], env)
        seen = [next_frac(window, env, process, time.monotonic())]
        # On a busy machine a frame can take longer than the title's second: a plain click is awaited
        # until its value shows, and only the Shift click, which must change nothing, by the title's pace.
        for expected in (1, 2, 0):
            click(window, env)
            seen.append(wait_for_frac(window, env, process, expected))
        seen.append(next_frac(window, env, process, click(window, env, shift=True)))
        note(f"frac in the titles: {seen}")
        if seen != [0, 1, 2, 0, 0]:
            raise Failure(f"frac went {seen}, not 0, 1, 2, 0 and then unchanged by the Shift click")

        streams = pulse.sink_inputs()
        if "Sample Specification: s16le 2ch 44100Hz" not in streams:
            raise Failure(f"no 16-bit stereo stream from the program on the sound server: {streams!r}")

        try:
            code = process.wait(timeout=LATEST_END_S)
        except subprocess.TimeoutExpired:
            raise Failure(f"still running {LATEST_END_S:.0f} s after the start")
        took = time.monotonic() - started
        recording.stop()
        note(f"ended by itself after {took:.1f} s of wall time with code {code}; {recording.describe()}")
        if code != 0:
            raise Failure(f"exit code {code}")
        if not recording.heard():
            raise Failure("the sink took no sound from the program")
        try:
            wav = recording.save_wav(os.path.join(scratch, "heard.wav"), skip_s=LIVE_FROM_S)
            note(check_live_track(sound_match, wav, "the sink's first seconds"))
        except SoundMismatch as mismatch:
            raise Failure(str(mismatch))
        with open(log.name, errors="replace") as said:
            handover = HANDOVER.search(said.read())
        if handover:
            # The device stood still for a second: the clock went on with the tick count, which also counts
            # through the later gaps of the sound, so the sound played can fall short of the music by them.
            stalled_at = float(handover.group(1))
            note(f"the device stood still at {stalled_at:.2f} s of music; the tick count timed the rest")
            if recording.played_s() < min(stalled_at, PLAYED_BEFORE_END_S) - 1.0:
                raise Failure(f"only {recording.played_s():.2f} s of sound before the clock left the device "
                              f"at {stalled_at:.2f} s")
        elif recording.played_s() < PLAYED_BEFORE_END_S:
            raise Failure(f"the run ended after {recording.played_s():.2f} s of sound, before {RUN_S:.0f} s")
        # Where the sound had gaps (the device starved on a busy machine), the clock waited with it.
        if recording.played_s() > RUN_S + SOUND_AFTER_END_S:
            raise Failure(f"the sound went on for {recording.played_s():.2f} s, "
                          f"{recording.played_s() - RUN_S:.2f} s past {RUN_S:.0f} s")
        if took < RUN_S - 1.0:
            raise Failure(f"the run took only {took:.1f} s of wall time")
    finally:
        kill_process_group(process)
        recording.stop(settle_s=0.0)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    scratch = make_scratch("doz-linux-run-")
    log_path = os.path.join(scratch, "program.log")
    screen = pulse = None
    try:
        screen, display = start_virtual_screen(SCREEN_WIDTH, SCREEN_HEIGHT)
        pulse = PulseServer(scratch)
        env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="pulseaudio", PULSE_SERVER=pulse.server)
        with open(log_path, "w") as log:
            full_run(sys.argv[1], env, log, pulse, sys.argv[2], scratch)
        return 0
    except (Failure, subprocess.TimeoutExpired) as failure:
        note(f"FAILED: {failure}")
        with open(log_path, errors="replace") as log:
            print("program output:\n" + log.read()[-4000:])
        return 1
    finally:
        if pulse is not None:
            pulse.stop()
        stop_process(screen)
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
