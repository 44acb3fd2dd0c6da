// The track table, its keys and their interpolation, and the row rate.
#include "sync/sync_tracks.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

const char* const SYNC_TRACK_NAMES[SYNC_TRACK_COUNT] = {
#define SYNC_TRACK(id, name, slot, fallback, meaning) name,
#include "sync/track_table.h"
#undef SYNC_TRACK
};

const int SYNC_TRACK_SLOTS[SYNC_TRACK_COUNT] = {
#define SYNC_TRACK(id, name, slot, fallback, meaning) slot,
#include "sync/track_table.h"
#undef SYNC_TRACK
};

const float SYNC_TRACK_DEFAULTS[SYNC_TRACK_COUNT] = {
#define SYNC_TRACK(id, name, slot, fallback, meaning) static_cast<float>(fallback),
#include "sync/track_table.h"
#undef SYNC_TRACK
};

const char* const SYNC_TRACK_MEANINGS[SYNC_TRACK_COUNT] = {
#define SYNC_TRACK(id, name, slot, fallback, meaning) meaning,
#include "sync/track_table.h"
#undef SYNC_TRACK
};

// The table's slots, checked while compiling: each below the track count and none twice, so that the
// uniform's values are the tracks' and nothing else.
static constexpr int TABLE_SLOTS[] = {
#define SYNC_TRACK(id, name, slot, fallback, meaning) slot,
#include "sync/track_table.h"
#undef SYNC_TRACK
};
static constexpr bool slotsArePlaces() {
    for (int i = 0; i < SYNC_TRACK_COUNT; ++i) {
        if (TABLE_SLOTS[i] < 0 || TABLE_SLOTS[i] >= SYNC_TRACK_COUNT)
            return false;
        for (int j = 0; j < i; ++j)
            if (TABLE_SLOTS[i] == TABLE_SLOTS[j])
                return false;
    }
    return true;
}
static_assert(slotsArePlaces(), "sync/track_table.h: slots must be 0 to the track count - 1, none twice");

const char* const SYNC_SETTINGS_FILE = "rows.txt";

SyncTrackTable syncTracks;
SyncSettings syncSettings;

void resetSyncTracks() {
    for (SyncTrackKeys& keys : syncTracks.tracks)
        keys.count = 0;
    syncSettings = {};
}

int findSyncTrack(const char* name) {
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track)
        if (std::strcmp(SYNC_TRACK_NAMES[track], name) == 0)
            return track;
    return -1;
}

static bool trackInRange(int track) {
    return track >= 0 && track < SYNC_TRACK_COUNT;
}

