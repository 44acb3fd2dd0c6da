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
    // The rows stay: the document may have been made longer by an editor.
    deleteSyncKey(TRACK_HERO_FOLD, 5000);
    ASSERT_EQ(writeTrackFiles(folder.string().c_str(), SYNC_FILE_BASE, nullptr), 0);
    EXPECT_EQ(readText(folder / ROCKET_DOCUMENT_FILE), rocketDocumentText(5001));
    EXPECT_FALSE(fs::exists(folder / (std::string(ROCKET_DOCUMENT_FILE) + ".partial")));

    // Where the document cannot be written, the save says so; the track files are all there.
    fs::remove(folder / ROCKET_DOCUMENT_FILE);
    fs::create_directory(folder / ROCKET_DOCUMENT_FILE);
    EXPECT_EQ(writeTrackFiles(folder.string().c_str(), SYNC_FILE_BASE, nullptr), 1);
    fs::remove_all(folder);
}

namespace {
struct DocumentFolder {
    fs::path path = fs::temp_directory_path() / ("doz-rocket-merge-" + std::to_string(getpid()));
    DocumentFolder() {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~DocumentFolder() { fs::remove_all(path); }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path / name, std::ios::binary) << bytes;
    }
    int save() const { return writeTrackFiles(path.string().c_str(), SYNC_FILE_BASE, nullptr); }
};
} // namespace

