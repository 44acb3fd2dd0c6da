#!/usr/bin/env python3
"""Writes the saved seed corpus of the fuzz targets (fuzz/corpus/): for the sync targets, small inputs that
reach every command and every refusal; for job files, a plan and the faults a plan can hold. Run it again
after changing it; the test suite replays what it wrote."""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
HELLO = b"hello, demo!"


def set_key(track, row, value, interpolation):
    return b"\x00" + struct.pack(">IIfB", track, row, value, interpolation)


def raw_key(track, row, bits, interpolation):
    return b"\x00" + struct.pack(">IIIB", track, row, bits, interpolation)


def delete_key(track, row):
    return b"\x01" + struct.pack(">II", track, row)


def set_row(row):
    return b"\x03" + struct.pack(">I", row)


def pause(flag):
    return b"\x04" + bytes([flag])


SAVE = b"\x05"

# The first byte picks the split the target feeds the rest in.
STREAMS = {
    "greeting": b"\x00" + HELLO,
    "greeting_cut": b"\x03" + HELLO[:7],
    "greeting_wrong": b"\x01" + b"hello, demo?",
    "session": b"\x05" + HELLO + set_key(0, 0, 1.0, 1) + set_key(0, 32, -4.0, 2) + set_key(14, 7, 2.0, 3)
    + set_key(0, 16, 0.5, 0) + pause(1) + set_row(48) + delete_key(0, 32) + SAVE + pause(0) + set_row(0),
    "every_track": b"\x0f" + HELLO + b"".join(set_key(t, t * 3, t * 0.25, t % 4) for t in range(15)),
    "events_flood": b"\x02" + HELLO + pause(1) * 70 + SAVE * 3,
    "unknown_command": b"\x04" + HELLO + b"\x06",
    "get_track_from_editor": b"\x04" + HELLO + b"\x02\x00\x00\x00\x01x",
    "track_not_asked": b"\x07" + HELLO + set_key(15, 0, 1.0, 0),
    "interpolation_4": b"\x08" + HELLO + set_key(0, 0, 1.0, 4),
    "row_too_far": b"\x09" + HELLO + set_key(0, (1 << 20) + 1, 1.0, 0) + set_row(0xFFFFFFFF),
    "value_nan": b"\x0a" + HELLO + raw_key(0, 0, 0x7FC00001, 0),
    "delete_missing": b"\x0b" + HELLO + delete_key(3, 9) + delete_key(3, 0),
}


def track_file(keys, count=None):
    body = b"".join(struct.pack("<iIB", row, bits, interp) for row, bits, interp in keys)
    return struct.pack("<i", len(keys) if count is None else count) + body


ONE = 0x3F800000
FILES = {
    "empty_track": track_file([]),
    "three_keys": track_file([(0, ONE, 0), (16, 0xC0200000, 2), (258, 0x3DCCCCCD, 3)]),
    "many_keys": track_file([(row * 2, ONE + row, row % 4) for row in range(200)]),
    "cut_short": track_file([(0, ONE, 1), (4, ONE, 1)])[:-1],
    "left_over": track_file([(0, ONE, 1)]) + b"\x00",
    "count_negative": struct.pack("<i", -1),
    "rows_backwards": track_file([(8, ONE, 1), (4, ONE, 1)]),
    "row_repeated": track_file([(8, ONE, 1), (8, ONE, 1)]),
    "row_negative": track_file([(-2, ONE, 1)]),
    "value_infinite": track_file([(0, 0xFF800000, 1)]),
    "interpolation_4": track_file([(0, ONE, 4)]),
    "too_short": b"\x01\x00",
}


def plan(**changes):
    """A job.json as --plan writes it (10 frames in two chunks), with members replaced or (None) removed."""
    members = [
        ("format", '"doz-capture job 1"'),
        ("renderer", '{\n    "version": "1.0",\n    "commit": "abc",\n    "stages": "00ff",\n    "soundtrack": "11"\n  }'),
        ("tracks", '"0123456789abcdef"'),
        ("size", "[\n    64,\n    36\n  ]"),
        ("fps", "10.0"),
        ("from", "0.0"),
        ("to", "1.0"),
        ("scale", "0.0"),
        ("supersample", "1"),
        ("output", '"/tmp/x.mp4"'),
        ("frames", "10"),
        ("chunks", "[\n    [\n      0,\n      5\n    ],\n    [\n      5,\n      5\n    ]\n  ]"),
    ]
    body = []
    for name, value in members:
        value = changes.pop(name, value)
        if value is not None:
            body.append('  "%s": %s' % (name, value))
    body += ['  "%s": %s' % item for item in changes.items()]
    return ("{\n" + ",\n".join(body) + "\n}\n").encode()


JOBS = {
    "plan": plan(),
    "fps_overflow": plan(fps="1e400"),
    "to_overflow_last_line": plan(chunks=None, to="-1e999"),
    "fps_underflow": plan(fps="1e-400"),
    "frames_huge": plan(frames="18446744073709551616"),
    "frames_negative": plan(frames="-9223372036854775809"),
    "chunk_count_huge": plan(chunks="[[0, 4294967301], [5, 5]]"),
    "chunk_sum_overflow": plan(chunks="[[0, 5], [5, 2147483647]]"),
    "chunks_many": plan(chunks="[" + ",".join(["[0,1]"] * 3000) + "]"),
    "chunks_not_arrays": plan(chunks='[{"0": 5}, 5]'),
    "size_types": plan(size='["64", 36]'),
    "size_odd": plan(size="[65, 36]"),
    "supersample_too_big": plan(size="[16384, 16]", supersample="2"),
    "scale_text": plan(scale='"0.5"'),
    "output_nul": plan(output='"/tmp/x\\u0000.mp4"'),
    "output_missing": plan(output=None),
    "renderer_array": plan(renderer="[1, 2]"),
    "format_number": plan(format="1"),
    "duplicate_fps": plan(fps="10.0", **{"fps ": "3"}),
    "deep_nesting": plan(extra="[" * 5000 + "]" * 5000),
    "not_an_object": b"[1, 2, 3]\n",
    "empty": b"",
    "bad_utf8": plan().replace(b"/tmp/x.mp4", b"/tmp/\xff.mp4"),
}

for folder, seeds in (("sync_stream", STREAMS), ("track_file", FILES), ("job_file", JOBS)):
    os.makedirs(os.path.join(ROOT, folder), exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(ROOT, folder, name), "wb") as out:
            out.write(data)