// The index of the first key whose row is not below `row`.
static int lowerBound(const SyncTrackKeys& keys, int32_t row) {
    int low = 0, high = keys.count;
    while (low < high) {
        int middle = low + (high - low) / 2;
        if (keys.rows[middle] < row)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

SyncKeyResult setSyncKey(int track, int32_t row, float value, uint8_t interpolation) {
    if (!trackInRange(track) || row < 0 || row > SYNC_MAX_ROW || interpolation > SYNC_LAST_INTERPOLATION ||
        !std::isfinite(value))
        return SYNC_KEY_REFUSED;
    SyncTrackKeys& keys = syncTracks.tracks[track];
    int at = lowerBound(keys, row);
    if (at < keys.count && keys.rows[at] == row) {
        keys.values[at] = value;
        keys.interpolations[at] = interpolation;
        return SYNC_KEY_REPLACED;
    }
    if (keys.count == SYNC_MAX_KEYS)
        return SYNC_KEY_REFUSED;
    size_t moved = static_cast<size_t>(keys.count - at);
    std::memmove(&keys.rows[at + 1], &keys.rows[at], moved * sizeof keys.rows[0]);
    std::memmove(&keys.values[at + 1], &keys.values[at], moved * sizeof keys.values[0]);
    std::memmove(&keys.interpolations[at + 1], &keys.interpolations[at],
                 moved * sizeof keys.interpolations[0]);
    keys.rows[at] = row;
    keys.values[at] = value;
    keys.interpolations[at] = interpolation;
    ++keys.count;
    return SYNC_KEY_ADDED;
}

bool deleteSyncKey(int track, int32_t row) {
    if (!trackInRange(track))
        return false;
    SyncTrackKeys& keys = syncTracks.tracks[track];
    int at = lowerBound(keys, row);
    if (at == keys.count || keys.rows[at] != row)
        return false;
    size_t moved = static_cast<size_t>(keys.count - at - 1);
    std::memmove(&keys.rows[at], &keys.rows[at + 1], moved * sizeof keys.rows[0]);
    std::memmove(&keys.values[at], &keys.values[at + 1], moved * sizeof keys.values[0]);
    std::memmove(&keys.interpolations[at], &keys.interpolations[at + 1],
                 moved * sizeof keys.interpolations[0]);
    --keys.count;
    return true;
}

void clearSyncTrack(int track) {
    if (trackInRange(track))
        syncTracks.tracks[track].count = 0;
}

float trackValueAt(int track, double row) {
    if (!trackInRange(track))
        return 0.0f;
    const SyncTrackKeys& keys = syncTracks.tracks[track];
    int n = keys.count;
    if (n == 0)
        return SYNC_TRACK_DEFAULTS[track];
    // Written so that a row that is not a number takes the first key rather than a search past the end.
    if (!(row > keys.rows[0]))
        return keys.values[0];
    if (!(row < keys.rows[n - 1]))
        return keys.values[n - 1];
    // The last key at or before `row`: keys.rows[0] < row < keys.rows[n - 1], so 0 <= at < n - 1.
    int low = 0, high = n - 1;
    while (high - low > 1) {
        int middle = low + (high - low) / 2;
        if (keys.rows[middle] <= row)
            low = middle;
        else
            high = middle;
    }
    int at = low;
    double a = keys.values[at], b = keys.values[at + 1];
    double t = (row - keys.rows[at]) / static_cast<double>(keys.rows[at + 1] - keys.rows[at]);
    switch (keys.interpolations[at]) {
    case SYNC_LINEAR:
        return static_cast<float>(a + (b - a) * t);
    case SYNC_SMOOTH:
        return static_cast<float>(a + (b - a) * t * t * (3.0 - 2.0 * t));
    case SYNC_RAMP:
        return static_cast<float>(a + (b - a) * t * t);
    default:
        return static_cast<float>(a);
    }
}

void readTrackValues(double row, float* out) {
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track)
        out[track] = trackValueAt(track, row);
}

void placeTrackValuesInSlots(const float* values, float* out, int valueCount) {
    for (int i = 0; i < valueCount; ++i)
        out[i] = 0.0f;
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track)
        if (SYNC_TRACK_SLOTS[track] < valueCount)
            out[SYNC_TRACK_SLOTS[track]] = values[track];
}

void readTrackSlotValues(double row, float* out, int valueCount) {
    float values[SYNC_TRACK_COUNT];
    readTrackValues(row, values);
    placeTrackValuesInSlots(values, out, valueCount);
}

double syncRowsPerSecond() {
    return syncSettings.beatsPerMinute / 60.0 * syncSettings.rowsPerBeat;
}

double rowAtTime(double seconds) {
    return seconds * syncRowsPerSecond();
}

double timeAtRow(double row) {
    return row / syncRowsPerSecond();
}

// Half a sample is far less than a thousandth of a row at any row rate the settings allow.
static constexpr double ROW_LANDING = 1e-3;

double shownRowAt(double seconds) {
    return std::floor(rowAtTime(seconds) + ROW_LANDING);
}

bool insideShownRow(double seconds) {
    return rowAtTime(seconds) > shownRowAt(seconds) + ROW_LANDING;
}

