#!/usr/bin/env python3
"""Reads the release manifest (resources/release.manifest) and writes the info file, or prints one of its
keys, so that the screenshot's moment and the info text have one source.

    info_file.py MANIFEST key NAME
    info_file.py MANIFEST write OUT --source DIR --version V --commit C --epoch SECONDS --glibc X.Y
"""
import argparse
import ast
import datetime
import os
import re
import sys

BITRATES = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]  # MPEG-1 Layer III, kbit/s
RATES = [44100, 48000, 32000]


def read_manifest(path):
    with open(path, encoding="utf-8") as f:
        lines = [line for line in f.read().split("\n") if not line.startswith("#")]
    keys = {}
    while lines and lines[0].strip():
        key, _, value = lines.pop(0).partition(":")
        keys[key.strip()] = value.strip()
    return keys, "\n".join(lines).strip("\n") + "\n"


def credit_lines(source):
    """The sign texts exactly as the executables carry them (render/credits_texture.cpp)."""
    with open(os.path.join(source, "render", "credits_texture.cpp"), encoding="utf-8") as f:
        text = f.read()
    block = re.search(r"CREDIT_LINES\[[^\]]*\]\s*=\s*\{(.*?)\};", text, re.S)
    if not block:
        raise SystemExit("no CREDIT_LINES in render/credits_texture.cpp")
    return [ast.literal_eval(item) for item in re.findall(r'"(?:[^"\\]|\\.)*"', block.group(1))]


def describe_mp3(path):
    """Format and length from the stream's own frame headers (MPEG-1 Layer III)."""
    data = open(path, "rb").read()
    at = 0
    if data[:3] == b"ID3":
        size = data[6] << 21 | data[7] << 14 | data[8] << 7 | data[9]
        at = 10 + size
    frames, rate, channels, bitrates = 0, None, None, set()
    while at + 4 <= len(data):
        header = int.from_bytes(data[at:at + 4], "big")
        if header >> 21 != 0x7FF or (header >> 17) & 0xF != 0b1101:  # sync, MPEG-1, Layer III
            break
        bitrate = BITRATES[(header >> 12) & 0xF]
        rate = RATES[(header >> 10) & 3]
        padding = (header >> 9) & 1
        channels = 1 if (header >> 6) & 3 == 3 else 2
        length = 144000 * bitrate // rate + padding
        if length <= 0:
            break
        frames += 1
        bitrates.add(bitrate)
        at += length
    if not frames:
        raise SystemExit(f"{path}: no MPEG-1 Layer III frames")
    seconds = frames * 1152 / rate
    kind = f"{max(bitrates)} kbit/s" if len(bitrates) == 1 else "variable bit rate"
    return (f"MP3 (MPEG-1 Layer III), {rate} Hz {'stereo' if channels == 2 else 'mono'}, {kind}, "
            f"{int(seconds // 60)}:{seconds % 60:04.1f} ({seconds:.1f} s)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("manifest")
    parser.add_argument("action", choices=["key", "write"])
    parser.add_argument("target")
    parser.add_argument("--source", default=".")
    parser.add_argument("--version")
    parser.add_argument("--commit")
    parser.add_argument("--epoch", type=int)
    parser.add_argument("--glibc")
    args = parser.parse_args()
    keys, template = read_manifest(args.manifest)
    if args.action == "key":
        if args.target not in keys:
            raise SystemExit(f"{args.manifest} has no key {args.target}")
        print(keys[args.target])
        return 0
    date = datetime.datetime.fromtimestamp(args.epoch, datetime.timezone.utc).strftime("%Y-%m-%d")
    text = template.format(version=args.version, commit=args.commit, date=date,
                           credits="\n".join(credit_lines(args.source)),
                           soundtrack=describe_mp3(os.path.join(args.source, "resources", "soundtrack.mp3")),
                           glibc=args.glibc, screenshot_at=keys["screenshot-at"])
    # CRLF: the file is read on Windows as well, where Notepad of old shows bare LFs as one line.
    with open(args.target, "w", encoding="utf-8", newline="\r\n") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
