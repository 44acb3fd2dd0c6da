// Loading, hashing and copying a capture's tracks.
#include "tools/capture/capture_tracks.h"

#include "sync/builtin_tracks.h"
#include "tools/capture/capture_job.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

static std::string tracksFolder;

void setCaptureTracksFolder(const std::string& folder) {
    tracksFolder = folder;
}

const std::string& captureTracksFolder() {
    return tracksFolder;
}

static void reportRefused(const char* message) {
    std::fprintf(stderr, "doz-capture: %s\n", message);
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

std::string loadedTracksHash() {
    static std::vector<unsigned char> bytes(SYNC_MAX_FILE_BYTES);
    uint64_t hash = hashBytes("doz tracks 1", 12);
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        size_t size = encodeTrackFile(track, bytes.data(), bytes.size());
        hash = hashBytes(&size, sizeof size, hash);
        hash = hashBytes(bytes.data(), size, hash);
    }
    const std::string settings = settingsText();
    return hashHex(hashBytes(settings.data(), settings.size(), hash));
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
