// The track table: keys, the four interpolations between them, the row rate and its settings file.
#include "sync/sync_tracks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;

TEST(SyncTracks, NamesAreUniqueGroupedAndFound) {
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        const char* name = SYNC_TRACK_NAMES[track];
        EXPECT_NE(std::strchr(name, ':'), nullptr) << name;
        EXPECT_EQ(findSyncTrack(name), track) << name;
        EXPECT_LT(std::strlen(name), SYNC_TRACK_NAME_ROOM) << name;
    }
    EXPECT_STREQ(SYNC_TRACK_NAMES[TRACK_CAMERA_POS_X], "camera:pos.x");
    EXPECT_EQ(findSyncTrack("camera:nothing"), -1);
}

TEST(SyncTracks, FourInterpolationsBetweenKeysAndTheEdges) {
    const int track = TRACK_CAMERA_POS_Y;
    EXPECT_EQ(trackValueAt(track, 5.0), 0.0f); // no keys

    // Keys given out of row order: 10 -> 2 (step), 20 -> 6 (linear), 30 -> -2 (smooth), 40 -> 8 (ramp), 50
    // -> 1.
    EXPECT_EQ(setSyncKey(track, 40, 8.0f, SYNC_RAMP), SYNC_KEY_ADDED);
    EXPECT_EQ(setSyncKey(track, 10, 2.0f, SYNC_STEP), SYNC_KEY_ADDED);
    EXPECT_EQ(setSyncKey(track, 50, 1.0f, SYNC_LINEAR), SYNC_KEY_ADDED);
    EXPECT_EQ(setSyncKey(track, 30, -2.0f, SYNC_SMOOTH), SYNC_KEY_ADDED);
    EXPECT_EQ(setSyncKey(track, 20, 6.0f, SYNC_LINEAR), SYNC_KEY_ADDED);
    const SyncTrackKeys& keys = syncTracks.tracks[track];
    ASSERT_EQ(keys.count, 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(keys.rows[i], 10 * (i + 1));

    // Before the first key and at it: its value; at and after the last: the last's.
    EXPECT_EQ(trackValueAt(track, -3.0), 2.0f);
    EXPECT_EQ(trackValueAt(track, 10.0), 2.0f);
    EXPECT_EQ(trackValueAt(track, 50.0), 1.0f);
    EXPECT_EQ(trackValueAt(track, 1e9), 1.0f);
    // Step holds up to the next key's row, where the next key's value takes over.
    EXPECT_EQ(trackValueAt(track, 19.999), 2.0f);
    EXPECT_EQ(trackValueAt(track, 20.0), 6.0f);
    // Linear 6 -> -2 over 20..30: at 22.5, t = 0.25 gives 4.
    EXPECT_FLOAT_EQ(trackValueAt(track, 22.5), 4.0f);
    // Smooth -2 -> 8 over 30..40: t = 0.25, t^2 (3 - 2t) = 0.15625, so -2 + 10 x 0.15625 = -0.4375.
    EXPECT_FLOAT_EQ(trackValueAt(track, 32.5), -0.4375f);
    EXPECT_FLOAT_EQ(trackValueAt(track, 35.0), 3.0f);
    // Ramp 8 -> 1 over 40..50: t = 0.5 gives 8 - 7 x 0.25 = 6.25; t = 0.1 gives 7.93.
    EXPECT_FLOAT_EQ(trackValueAt(track, 45.0), 6.25f);
    EXPECT_FLOAT_EQ(trackValueAt(track, 41.0), 7.93f);
    // Every track at once: the others hold no keys.
    float values[SYNC_TRACK_COUNT];
    readTrackValues(45.0, values);
    for (int other = 0; other < SYNC_TRACK_COUNT; ++other)
        EXPECT_EQ(values[other], other == track ? 6.25f : 0.0f) << SYNC_TRACK_NAMES[other];
    // A row that is not a number is no search past the keys.
    EXPECT_EQ(trackValueAt(track, std::nan("")), 2.0f);
    EXPECT_EQ(trackValueAt(SYNC_TRACK_COUNT, 20.0), 0.0f);
}

TEST(SyncTracks, SetReplacesDeleteRemovesAndBadKeysAreRefused) {
    const int track = TRACK_CAMERA_FOV;
    EXPECT_EQ(setSyncKey(track, 0, 1.0f, SYNC_LINEAR), SYNC_KEY_ADDED);
    EXPECT_EQ(setSyncKey(track, 8, 3.0f, SYNC_LINEAR), SYNC_KEY_ADDED);
    EXPECT_EQ(setSyncKey(track, 0, 5.0f, SYNC_STEP), SYNC_KEY_REPLACED);
    EXPECT_EQ(syncTracks.tracks[track].count, 2);
    EXPECT_EQ(trackValueAt(track, 4.0), 5.0f); // the replaced key's value and interpolation

    EXPECT_EQ(setSyncKey(track, -1, 1.0f, SYNC_STEP), SYNC_KEY_REFUSED);
    EXPECT_EQ(setSyncKey(track, SYNC_MAX_ROW + 1, 1.0f, SYNC_STEP), SYNC_KEY_REFUSED);
    EXPECT_EQ(setSyncKey(track, SYNC_MAX_ROW, 1.0f, SYNC_STEP), SYNC_KEY_ADDED);
    EXPECT_EQ(setSyncKey(track, 4, 1.0f, 4), SYNC_KEY_REFUSED);
    EXPECT_EQ(setSyncKey(track, 4, std::numeric_limits<float>::quiet_NaN(), SYNC_STEP), SYNC_KEY_REFUSED);
    EXPECT_EQ(setSyncKey(track, 4, std::numeric_limits<float>::infinity(), SYNC_STEP), SYNC_KEY_REFUSED);
    EXPECT_EQ(setSyncKey(-1, 4, 1.0f, SYNC_STEP), SYNC_KEY_REFUSED);
    EXPECT_EQ(setSyncKey(SYNC_TRACK_COUNT, 4, 1.0f, SYNC_STEP), SYNC_KEY_REFUSED);
    EXPECT_EQ(syncTracks.tracks[track].count, 3);

    EXPECT_TRUE(deleteSyncKey(track, 0));
    EXPECT_FALSE(deleteSyncKey(track, 0));
    EXPECT_FALSE(deleteSyncKey(track, 3));
    EXPECT_EQ(syncTracks.tracks[track].count, 2);
    EXPECT_EQ(trackValueAt(track, 0.0), 3.0f);
    clearSyncTrack(track);
    EXPECT_EQ(trackValueAt(track, 0.0), 0.0f);
}

TEST(SyncTracks, FullTrackRefusesNewRowsButTakesReplacements) {
    const int track = TRACK_HERO_FOLD;
    for (int row = 0; row < SYNC_MAX_KEYS; ++row)
        ASSERT_EQ(setSyncKey(track, 2 * row, static_cast<float>(row), SYNC_LINEAR), SYNC_KEY_ADDED);
    EXPECT_EQ(setSyncKey(track, 1, 9.0f, SYNC_STEP), SYNC_KEY_REFUSED);
    EXPECT_EQ(setSyncKey(track, 2 * SYNC_MAX_KEYS, 9.0f, SYNC_STEP), SYNC_KEY_REFUSED);
    EXPECT_EQ(setSyncKey(track, 2, 9.0f, SYNC_STEP), SYNC_KEY_REPLACED);
    EXPECT_EQ(syncTracks.tracks[track].count, SYNC_MAX_KEYS);
    EXPECT_FLOAT_EQ(trackValueAt(track, 1.0), 4.5f); // halfway from 0 to the replaced 9
    EXPECT_EQ(trackValueAt(track, 3.0), 9.0f);
    EXPECT_FLOAT_EQ(trackValueAt(track, 2 * 9000 + 1.5), 9000.75f);
}

TEST(SyncTracks, RowRateAndSettingsFile) {
    EXPECT_DOUBLE_EQ(syncRowsPerSecond(), 16.0);
    EXPECT_DOUBLE_EQ(rowAtTime(2.5), 40.0);
    EXPECT_DOUBLE_EQ(timeAtRow(40.0), 2.5);

    SyncSettings settings;
    char error[160] = "";
    const char good[] = "# a slower song\n\nbpm 93.5\r\n  rows_per_beat\t4  \n";
    ASSERT_TRUE(parseSyncSettings(good, sizeof good - 1, &settings, error, sizeof error)) << error;
    EXPECT_EQ(settings.beatsPerMinute, 93.5);
    EXPECT_EQ(settings.rowsPerBeat, 4);

    struct Bad {
        const char* text;
        const char* says;
    };
    const Bad bad[] = {
        {"bpm\n", "line 1: bpm must be a number"},
        {"bpm 120 fast\n", "line 1: bpm must"},
        {"bpm 0\n", "line 1: bpm must"},
        {"bpm nan\n", "line 1: bpm must"},
        {"\nrows_per_beat 4.5\n", "line 2: rows_per_beat must be a whole number"},
        {"rows_per_beat 65\n", "line 1: rows_per_beat must"},
        {"rows_per_beat 0\n", "line 1: rows_per_beat must"},
        {"bpm 120\nbpm 130\n", "line 2: bpm given twice"},
        {"tempo 120\n", "line 1: unknown setting 'tempo'"},
    };
    for (const Bad& b : bad) {
        settings = {};
        settings.rowsPerBeat = 5;
        EXPECT_FALSE(parseSyncSettings(b.text, std::strlen(b.text), &settings, error, sizeof error))
            << b.text;
        EXPECT_EQ(std::string(error).rfind(b.says, 0), 0u) << error;
        EXPECT_EQ(settings.rowsPerBeat, 5) << "a refused file changes nothing";
    }

    fs::path folder = fs::temp_directory_path() / ("doz-sync-settings-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    EXPECT_TRUE(readSyncSettings(folder.string().c_str(), error, sizeof error)); // none: the defaults
    EXPECT_DOUBLE_EQ(syncRowsPerSecond(), 16.0);
    std::FILE* file = std::fopen((folder / "rows.txt").string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("bpm 150\nrows_per_beat 4\n", file);
    std::fclose(file);
    EXPECT_TRUE(readSyncSettings(folder.string().c_str(), error, sizeof error)) << error;
    EXPECT_DOUBLE_EQ(syncRowsPerSecond(), 10.0);
    EXPECT_DOUBLE_EQ(rowAtTime(3.0), 30.0);
    file = std::fopen((folder / "rows.txt").string().c_str(), "wb");
    std::fputs("bpm 150\nrows 4\n", file);
    std::fclose(file);
    EXPECT_FALSE(readSyncSettings(folder.string().c_str(), error, sizeof error));
    EXPECT_NE(std::strstr(error, "rows.txt: line 2: unknown setting 'rows'"), nullptr) << error;
    EXPECT_DOUBLE_EQ(syncRowsPerSecond(), 16.0) << "a bad file leaves the defaults";
    fs::remove_all(folder);
}
