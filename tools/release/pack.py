#!/usr/bin/env python3
"""Packs files into a zip or a gzipped tar whose bytes depend only on the files' contents and names: entries
sorted by name, every time the commit's date, owner and group 0 with no names, modes 0644 (0755 for
executables), and a gzip header without a file name or time.

    pack.py zip|tgz ARCHIVE EPOCH TOP NAME=PATH...

TOP is the folder every entry lies in (an archive unpacks into one folder); NAME is the entry's path under
it, PATH the file to put there.
"""
import gzip
import io
import os
import sys
import tarfile
import time
import zipfile


def mode_of(path):
    return 0o755 if os.access(path, os.X_OK) else 0o644


def pack_zip(target, epoch, top, entries):
    # Zip times are local times of 2 s resolution from 1980 on: the commit's UTC date, rounded down.
    stamp = time.gmtime(epoch - epoch % 2)[:6]
    with zipfile.ZipFile(target, "w", compression=zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        folder = zipfile.ZipInfo(top + "/", date_time=stamp)
        folder.external_attr = (0o40755 << 16) | 0x10
        folder.create_system = 3
        archive.writestr(folder, b"")
        for name, path in entries:
            info = zipfile.ZipInfo(f"{top}/{name}", date_time=stamp)
            info.external_attr = (0o100000 | mode_of(path)) << 16
            info.create_system = 3
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)


def pack_tgz(target, epoch, top, entries):
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.PAX_FORMAT) as archive:
        folders = sorted({top} | {f"{top}/{os.path.dirname(name)}" for name, _ in entries if "/" in name})
        for folder in folders:
            info = tarfile.TarInfo(folder)
            info.type, info.mode = tarfile.DIRTYPE, 0o755
            info.mtime, info.uid, info.gid, info.uname, info.gname = epoch, 0, 0, "", ""
            archive.addfile(info)
        for name, path in entries:
            info = tarfile.TarInfo(f"{top}/{name}")
            info.size, info.mode = os.path.getsize(path), mode_of(path)
            info.mtime, info.uid, info.gid, info.uname, info.gname = epoch, 0, 0, "", ""
            with open(path, "rb") as f:
                archive.addfile(info, f)
    with open(target, "wb") as out:
        with gzip.GzipFile(filename="", mode="wb", compresslevel=9, fileobj=out, mtime=0) as zipped:
            zipped.write(buffer.getvalue())


def main():
    if len(sys.argv) < 6 or sys.argv[1] not in ("zip", "tgz"):
        print(__doc__)
        return 2
    kind, target, epoch, top = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    entries = sorted(tuple(item.split("=", 1)) for item in sys.argv[5:])
    for _, path in entries:
        if not os.path.isfile(path):
            print(f"pack.py: no file {path}")
            return 1
    (pack_zip if kind == "zip" else pack_tgz)(target, epoch, top, entries)
    return 0


if __name__ == "__main__":
    sys.exit(main())
