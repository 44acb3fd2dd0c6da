#!/usr/bin/env python3
"""The Windows archive as a party checks an entry: unpacked into a folder mounted read-only, the executable
runs under Wine in a fresh prefix on a virtual screen of each size; its window covers the screen, the
cursor is hidden over it, it draws (the frame-rate title comes), Escape ends it with exit code 0, and the
folder holds afterwards exactly what it held before. First, the executable's PE header: its time stamp is
the commit's date (--epoch) and never zero, and its checksum is right.

    check_windows.py ARCHIVE.zip [--sizes 1920x1080,1280x720] [--epoch SECONDS]

Prints one "CHECK PASSED/FAILED: ..." line per size; exits 1 when one failed.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import time
import zipfile

import check_common as common
from harness import (Failure, WinePrefix, display_unavailable_or, make_scratch, run_under_wine_display,
                     start_virtual_screen, wait_for_demo_window, window_geometry, window_title)
from smoke_test import FRAME_RATE_TITLE

# Start-up, then the first frames at full size on a software renderer: generous, short when things work.
WINDOW_LIMIT_S = 180
FRAME_LIMIT_S = 240
EXIT_LIMIT_S = 120


def session(exe, folder, width, height, scratch):
    screen, display = start_virtual_screen(width, height)
    with common.program_run(os.path.join(scratch, "program.log"), screen) as run:
        prefix = WinePrefix(scratch, display)
        run.also_stop.append(prefix.shut_down)
        env = dict(prefix.env, WINEDEBUG="-all,err+all")
        common.point_at_centre(env, width, height)
        cursor_before = common.cursor_ink(display)
        before = common.listing(folder)
        run.process = subprocess.Popen(common.read_only_command(folder, [prefix.wine, exe]), cwd=folder, env=env,
                                       stdout=run.log, stderr=subprocess.STDOUT, start_new_session=True)
        window = wait_for_demo_window(run.process, env, WINDOW_LIMIT_S)
        common.wait_until(lambda: FRAME_RATE_TITLE.match(window_title(window, env) or ""), FRAME_LIMIT_S,
                          f"no frame-rate title within {FRAME_LIMIT_S} s", interval=0.2, process=run.process,
                          ended=lambda code: f"the program ended with code {code} before drawing")
        geometry = window_geometry(window, env)
        if not geometry["mapped"] or (geometry["x"], geometry["y"], geometry["width"], geometry["height"]) != (
                0, 0, width, height):
            raise Failure(f"the window {geometry} does not cover the {width}x{height} screen")
        common.point_at_centre(env, width, height)
        time.sleep(0.5)
        before_ink = common.cursor_ink(display)
        if cursor_before == 0:
            raise Failure("the screen's own cursor shows no pixels: the cursor check would tell nothing")
        if before_ink != 0:
            raise Failure(f"the cursor shows {before_ink} pixels over the window")
        common.escape_ends(run.process, window, env, EXIT_LIMIT_S)
        after = common.listing(folder)
        if after != before:
            raise Failure(f"the folder changed: {sorted(set(after) ^ set(before))}")
        return f"{width}x{height}: covers the screen, cursor hidden, drew, Escape gave 0, nothing written"


def check_size(archive, width, height):
    scratch = make_scratch("doz-release-windows-")
    try:
        unpacked = os.path.join(scratch, "unpacked")
        with zipfile.ZipFile(archive) as z:
            z.extractall(unpacked)
        (top,) = os.listdir(unpacked)
        folder = os.path.join(unpacked, top)
        exe = os.path.join(folder, "doz-engine.exe")

        def attempt():
            shutil.rmtree(os.path.join(scratch, "prefix"), ignore_errors=True)
            try:
                return session(exe, folder, width, height, scratch)
            except common.ProgramFailure as failure:
                raise display_unavailable_or(failure, failure.output)

        return run_under_wine_display(attempt)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def check_stamp(archive, epoch):
    """The PE header's time stamp is the commit's date (never zero), and the checksum over it is right."""
    with zipfile.ZipFile(archive) as z:
        (name,) = [n for n in z.namelist() if n.endswith("/doz-engine.exe")]
        exe = bytearray(z.read(name))
    header = struct.unpack_from("<I", exe, 0x3C)[0]
    if exe[header:header + 4] != b"PE\0\0":
        raise Failure("doz-engine.exe is not a PE file")
    stamp = struct.unpack_from("<I", exe, header + 8)[0]
    checksum_at = header + 24 + 64
    stored = struct.unpack_from("<I", exe, checksum_at)[0]
    # The PE checksum: 16-bit one's-complement sum of the file (checksum field as zero) plus its length.
    exe[checksum_at:checksum_at + 4] = bytes(4)
    length = len(exe)
    if length % 2:
        exe += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", exe):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    computed = (total + length) & 0xFFFFFFFF
    if epoch is not None and stamp != epoch:
        raise Failure(f"the PE time stamp is {stamp}, not the commit's date {epoch}")
    if stamp == 0:
        raise Failure("the PE time stamp is zero")
    if stored != computed:
        raise Failure(f"the PE checksum is {stored:#x}, the file sums to {computed:#x}")
    return f"PE time stamp {stamp} (the commit's date), checksum {stored:#x} right"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("archive")
    parser.add_argument("--sizes", default="1920x1080,1280x720")
    parser.add_argument("--epoch", type=int, help="the commit's date the PE time stamp must hold")
    args = parser.parse_args()
    failed = common.run_checked("windows executable's header", lambda: check_stamp(args.archive, args.epoch))
    for size in filter(None, args.sizes.split(",")):
        width, height = (int(v) for v in size.split("x"))
        failed |= common.run_checked(f"windows archive under Wine at {size}",
                                     lambda: check_size(args.archive, width, height))
    return failed


if __name__ == "__main__":
    sys.exit(main())
