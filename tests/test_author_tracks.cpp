// Author mode's tracks folder: made from the built-in tracks and never written over, read at start and
// again once a change settles, a refused file named in the title with its track left without keys, and
// the --tracks option.
#include "app/author_tracks.h"
#include "app/command_line.h"
#include "render/stage_reloader.h"
#include "sync/builtin_tracks.h"
#include "sync/rocket_document.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::filesystem::path freshFolder(const char* name) {
    const std::filesystem::path base = std::filesystem::path(testing::TempDir()) / name;
    std::filesystem::remove_all(base);
    return base;
}

std::string trackFile(int track) {
    char name[SYNC_FILE_NAME_ROOM];
    EXPECT_TRUE(trackFileName(SYNC_FILE_BASE, SYNC_TRACK_NAMES[track], name, sizeof name));
    return name;
}

void writeBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// One key, little-endian as editors save it: row, value bits, interpolation.
std::vector<unsigned char> oneKeyFile(int32_t row, float value) {
    std::vector<unsigned char> bytes = {1, 0, 0, 0};
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    for (uint32_t word : {static_cast<uint32_t>(row), bits})
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<unsigned char>(word >> shift));
    bytes.push_back(SYNC_STEP);
    return bytes;
}

// Polls as the author loop does, from `now` on, until a change has been looked at and settled.
bool pollPastSettle(uint32_t* now) {
    bool changed = false;
    for (uint32_t step = 0; step <= TRACKS_LOOK_INTERVAL_MS + RELOAD_SETTLE_MS + 100; step += 50) {
        *now += 50;
        changed = pollAuthorTracks(*now) || changed;
    }
    return changed;
}

} // namespace

TEST(AuthorTracks, AMissingFolderIsMadeFromTheBuiltInTracksAndAnExistingOneIsLeftAlone) {
    const std::filesystem::path base = freshFolder("doz_tracks_seed");
    const std::string folder = (base / "tracks").string();
    std::string written;
    char problem[512] = "";
    ASSERT_TRUE(seedTracksFolder(folder.c_str(), &written, problem, sizeof problem)) << problem;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++files;
        EXPECT_NE(written.find(entry.path().filename().string()), std::string::npos);
    }
    // The built-in files and the editor's document of their keys.
    EXPECT_EQ(files, BUILTIN_TRACK_FILE_COUNT + 1);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder) / trackFile(TRACK_CAMERA_POS_X)));
    std::ifstream document(std::filesystem::path(folder) / ROCKET_DOCUMENT_FILE);
    const std::string documentText((std::istreambuf_iterator<char>(document)),
                                   std::istreambuf_iterator<char>());
    EXPECT_NE(documentText.find("<sync rows=\"1984\">"), std::string::npos) << documentText;
    EXPECT_NE(documentText.find("<track name=\"grade:warmth\"/>"), std::string::npos) << documentText;

    // An author's file stays, and a removed one is not brought back: the folder is the author's.
    writeBytes(std::filesystem::path(folder) / trackFile(TRACK_CAMERA_ROLL), oneKeyFile(0, 10.f));
    std::filesystem::remove(std::filesystem::path(folder) / trackFile(TRACK_CAMERA_FOV));
    ASSERT_TRUE(seedTracksFolder(folder.c_str(), &written, problem, sizeof problem));
    EXPECT_EQ(written, "");
    EXPECT_EQ(std::filesystem::file_size(std::filesystem::path(folder) / trackFile(TRACK_CAMERA_ROLL)), 13u);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder) / trackFile(TRACK_CAMERA_FOV)));

    // A file where the folder should be.
    std::ofstream(base / "plain") << "x";
    EXPECT_FALSE(seedTracksFolder((base / "plain").string().c_str(), &written, problem, sizeof problem));
    EXPECT_NE(std::string(problem).find("not a folder"), std::string::npos) << problem;
}