// One line's number, the whole rest of the line: false when it is missing, has anything after it, or is
// not finite.
static bool parseNumber(const char* text, double* number) {
    while (*text == ' ' || *text == '\t')
        ++text;
    if (*text == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    double value = std::strtod(text, &end);
    if (end == text || errno != 0)
        return false;
    while (*end == ' ' || *end == '\t' || *end == '\r')
        ++end;
    if (*end != '\0' || !std::isfinite(value))
        return false;
    *number = value;
    return true;
}

bool parseSyncSettings(const char* text, size_t size, SyncSettings* settings, char* error, size_t errorSize) {
    SyncSettings parsed;
    bool seenBpm = false, seenRows = false;
    size_t start = 0;
    for (int lineNumber = 1; start < size; ++lineNumber) {
        size_t end = start;
        while (end < size && text[end] != '\n')
            ++end;
        char line[128];
        size_t length = end - start;
        if (length >= sizeof line) {
            std::snprintf(error, errorSize, "line %d: too long", lineNumber);
            return false;
        }
        std::memcpy(line, text + start, length);
        line[length] = '\0';
        start = end + 1;
        if (std::memchr(line, '\0', length) != nullptr) {
            std::snprintf(error, errorSize, "line %d: not text", lineNumber);
            return false;
        }
        const char* p = line;
        while (*p == ' ' || *p == '\t' || *p == '\r')
            ++p;
        if (*p == '\0' || *p == '#')
            continue;
        const char* nameEnd = p;
        while (*nameEnd != '\0' && *nameEnd != ' ' && *nameEnd != '\t' && *nameEnd != '\r')
            ++nameEnd;
        size_t nameLength = static_cast<size_t>(nameEnd - p);
        double number = 0.0;
        bool valid = parseNumber(nameEnd, &number);
        if (nameLength == 3 && std::strncmp(p, "bpm", 3) == 0) {
            if (seenBpm) {
                std::snprintf(error, errorSize, "line %d: bpm given twice", lineNumber);
                return false;
            }
            if (!valid || number < SYNC_MIN_BPM || number > SYNC_MAX_BPM) {
                std::snprintf(error, errorSize, "line %d: bpm must be a number from %g to %g", lineNumber,
                              SYNC_MIN_BPM, SYNC_MAX_BPM);
                return false;
            }
            parsed.beatsPerMinute = number;
            seenBpm = true;
        } else if (nameLength == 13 && std::strncmp(p, "rows_per_beat", 13) == 0) {
            if (seenRows) {
                std::snprintf(error, errorSize, "line %d: rows_per_beat given twice", lineNumber);
                return false;
            }
            if (!valid || number < 1 || number > SYNC_MAX_ROWS_PER_BEAT || number != std::floor(number)) {
                std::snprintf(error, errorSize, "line %d: rows_per_beat must be a whole number from 1 to %d",
                              lineNumber, SYNC_MAX_ROWS_PER_BEAT);
                return false;
            }
            parsed.rowsPerBeat = static_cast<int>(number);
            seenRows = true;
        } else {
            std::snprintf(error, errorSize, "line %d: unknown setting '%.*s' (bpm or rows_per_beat)",
                          lineNumber, static_cast<int>(nameLength > 40 ? 40 : nameLength), p);
            return false;
        }
    }
    *settings = parsed;
    return true;
}

bool readSyncSettings(const char* folder, char* error, size_t errorSize) {
    syncSettings = {};
    std::string path = (std::filesystem::path(folder) / SYNC_SETTINGS_FILE).string();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return true;
    char text[4096];
    size_t size = std::fread(text, 1, sizeof text, file);
    bool tooLong = size == sizeof text;
    bool readError = std::ferror(file) != 0;
    std::fclose(file);
    char reason[192];
    bool ok = false;
    if (readError)
        std::snprintf(reason, sizeof reason, "cannot be read");
    else if (tooLong)
        std::snprintf(reason, sizeof reason, "longer than %zu bytes", sizeof text - 1);
    else
        ok = parseSyncSettings(text, size, &syncSettings, reason, sizeof reason);
    if (!ok)
        std::snprintf(error, errorSize, "%s: %s", path.c_str(), reason);
    return ok;
}
