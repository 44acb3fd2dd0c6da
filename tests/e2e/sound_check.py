"""The sound a program made, judged by its content: the `sound_match` tool (tests/tools) compares it with the
carried track as mpg123 decodes it, so a silent, misplaced or distorted stream fails even where its format is
right."""
import subprocess

# A live run's sound, recorded from the sink with its gaps left out, is judged from 2 s to 8 s after it starts
# in windows of an eighth of a second, each against the track near the same music time. The stream starts at
# music time 0, but a sound server may lose some of its first few hundred milliseconds (Wine's does), and
# on a busy machine it drops samples where the stream starved, each drop putting the rest further on: so
# the search reaches 1 s either way, and a quarter of the windows must match, not all (a window with a drop
# inside does not, and windows this short leave more of them clear of a drop: with quarter-second windows a
# fully loaded machine once kept only 5 of 24, and a silent or foreign stream holds none). The clock's pace against the sink is the other tests' to judge. The track
# repeats itself, so the bar is well above the 0.93 of the same bars 5 s apart.
LIVE_FROM_S, LIVE_S, LIVE_WINDOW_S = 2.0, 6.0, 0.125
LIVE_LAG_MS, LIVE_CORRELATION = 1000.0, 0.98
LIVE_WINDOWS_MATCHED = int(LIVE_S / LIVE_WINDOW_S) // 4
# What a recording keeps, in seconds of sound.
LIVE_KEEP_S = LIVE_FROM_S + LIVE_S + 0.5

# A file's sound is searched for this far either way before its lag is held to the caller's bound: a search
# no wider than the bound would find a stream out of step at the bound's edge, poorly correlated but in bound.
SEARCH_LAG_MS = 1000.0


class SoundMismatch(Exception):
    pass


def match_track(tool, path, at_s, max_lag_ms, seconds=None, window_s=None):
    """The figures of `sound_match`, one dict per window: at, correlation, lag_ms, level_db, track_rms_db,
    seconds."""
    args = [tool, path, repr(at_s), repr(max_lag_ms)]
    if seconds is not None or window_s is not None:
        args.append(repr(seconds or 0))
    if window_s is not None:
        args.append(repr(window_s))
    done = subprocess.run(args, capture_output=True, text=True, timeout=300)
    if done.returncode != 0:
        raise SoundMismatch(f"sound_match {path} failed: {done.stderr.strip()}")
    figures = []
    for line in done.stdout.splitlines():
        words = line.split()
        figures.append({words[i]: float(words[i + 1]) for i in range(0, len(words) - 1, 2)})
    return figures


def describe(m):
    return (f"correlation {m['correlation']:.4f} at {m['lag_ms']:+.1f} ms from {m['at']:.3f} s, "
            f"level {m['level_db']:+.2f} dB over {m['seconds']:.2f} s")


def matches(m, max_lag_ms, min_correlation, level_db):
    return m["correlation"] >= min_correlation and abs(m["level_db"]) <= level_db and abs(m["lag_ms"]) <= max_lag_ms


def check_track(tool, path, at_s, max_lag_ms, min_correlation, level_db=1.0, what=None):
    """Raises SoundMismatch unless `path` holds the track from `at_s` within `max_lag_ms`, correlated at
    `min_correlation` or more and at the track's level within `level_db`; returns what it found."""
    m = match_track(tool, path, at_s, max(SEARCH_LAG_MS, max_lag_ms))[0]
    said = f"{what or path}: {describe(m)}"
    if m["track_rms_db"] < -40:
        raise SoundMismatch(f"{said}: the track is near silence there, which proves nothing")
    if not matches(m, max_lag_ms, min_correlation, level_db):
        raise SoundMismatch(f"{said}: not the track within {max_lag_ms:g} ms")
    return said


def check_live_track(tool, path, what):
    """A live run's recording (from LIVE_FROM_S into its sound, gaps left out) against the track, window by
    window; raises SoundMismatch unless enough windows hold the track; returns what it found."""
    windows = match_track(tool, path, LIVE_FROM_S, LIVE_LAG_MS, LIVE_S, LIVE_WINDOW_S)
    good = [m for m in windows if matches(m, LIVE_LAG_MS, LIVE_CORRELATION, 1.0) and m["track_rms_db"] > -40]
    said = f"{what}: {len(good)} of {len(windows)} windows of {LIVE_WINDOW_S} s hold the track"
    if len(good) < LIVE_WINDOWS_MATCHED:
        raise SoundMismatch(said + "; " + "; ".join(map(describe, windows)))
    lags = sorted(m["lag_ms"] for m in good)
    return f"{said}, at lags {lags[0]:+.1f} to {lags[-1]:+.1f} ms, correlation {min(m['correlation'] for m in good):.4f} or more"
