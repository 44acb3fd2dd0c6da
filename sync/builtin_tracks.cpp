// Loading the built-in tracks, and a tracks folder, into the track table.
#include "sync/builtin_tracks.h"

#include <cstdio>
#include <cstring>

static const EmbeddedFile* findBuiltinFile(const char* name) {
    for (int i = 0; i < BUILTIN_TRACK_FILE_COUNT; ++i)
        if (std::strcmp(BUILTIN_TRACK_FILES[i].name, name) == 0)
            return &BUILTIN_TRACK_FILES[i];
    return nullptr;
}

static void reportLine(SyncFileReport report, const char* message) {
    if (report != nullptr)
        report(message);
}

int loadBuiltinTracks(SyncFileReport report) {
    resetSyncTracks();
    int refused = 0;
    char message[768];
    if (const EmbeddedFile* settings = findBuiltinFile(SYNC_SETTINGS_FILE)) {
        char error[256];
        if (!parseSyncSettings(reinterpret_cast<const char*>(settings->bytes), settings->size, &syncSettings,
                               error, sizeof error)) {
            ++refused;
            std::snprintf(message, sizeof message, "built-in %s: %s", SYNC_SETTINGS_FILE, error);
            reportLine(report, message);
        }
    }
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        char name[SYNC_FILE_NAME_ROOM];
        if (!trackFileName(SYNC_FILE_BASE, SYNC_TRACK_NAMES[track], name, sizeof name))
            continue;
        const EmbeddedFile* file = findBuiltinFile(name);
        char reason[160];
        if (file == nullptr || decodeTrackFile(track, file->bytes, file->size, reason, sizeof reason))
            continue;
        ++refused;
        std::snprintf(message, sizeof message, "built-in %s: refused, %s; the track has no keys", name,
                      reason);
        reportLine(report, message);
    }
    return refused;
}

int readTracksFolder(const char* folder, SyncFileReport report) {
    int refused = 0;
    char error[512];
    if (!readSyncSettings(folder, error, sizeof error)) {
        ++refused;
        reportLine(report, error);
    }
    return refused + readTrackFiles(folder, SYNC_FILE_BASE, report);
}