// An author opens the document in the editor, adds bookmarks, a track of the editor's own and rows, saves;
// the demo's next write keeps all of it and gives its own tracks the table's keys.
TEST(RocketDocument, AWriteKeepsWhatTheEditorMadeAndLeavesAnUnreadableDocumentAlone) {
    resetSyncTracks();
    DocumentFolder folder;
    const std::string edited = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                               "<!-- kept by the editor -->\n"
                               "<sync rows=\"4096\" beat=\"8\">\n"
                               "  <tracks>\n"
                               "    <track name=\"camera:pos.x\" folded=\"1\" color=\"ff00ff00\">\n"
                               "      <key row=\"0\" value=\"7\" interpolation=\"0\" />\n"
                               "      <key row=\"12\" value=\"8\" interpolation=\"1\" />\n"
                               "    </track>\n"
                               "    <track name=\"scratch:notes\">\n"
                               "      <key row=\"3\" value=\"1.25\" interpolation=\"2\" />\n"
                               "    </track>\n"
                               "    <track name=\"hero:fold\" color=\"ffff0000\"/>\n"
                               "  </tracks>\n"
                               "  <bookmarks>\n"
                               "    <bookmark row=\"64\" />\n"
                               "  </bookmarks>\n"
                               "</sync>\n";
    folder.write(ROCKET_DOCUMENT_FILE, edited);
    ASSERT_EQ(setSyncKey(TRACK_CAMERA_POS_X, 16, 2.5f, SYNC_LINEAR), SYNC_KEY_ADDED);
    ASSERT_EQ(setSyncKey(TRACK_HERO_FOLD, 32, -1.f, SYNC_STEP), SYNC_KEY_ADDED);
    ASSERT_EQ(folder.save(), 0);
    std::string merged = readText(folder.path / ROCKET_DOCUMENT_FILE);
    // The demo's tracks take the table's keys where they stood, with their attributes; the tracks the
    // document lacked follow at the end of <tracks>, in table order.
    std::string expected = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                           "<!-- kept by the editor -->\n"
                           "<sync rows=\"4096\" beat=\"8\">\n"
                           "  <tracks>\n"
                           "    <track name=\"camera:pos.x\" folded=\"1\" color=\"ff00ff00\">\n"
                           "      <key row=\"16\" value=\"2.5\" interpolation=\"1\"/>\n"
                           "    </track>\n"
                           "    <track name=\"scratch:notes\">\n"
                           "      <key row=\"3\" value=\"1.25\" interpolation=\"2\" />\n"
                           "    </track>\n"
                           "    <track name=\"hero:fold\" color=\"ffff0000\">\n"
                           "    \t<key row=\"32\" value=\"-1\" interpolation=\"0\"/>\n"
                           "    </track>";
    for (int track = TRACK_CAMERA_POS_Y; track < SYNC_TRACK_COUNT; ++track)
        if (track != TRACK_HERO_FOLD)
            expected += std::string("\n  \t<track name=\"") + SYNC_TRACK_NAMES[track] + "\"/>";
    expected += "\n  </tracks>\n"
                "  <bookmarks>\n"
                "    <bookmark row=\"64\" />\n"
                "  </bookmarks>\n"
                "</sync>\n";
    EXPECT_EQ(merged, expected);

    // Written again with nothing changed, it stays the same; more rows than it has raise its count, and a
    // key taken away leaves the track as the demo writes an empty one.
    ASSERT_EQ(folder.save(), 0);
    EXPECT_EQ(readText(folder.path / ROCKET_DOCUMENT_FILE), merged);
    ASSERT_EQ(setSyncKey(TRACK_GRADE_WARMTH, 5000, 1.f, SYNC_LINEAR), SYNC_KEY_ADDED);
    deleteSyncKey(TRACK_CAMERA_POS_X, 16);
    ASSERT_EQ(folder.save(), 0);
    merged = readText(folder.path / ROCKET_DOCUMENT_FILE);
    EXPECT_NE(merged.find("<sync rows=\"5001\" beat=\"8\">"), std::string::npos) << merged;
    EXPECT_NE(merged.find("<track name=\"camera:pos.x\" folded=\"1\" color=\"ff00ff00\"/>\n"),
              std::string::npos)
        << merged;
    EXPECT_NE(merged.find("<bookmark row=\"64\" />"), std::string::npos);
    EXPECT_NE(merged.find("scratch:notes"), std::string::npos);

    // A document with no <tracks> gets them; names are compared as the editor escapes them.
    folder.write(ROCKET_DOCUMENT_FILE, "<sync><bookmarks><bookmark row=\"1\"/></bookmarks></sync>");
    ASSERT_EQ(folder.save(), 0);
    merged = readText(folder.path / ROCKET_DOCUMENT_FILE);
    EXPECT_EQ(merged.rfind("<sync rows=\"5001\">\n\t<tracks>\n\t\t<track name=\"camera:pos.x\"/>", 0), 0u)
        << merged;
    EXPECT_NE(merged.find("</tracks><bookmarks><bookmark row=\"1\"/></bookmarks></sync>"), std::string::npos);
    folder.write(ROCKET_DOCUMENT_FILE,
                 "<sync rows=\"9\"><tracks><track name=\"hero&#58;fold\"><key row=\"1\" "
                 "value=\"5\" interpolation=\"0\"/></track></tracks></sync>");
    ASSERT_EQ(folder.save(), 0);
    merged = readText(folder.path / ROCKET_DOCUMENT_FILE);
    EXPECT_EQ(merged.find("value=\"5\""), std::string::npos) << "the demo's own track, by its escaped name";
    EXPECT_EQ(merged.find("hero:fold"), std::string::npos) << "not added twice";

    // One the demo cannot read is left as it is and said; the track files are written all the same.
    for (const std::string& broken :
         {std::string("<sync rows=\"10\"><tracks><track name=\"a\"></tracks></sync>"), std::string("<sync"),
          std::string("<other/>"), std::string("<sync rows=\"many\"/>"), edited.substr(0, edited.size() / 2),
          std::string("<sync><tracks/></sync><sync/>"), std::string("<sync a=\"&nope;\"/>")}) {
        SCOPED_TRACE(broken);
        folder.write(ROCKET_DOCUMENT_FILE, broken);
        fs::remove(folder.path / "sync_hero-3Afold.track");
        char message[512] = "";
        EXPECT_FALSE(writeRocketDocument(folder.path.string().c_str(), message, sizeof message));
        EXPECT_NE(std::string(message).find("left as it is"), std::string::npos) << message;
        EXPECT_EQ(folder.save(), 1);
        EXPECT_EQ(readText(folder.path / ROCKET_DOCUMENT_FILE), broken);
        EXPECT_TRUE(fs::exists(folder.path / "sync_hero-3Afold.track"));
    }
    resetSyncTracks();
}
