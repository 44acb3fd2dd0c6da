// The GNU Rocket editor's document that every write of a tracks folder puts beside the track files: its
// exact text for a known table, its rows for the whole run, and that a save writes it with the track files.
#include "sync/rocket_document.h"
#include "sync/sync_tracks.h"
#include "sync/track_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;

static std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(RocketDocument, HoldsEveryTrackInTableOrderWithItsKeysAndRowsForTheWholeRun) {
    ASSERT_EQ(setSyncKey(TRACK_CAMERA_POS_X, 0, 1.5f, SYNC_LINEAR), SYNC_KEY_ADDED);
    ASSERT_EQ(setSyncKey(TRACK_CAMERA_POS_X, 160, -0.1f, SYNC_SMOOTH), SYNC_KEY_ADDED);
    ASSERT_EQ(setSyncKey(TRACK_CAMERA_ROLL, 32, 90.f, SYNC_STEP), SYNC_KEY_ADDED);
    ASSERT_EQ(setSyncKey(TRACK_GRADE_WARMTH, 1983, 3e-5f, SYNC_RAMP), SYNC_KEY_ADDED);
    EXPECT_EQ(rocketDocumentRows(), 1984); // 124 s at 16 rows a second
    const std::string expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<sync rows=\"1984\">\n"
                                 "\t<tracks>\n"
                                 "\t\t<track name=\"camera:pos.x\">\n"
                                 "\t\t\t<key row=\"0\" value=\"1.5\" interpolation=\"1\"/>\n"
                                 "\t\t\t<key row=\"160\" value=\"-0.100000001\" interpolation=\"2\"/>\n"
                                 "\t\t</track>\n"
                                 "\t\t<track name=\"camera:pos.y\"/>\n"
                                 "\t\t<track name=\"camera:pos.z\"/>\n"
                                 "\t\t<track name=\"camera:target.x\"/>\n"
                                 "\t\t<track name=\"camera:target.y\"/>\n"
                                 "\t\t<track name=\"camera:target.z\"/>\n"
                                 "\t\t<track name=\"camera:roll\">\n"
                                 "\t\t\t<key row=\"32\" value=\"90\" interpolation=\"0\"/>\n"
                                 "\t\t</track>\n"
                                 "\t\t<track name=\"camera:fov\"/>\n"
                                 "\t\t<track name=\"light:exposure\"/>\n"
                                 "\t\t<track name=\"fog:density\"/>\n"
                                 "\t\t<track name=\"beat:strength\"/>\n"
                                 "\t\t<track name=\"hero:fold\"/>\n"
                                 "\t\t<track name=\"grade:saturation\"/>\n"
                                 "\t\t<track name=\"grade:contrast\"/>\n"
                                 "\t\t<track name=\"grade:warmth\">\n"
                                 "\t\t\t<key row=\"1983\" value=\"2.99999992e-05\" interpolation=\"3\"/>\n"
                                 "\t\t</track>\n"
                                 "\t</tracks>\n"
                                 "\t<bookmarks/>\n"
                                 "</sync>\n";
    EXPECT_EQ(rocketDocumentText(rocketDocumentRows()), expected);

    // A key past the run, or a faster row rate, needs more rows.
    syncSettings.rowsPerBeat = 16;
    EXPECT_EQ(rocketDocumentRows(), 3968);
    syncSettings = {};
    ASSERT_EQ(setSyncKey(TRACK_HERO_FOLD, 5000, 1.f, SYNC_STEP), SYNC_KEY_ADDED);
    EXPECT_EQ(rocketDocumentRows(), 5001);

    // A save writes it beside the track files, and writes it again with the keys as they are then.
    const fs::path folder = fs::temp_directory_path() / ("doz-rocket-document-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    ASSERT_EQ(writeTrackFiles(folder.string().c_str(), SYNC_FILE_BASE, nullptr), 0);
    EXPECT_EQ(readText(folder / ROCKET_DOCUMENT_FILE), rocketDocumentText(5001));
    deleteSyncKey(TRACK_HERO_FOLD, 5000);
    ASSERT_EQ(writeTrackFiles(folder.string().c_str(), SYNC_FILE_BASE, nullptr), 0);
    EXPECT_EQ(readText(folder / ROCKET_DOCUMENT_FILE), expected);
    EXPECT_FALSE(fs::exists(folder / (std::string(ROCKET_DOCUMENT_FILE) + ".partial")));

    // Where the document cannot be written, the save says so; the track files are all there.
    fs::remove(folder / ROCKET_DOCUMENT_FILE);
    fs::create_directory(folder / ROCKET_DOCUMENT_FILE);
    EXPECT_EQ(writeTrackFiles(folder.string().c_str(), SYNC_FILE_BASE, nullptr), 1);
    fs::remove_all(folder);
}