TEST(AuthorTracks, EditsAreReadOnceSettledAndARefusedFileIsNamedUntilMended) {
    const std::filesystem::path folder = freshFolder("doz_tracks_edits") / "tracks";
    startAuthorTracks(folder.string().c_str());
    ASSERT_EQ(authorTracks.reads, 1);
    EXPECT_FALSE(authorTracks.problem);
    EXPECT_EQ(syncTracks.tracks[TRACK_CAMERA_POS_Z].count, 0);

    uint32_t now = 1000;
    EXPECT_FALSE(pollPastSettle(&now)) << "nothing changed, nothing read";
    EXPECT_EQ(authorTracks.reads, 1);

    writeBytes(folder / trackFile(TRACK_CAMERA_POS_Z), oneKeyFile(32, 2.5f));
    writeBytes(folder / trackFile(TRACK_FOG_DENSITY), oneKeyFile(8, -1.f));
    pollPastSettle(&now);
    EXPECT_EQ(authorTracks.reads, 2);
    EXPECT_EQ(trackValueAt(TRACK_CAMERA_POS_Z, 40.), 2.5f);
    EXPECT_EQ(trackValueAt(TRACK_FOG_DENSITY, 0.), -1.f);

    // Cut short: refused with its name and reason, in the title; that track has no keys, the other keeps its.
    writeBytes(folder / trackFile(TRACK_CAMERA_POS_Z), {1, 0, 0, 0, 32, 0});
    EXPECT_TRUE(pollPastSettle(&now));
    EXPECT_TRUE(authorTracks.problem);
    EXPECT_NE(std::string(authorTracks.problemText).find(trackFile(TRACK_CAMERA_POS_Z)), std::string::npos)
        << authorTracks.problemText;
    EXPECT_EQ(syncTracks.tracks[TRACK_CAMERA_POS_Z].count, 0);
    EXPECT_EQ(trackValueAt(TRACK_FOG_DENSITY, 0.), -1.f);

    // A value that is not a number, on a second file: both counted.
    writeBytes(folder / trackFile(TRACK_HERO_FOLD), oneKeyFile(0, std::nanf("")));
    pollPastSettle(&now);
    EXPECT_NE(std::string(authorTracks.problemText).find("(+1 more)"), std::string::npos)
        << authorTracks.problemText;

    // Mended: the title's problem goes.
    writeBytes(folder / trackFile(TRACK_CAMERA_POS_Z), oneKeyFile(0, 1.f));
    std::filesystem::remove(folder / trackFile(TRACK_HERO_FOLD));
    EXPECT_TRUE(pollPastSettle(&now));
    EXPECT_FALSE(authorTracks.problem);
    EXPECT_EQ(trackValueAt(TRACK_CAMERA_POS_Z, 0.), 1.f);

    // The folder gone: said, and the keys stay until it is back.
    std::filesystem::rename(folder, folder.string() + ".away");
    EXPECT_TRUE(pollPastSettle(&now));
    EXPECT_NE(std::string(authorTracks.problemText).find("tracks missing"), std::string::npos);
    EXPECT_EQ(trackValueAt(TRACK_CAMERA_POS_Z, 0.), 1.f);
    std::filesystem::rename(folder.string() + ".away", folder);
    writeBytes(folder / "rows.txt", {'b', 'p', 'm', ' ', '6', '0', '\n'});
    EXPECT_TRUE(pollPastSettle(&now));
    EXPECT_FALSE(authorTracks.problem);
    EXPECT_EQ(syncRowsPerSecond(), 8.);
}

TEST(AuthorTracks, TheTracksOptionNamesAFolderOrAPlaceForOne) {
    const std::filesystem::path base = freshFolder("doz_tracks_option");
    std::filesystem::create_directories(base);
    std::ofstream(base / "plain") << "x";
    auto parse = [](std::vector<std::string> words, CommandLine* options, std::string* why) {
        words.insert(words.begin(), "doz-engine");
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        char text[512] = "";
        bool ok = parseCommandLine(static_cast<int>(argv.size()), argv.data(), options, text, sizeof text);
        *why = text;
        return ok;
    };
    CommandLine options;
    std::string why;
    ASSERT_TRUE(parse({"--author", "--tracks", (base / "new").string()}, &options, &why)) << why;
    EXPECT_EQ((base / "new").string(), options.tracksDir);
    EXPECT_FALSE(std::filesystem::exists(base / "new")) << "made when the run starts, not when parsed";
    EXPECT_FALSE(parse({"--tracks", base.string()}, &options, &why));
    EXPECT_NE(why.find("--tracks is an author option"), std::string::npos) << why;
    EXPECT_FALSE(parse({"--author", "--tracks", (base / "plain").string()}, &options, &why));
    EXPECT_NE(why.find("not a folder"), std::string::npos) << why;
    EXPECT_FALSE(parse({"--author", "--tracks", std::string(1100, 'a')}, &options, &why));
    EXPECT_NE(why.find("too long"), std::string::npos) << why;
}
