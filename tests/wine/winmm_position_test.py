#!/usr/bin/env python3
"""Under Wine, the wave device's sample position keeps counting across loops of the one looping buffer.

    winmm_position_test.py PROBE_EXE

Runs the cross-built winmm_position_probe in a fresh Wine prefix, with sound going to ALSA's null device
(Wine's sound server connection turned off), so that the result does not depend on the machine's sound.
ALSA's null device takes samples about four times faster than real time under Wine: this test needs no
real time, only a position that never falls back. Exits 77 (skipped) when the probe or Wine is missing.
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from harness import WinePrefix  # noqa: E402

SKIPPED = 77
RUN_SECONDS = 2
LOOPS_WANTED = 3


def main():
    probe = sys.argv[1]
    wine = shutil.which("wine") or shutil.which("wine64")
    if not os.path.isfile(probe) or wine is None:
        print(f"skipped: needs {probe} (windows preset) and Wine")
        return SKIPPED
    with tempfile.TemporaryDirectory(prefix="doz-winmm-") as scratch:
        alsa_config = os.path.join(scratch, "asound.conf")
        with open(alsa_config, "w") as f:
            f.write("</usr/share/alsa/alsa.conf>\npcm.!default { type null }\n")
        prefix = WinePrefix(scratch, None)
        env = dict(prefix.env, WINEDEBUG="-all", ALSA_CONFIG_PATH=alsa_config,
                   PULSE_SERVER="unix:" + os.path.join(scratch, "none"))
        try:
            done = subprocess.run([prefix.wine, probe, str(RUN_SECONDS)], env=env, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, text=True, timeout=300)
        finally:
            prefix.shut_down()
    lines = done.stdout.replace("\r", "").splitlines()
    if not lines or lines[0] == "no-device":
        print("FAIL: no wave device opened under Wine\n" + done.stdout)
        return 1
    track_frames = int(lines[0].split()[1])
    readings = [line.split() for line in lines[1:]]
    if any(kind != "samples" for _, kind, _ in readings):
        print("FAIL: the position was not reported in samples\n" + done.stdout)
        return 1
    positions = [int(p) for _, _, p in readings]
    elapsed_ms = int(readings[-1][0])
    print(f"{len(positions)} readings over {elapsed_ms} ms; last position {positions[-1]} "
          f"({positions[-1] / track_frames:.1f} loops of {track_frames} frames, "
          f"{positions[-1] / 44.1 / max(elapsed_ms, 1):.2f} x real time)")
    backwards = [(a, b) for a, b in zip(positions, positions[1:]) if b < a]
    if backwards:
        print(f"FAIL: the position went back, e.g. from {backwards[0][0]} to {backwards[0][1]}")
        return 1
    if positions[-1] < LOOPS_WANTED * track_frames:
        print(f"FAIL: fewer than {LOOPS_WANTED} loops played")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
