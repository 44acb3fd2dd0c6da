// Loading, hashing and copying a capture's tracks.
#include "capture/capture_tracks.h"

#include "capture/report.h"
#include "sync/builtin_tracks.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

static std::string tracksFolder;

void setCaptureTracksFolder(const std::string& folder) {
    tracksFolder = folder;
}

const std::string& captureTracksFolder() {
    return tracksFolder;
}

static void reportRefused(const char* message) {
    reportNote(message);
}

int loadCaptureTracks(bool report) {
    int refused = loadBuiltinTracks(report ? reportRefused : nullptr);
    if (!tracksFolder.empty())
        refused += readTracksFolder(tracksFolder.c_str(), report ? reportRefused : nullptr);
    return refused;
}

static std::string settingsText() {
    char text[96];
    std::snprintf(text, sizeof text, "bpm %.17g\nrows_per_beat %d\n", syncSettings.beatsPerMinute,
                  syncSettings.rowsPerBeat);
    return text;
}

bool writeLoadedTracks(const std::string& folder, std::string* why) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        *why = "cannot make the folder '" + folder + "': " + error.message();
        return false;
    }
    char message[512];
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track)
        if (!writeTrackFile(folder.c_str(), SYNC_FILE_BASE, track, message, sizeof message)) {
            *why = message;
            return false;
        }
    const std::string path = (std::filesystem::path(folder) / SYNC_SETTINGS_FILE).string();
    const std::string partial = path + ".partial";
    const std::string text = settingsText();
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    bool ok = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file != nullptr && std::fclose(file) != 0)
        ok = false;
    if (ok)
        std::filesystem::rename(partial, path, error);
    if (!ok || error) {
        std::filesystem::remove(partial, error);
        *why = "cannot write '" + path + "'";
        return false;
    }
    return true;
}
