// Track files: one file per track in a tracks folder, in the format sync editors save, read at start and
// written when the editor asks. A file: a little-endian int32 key count, then 9 packed bytes per key
// (little-endian int32 row, IEEE-754 f32 value, u8 interpolation), rows rising.
#pragma once
#include <cstddef>
#include <cstdint>

#include "sync/sync_tracks.h"

// The base of the tracks' file names: "sync_camera-3Apos.x.track".
extern const char* const SYNC_FILE_BASE; // "sync"
constexpr size_t SYNC_KEY_BYTES = 9;
// The largest valid file: a full track.
constexpr size_t SYNC_MAX_FILE_BYTES = 4 + SYNC_KEY_BYTES * SYNC_MAX_KEYS;
// Room for any track's file name (base, '_', escaped name, ".track") and its terminator.
constexpr size_t SYNC_FILE_NAME_ROOM = 256;

// The track name as a file name's part: bytes other than ASCII letters, digits, '.', '_' and '/' become '-'
// and two upper-case hex digits ("camera:x" gives "camera-3Ax"). False when `out` has too little room.
bool escapeTrackName(const char* name, char* out, size_t outSize);
// base + '_' + escaped name + ".track"; false when `out` has too little room.
bool trackFileName(const char* base, const char* trackName, char* out, size_t outSize);

// The file's bytes for a track's keys into `out` (room for 4 + 9 x keys); returns the size, or 0 when there
// is too little room or no such track.
size_t encodeTrackFile(int track, unsigned char* out, size_t outSize);
// Takes a file's bytes as the track's keys. Refused, with the reason in `reason`, and the track left with no
// keys: fewer than 4 bytes, a count that is negative, beyond SYNC_MAX_KEYS or not matching the size (too
// short or bytes left over), a row negative, beyond SYNC_MAX_ROW, or not above the one before, a value that
// is not finite, an interpolation above 3.
bool decodeTrackFile(int track, const unsigned char* bytes, size_t size, char* reason, size_t reasonSize);

// A set of tracks, one bit per track index.
using SyncTrackSet = uint32_t;
constexpr SyncTrackSet SYNC_ALL_TRACKS = (1u << SYNC_TRACK_COUNT) - 1;
constexpr SyncTrackSet syncTrackBit(int track) {
    return 1u << track;
}
static_assert(SYNC_TRACK_COUNT <= 32, "a track set holds every track");

// Called with one line per refused or unreadable file, naming it.
using SyncFileReport = void (*)(const char* message);

// Reads every track's file from `folder`: a missing file is a track with no keys; a refused one also, and is
// reported, and stays as it is until it is read again (a write leaves it alone, so that a mistake in it can
// be mended rather than lost). Returns the number of files refused or unreadable.
int readTrackFiles(const char* folder, const char* base, SyncFileReport report);
// Reads one track's file, as above; true when it was missing or taken, false when it was refused (with the
// file's name and the reason in `message`).
bool readTrackFile(const char* folder, const char* base, int track, char* message, size_t messageSize);
// Whether the last read of this track's file in `folder` refused it.
bool trackFileRefused(const char* folder, const char* base, int track);
// Back to a fresh process: no file refused.
void forgetRefusedTrackFiles();

// Writes one track's file, whole or not at all: the bytes go to a temporary file beside it, renamed over it
// once complete. False, with the reason in `message` and an earlier file as it was, on any failure, and for a
// file that the last read refused, which is left as it is.
bool writeTrackFile(const char* folder, const char* base, int track, char* message, size_t messageSize);
// Writes the GNU Rocket editor's document of the track table (ROCKET_DOCUMENT_FILE) into `folder`, whole or
// not at all. An existing document keeps what the demo does not own (mergeRocketDocument), and the element
// of each track whose file the last read refused; one the demo cannot read is left as it is. False with the
// reason in `message`.
bool writeRocketDocument(const char* folder, char* message, size_t messageSize);
// Writes the files of `tracks` and, once none has failed, the editor's document beside them: every write of a
// tracks folder goes through here. A file the last read refused is left as it is (and said). The number of
// files not written (each reported).
int writeTrackFiles(const char* folder, const char* base, SyncFileReport report,
                    SyncTrackSet tracks = SYNC_ALL_TRACKS);
