// The tracks the executables carry: every track has its file (the committed one, or one with no keys made
// from the table), the row rate is the default; and loading them replaces whatever the table held.
#include "sync/builtin_tracks.h"
#include "tests/build_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

TEST(SyncBuiltinTracks, EveryTrackIsCarriedWithoutKeysAsInTheRepository) {
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        char name[SYNC_FILE_NAME_ROOM];
        ASSERT_TRUE(trackFileName(SYNC_FILE_BASE, SYNC_TRACK_NAMES[track], name, sizeof name));
        bool carried = false;
        for (int i = 0; i < BUILTIN_TRACK_FILE_COUNT; ++i)
            carried = carried || std::strcmp(BUILTIN_TRACK_FILES[i].name, name) == 0;
        EXPECT_TRUE(carried) << name;
    }
    // Byte for byte the repository's files; every other file carried is a track of the table with no keys.
    const std::filesystem::path folder = std::filesystem::path(sourceDir()) / "resources" / "tracks";
    for (int i = 0; i < BUILTIN_TRACK_FILE_COUNT; ++i) {
        const std::filesystem::path committed = folder / BUILTIN_TRACK_FILES[i].name;
        std::string bytes(4, '\0');
        if (std::filesystem::exists(committed)) {
            std::ifstream in(committed, std::ios::binary);
            bytes.assign((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        } else {
            bool ofTheTable = false;
            for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
                char name[SYNC_FILE_NAME_ROOM];
                trackFileName(SYNC_FILE_BASE, SYNC_TRACK_NAMES[track], name, sizeof name);
                ofTheTable = ofTheTable || std::strcmp(BUILTIN_TRACK_FILES[i].name, name) == 0;
            }
            EXPECT_TRUE(ofTheTable) << BUILTIN_TRACK_FILES[i].name;
        }
        EXPECT_TRUE(BUILTIN_TRACK_FILES[i].size == bytes.size() &&
                    std::memcmp(BUILTIN_TRACK_FILES[i].bytes, bytes.data(), bytes.size()) == 0)
            << BUILTIN_TRACK_FILES[i].name;
    }
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++files;
        bool carried = false;
        for (int i = 0; i < BUILTIN_TRACK_FILE_COUNT; ++i)
            carried = carried || entry.path().filename().string() == BUILTIN_TRACK_FILES[i].name;
        EXPECT_TRUE(carried) << entry.path();
    }
    EXPECT_EQ(BUILTIN_TRACK_FILE_COUNT, SYNC_TRACK_COUNT + files) << "one file per track, and rows.txt";

    // Loading them takes away keys and a row rate set before.
    setSyncKey(TRACK_CAMERA_ROLL, 3, 1.f, SYNC_LINEAR);
    syncSettings.beatsPerMinute = 90.;
    EXPECT_EQ(loadBuiltinTracks(nullptr), 0);
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track)
        EXPECT_EQ(syncTracks.tracks[track].count, 0) << SYNC_TRACK_NAMES[track];
    EXPECT_EQ(syncRowsPerSecond(), 16.);
}
