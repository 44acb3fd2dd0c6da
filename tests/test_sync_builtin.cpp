// The tracks the executables carry: every track has its file, none holds a key, the row rate is the
// default; and loading them replaces whatever the table held.
#include "sync/builtin_tracks.h"

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
    // Byte for byte the repository's files, and nothing else.
    const std::filesystem::path folder = std::filesystem::path(DOZ_SOURCE_DIR) / "resources" / "tracks";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++files;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string name = entry.path().filename().string();
        bool same = false;
        for (int i = 0; i < BUILTIN_TRACK_FILE_COUNT; ++i)
            if (name == BUILTIN_TRACK_FILES[i].name)
                same = BUILTIN_TRACK_FILES[i].size == bytes.size() &&
                       std::memcmp(BUILTIN_TRACK_FILES[i].bytes, bytes.data(), bytes.size()) == 0;
        EXPECT_TRUE(same) << name;
    }
    EXPECT_EQ(files, BUILTIN_TRACK_FILE_COUNT);

    // Loading them takes away keys and a row rate set before.
    setSyncKey(TRACK_CAMERA_ROLL, 3, 1.f, SYNC_LINEAR);
    syncSettings.beatsPerMinute = 90.;
    EXPECT_EQ(loadBuiltinTracks(nullptr), 0);
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track)
        EXPECT_EQ(syncTracks.tracks[track].count, 0) << SYNC_TRACK_NAMES[track];
    EXPECT_EQ(syncRowsPerSecond(), 16.);
}
