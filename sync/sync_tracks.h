// The sync tracks: one process-wide table of named tracks whose keys a sync editor or the track files set,
// looked up at the music's row on every frame. Keys live in fixed arrays: nothing is allocated after
// start-up.
#pragma once
#include <cstddef>
#include <cstdint>

// The tracks, in the order they are asked of an editor (and so their indices on a connection), as
// sync/track_table.h declares them: TRACK_CAMERA_POS_X and so on. Each is a value the scene adds to what it
// draws; 0 everywhere is the picture as drawn without tracks.
enum SyncTrack {
#define SYNC_TRACK(id, name, slot, fallback, meaning) TRACK_##id,
#include "sync/track_table.h"
#undef SYNC_TRACK
    SYNC_TRACK_COUNT
};

// The names above, indexed by SyncTrack; none longer than SYNC_TRACK_NAME_ROOM bytes.
constexpr size_t SYNC_TRACK_NAME_ROOM = 64;
extern const char* const SYNC_TRACK_NAMES[SYNC_TRACK_COUNT];
// Each track's place among the track uniform's values, and its value while it holds no keys.
extern const int SYNC_TRACK_SLOTS[SYNC_TRACK_COUNT];
extern const float SYNC_TRACK_DEFAULTS[SYNC_TRACK_COUNT];
// What each track's value means, in a few words.
extern const char* const SYNC_TRACK_MEANINGS[SYNC_TRACK_COUNT];

enum SyncInterpolation : uint8_t {
    SYNC_STEP = 0,   // holds the key's value up to the next key
    SYNC_LINEAR = 1, // a straight line to the next key
    SYNC_SMOOTH = 2, // eases in and out (smoothstep)
    SYNC_RAMP = 3,   // eases in only (t squared)
};
constexpr uint8_t SYNC_LAST_INTERPOLATION = SYNC_RAMP;

// Keys one track holds. A key beyond it is refused (setSyncKey returns SYNC_KEY_REFUSED) and the track
// keeps the keys it had; a track file with more keys is refused whole.
constexpr int SYNC_MAX_KEYS = 16384;
// The highest row a key or the editor's cursor may name: 2^20 rows, over 18 hours at 16 rows a second.
// Rows beyond it, from a file or the editor, are bad input.
constexpr int32_t SYNC_MAX_ROW = 1 << 20;

struct SyncTrackKeys {
    int count = 0;
    // Sorted by row, no row twice; split by field so that the search walks rows only.
    int32_t rows[SYNC_MAX_KEYS];
    float values[SYNC_MAX_KEYS];
    uint8_t interpolations[SYNC_MAX_KEYS];
};

struct SyncTrackTable {
    SyncTrackKeys tracks[SYNC_TRACK_COUNT];
};

extern SyncTrackTable syncTracks;

// The row rate: rows = music seconds x beatsPerMinute / 60 x rowsPerBeat.
struct SyncSettings {
    double beatsPerMinute = 120.0;
    int rowsPerBeat = 8;
};
constexpr double SYNC_MIN_BPM = 1.0, SYNC_MAX_BPM = 1000.0;
constexpr int SYNC_MAX_ROWS_PER_BEAT = 64;

extern SyncSettings syncSettings;

// No keys on any track, and the default row rate.
void resetSyncTracks();

// The name's track, or -1.
int findSyncTrack(const char* name);

enum SyncKeyResult { SYNC_KEY_ADDED, SYNC_KEY_REPLACED, SYNC_KEY_REFUSED };
// Sets the key at `row` (replacing one already there). Refused: a track or interpolation out of range, a
// row outside 0..SYNC_MAX_ROW, a value that is not finite, or a full track.
SyncKeyResult setSyncKey(int track, int32_t row, float value, uint8_t interpolation);
// Removes the key at `row`; false when there is none.
bool deleteSyncKey(int track, int32_t row);
void clearSyncTrack(int track);

// The track's value at a fractional row: its default without keys; the first key's value up to it, the last
// key's from it on; between two keys the earlier key's interpolation, t being the fraction of the way
// between.
float trackValueAt(int track, double row);
// Every track's value at `row`, into out[SYNC_TRACK_COUNT].
void readTrackValues(double row, float* out);
// Values in track order (readTrackValues) put at their tracks' slots, into out[valueCount]; slots no track
// has are 0.
void placeTrackValuesInSlots(const float* values, float* out, int valueCount);
// Every track's value at `row` at its slot, into out[valueCount]; values no track has are 0.
void readTrackSlotValues(double row, float* out, int valueCount);

double syncRowsPerSecond();
double rowAtTime(double seconds);
double timeAtRow(double row);
// The whole row shown at `seconds`, as an editor counts it: a seek to a row lands up to half a sample
// before it, which is still that row. May be negative, or beyond SYNC_MAX_ROW.
double shownRowAt(double seconds);
// Whether `seconds` lies past the start of the row shown there (not merely landed on it).
bool insideShownRow(double seconds);

// The settings file in a tracks folder; absent, the defaults hold. Text lines, each a name and a number:
//   bpm 120            beats per minute, SYNC_MIN_BPM to SYNC_MAX_BPM
//   rows_per_beat 8    a whole number, 1 to SYNC_MAX_ROWS_PER_BEAT
// Blank lines and lines starting with '#' are skipped; a name not known, given twice, a number that is not
// one or out of range is an error naming the line.
extern const char* const SYNC_SETTINGS_FILE; // "rows.txt"

// Parses settings text into `settings` (left as it was on error, with the reason in `error`).
bool parseSyncSettings(const char* text, size_t size, SyncSettings* settings, char* error, size_t errorSize);
// Reads folder/SYNC_SETTINGS_FILE into syncSettings: true with the defaults when there is no such file;
// false, with the file's name and the reason in `error` and the defaults in force, when it is bad.
bool readSyncSettings(const char* folder, char* error, size_t errorSize);
