// The tracks the executables carry: the files of resources/tracks (track files and rows.txt), embedded at
// build time, loaded at start-up and written out to seed author mode's tracks folder.
#pragma once
#include <cstddef>

#include "sync/track_files.h"

struct EmbeddedFile {
    const char* name; // the file's name in its folder
    const unsigned char* bytes;
    size_t size;
};

// Generated at build time, in name order.
extern const EmbeddedFile BUILTIN_TRACK_FILES[];
extern const int BUILTIN_TRACK_FILE_COUNT;

// Replaces every track and the row rate with the built-in ones: a track without a file has no keys, no
// rows.txt the default rate. A refused file is reported, and its track has no keys. Returns the number
// refused.
int loadBuiltinTracks(SyncFileReport report);

// Replaces every track and the row rate with those of a tracks folder (readTrackFiles and
// readSyncSettings), reporting each refused file. Returns the number refused.
int readTracksFolder(const char* folder, SyncFileReport report);
