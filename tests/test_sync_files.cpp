// Track files: their names, their exact bytes, and damaged files refused with the track left empty.
#include "sync/sync_tracks.h"
#include "sync/track_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {
struct TracksFolder {
    fs::path path = fs::temp_directory_path() / ("doz-sync-files-" + std::to_string(getpid()));
    TracksFolder() {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TracksFolder() { fs::remove_all(path); }
    std::string str() const { return path.string(); }
};

std::vector<unsigned char> fileContent(const fs::path& path) {
    std::vector<unsigned char> bytes;
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (file == nullptr)
        return bytes;
    int c;
    while ((c = std::fgetc(file)) != EOF)
        bytes.push_back(static_cast<unsigned char>(c));
    std::fclose(file);
    return bytes;
}

void writeFile(const fs::path& path, const std::vector<unsigned char>& bytes) {
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}
} // namespace

TEST(SyncFiles, NamesEscapeEveryOtherByte) {
    char out[64];
    ASSERT_TRUE(trackFileName("sync", "camera:x", out, sizeof out));
    EXPECT_STREQ(out, "sync_camera-3Ax.track");
    ASSERT_TRUE(escapeTrackName("Az09._/ -:\x7f\xc3\xa9", out, sizeof out));
    EXPECT_STREQ(out, "Az09._/-20-2D-3A-7F-C3-A9");
    ASSERT_TRUE(trackFileName("sync", SYNC_TRACK_NAMES[TRACK_GRADE_SATURATION], out, sizeof out));
    EXPECT_STREQ(out, "sync_grade-3Asaturation.track");
    // Too little room is said, not cut short: "camera-3Ax" needs 11 bytes.
    EXPECT_TRUE(escapeTrackName("camera:x", out, 11));
    EXPECT_FALSE(escapeTrackName("camera:x", out, 10));
    EXPECT_FALSE(escapeTrackName("", out, 0));
    EXPECT_FALSE(trackFileName("sync", "camera:x", out, 21));
}

TEST(SyncFiles, ExactBytesWrittenAndReadBack) {
    TracksFolder folder;
    ASSERT_EQ(setSyncKey(TRACK_CAMERA_ROLL, 16, -2.5f, SYNC_SMOOTH), SYNC_KEY_ADDED);
    ASSERT_EQ(setSyncKey(TRACK_CAMERA_ROLL, 0, 1.0f, SYNC_STEP), SYNC_KEY_ADDED);
    ASSERT_EQ(setSyncKey(TRACK_CAMERA_ROLL, 258, 0.1f, SYNC_RAMP), SYNC_KEY_ADDED);
    char message[512] = "";
    ASSERT_TRUE(writeTrackFile(folder.str().c_str(), "sync", TRACK_CAMERA_ROLL, message, sizeof message))
        << message;

    const std::vector<unsigned char> expected = {
        0x03, 0x00, 0x00, 0x00,                               // three keys
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F, 0x00, // row 0, 1.0, step
        0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0xC0, 0x02, // row 16, -2.5, smooth
        0x02, 0x01, 0x00, 0x00, 0xCD, 0xCC, 0xCC, 0x3D, 0x03, // row 258, 0.1f, ramp
    };
    EXPECT_EQ(fileContent(folder.path / "sync_camera-3Aroll.track"), expected);

    // Every track's file, the empty ones a bare count, and the editor's document; nothing left under a
    // temporary name.
    EXPECT_EQ(writeTrackFiles(folder.str().c_str(), "sync", nullptr), 0);
    int files = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder.path)) {
        ++files;
        EXPECT_TRUE(entry.path().extension() == ".track" || entry.path().filename() == "tracks.rocket")
            << entry.path();
    }
    EXPECT_EQ(files, SYNC_TRACK_COUNT + 1);
    EXPECT_EQ(fileContent(folder.path / "sync_camera-3Apos.x.track"), std::vector<unsigned char>(4, 0));

    resetSyncTracks();
    ASSERT_EQ(setSyncKey(TRACK_FOG_DENSITY, 5, 7.0f, SYNC_STEP), SYNC_KEY_ADDED);
    EXPECT_EQ(readTrackFiles(folder.str().c_str(), "sync", nullptr), 0);
    const SyncTrackKeys& roll = syncTracks.tracks[TRACK_CAMERA_ROLL];
    ASSERT_EQ(roll.count, 3);
    EXPECT_EQ(roll.rows[2], 258);
    EXPECT_EQ(roll.values[2], 0.1f);
    EXPECT_EQ(roll.interpolations[1], SYNC_SMOOTH);
    EXPECT_FLOAT_EQ(trackValueAt(TRACK_CAMERA_ROLL, 8.0), 1.0f);
    EXPECT_FLOAT_EQ(trackValueAt(TRACK_CAMERA_ROLL, 137.0), -1.2f); // smooth, halfway from -2.5 to 0.1
    EXPECT_EQ(syncTracks.tracks[TRACK_FOG_DENSITY].count, 0) << "the file's keys replace the track's";

    // A missing file is a track with no keys, and no complaint.
    fs::remove(folder.path / "sync_camera-3Aroll.track");
    EXPECT_TRUE(readTrackFile(folder.str().c_str(), "sync", TRACK_CAMERA_ROLL, message, sizeof message));
    EXPECT_EQ(roll.count, 0);

    // A write that cannot happen leaves the earlier file as it was.
    fs::path blocked = folder.path / "sync_camera-3Apos.x.track.partial";
    fs::create_directories(blocked);
    ASSERT_EQ(setSyncKey(TRACK_CAMERA_POS_X, 3, 1.0f, SYNC_STEP), SYNC_KEY_ADDED);
    EXPECT_FALSE(writeTrackFile(folder.str().c_str(), "sync", TRACK_CAMERA_POS_X, message, sizeof message));
    EXPECT_NE(std::strstr(message, "sync_camera-3Apos.x.track"), nullptr) << message;
    EXPECT_EQ(fileContent(folder.path / "sync_camera-3Apos.x.track"), std::vector<unsigned char>(4, 0));
    EXPECT_EQ(writeTrackFiles((folder.path / "none").string().c_str(), "sync", nullptr), SYNC_TRACK_COUNT);
}

TEST(SyncFiles, DamagedFilesAreRefusedWithNameAndReason) {
    TracksFolder folder;
    const fs::path file = folder.path / "sync_light-3Aexposure.track";
    auto key = [](std::vector<unsigned char>& bytes, uint32_t row, uint32_t bits,
                  unsigned char interpolation) {
        for (uint32_t word : {row, bits})
            for (int i = 0; i < 4; ++i)
                bytes.push_back(static_cast<unsigned char>(word >> (8 * i)));
        bytes.push_back(interpolation);
    };
    auto keys = [&](uint32_t count, std::vector<std::vector<uint32_t>> list) {
        std::vector<unsigned char> bytes;
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<unsigned char>(count >> (8 * i)));
        for (const std::vector<uint32_t>& k : list)
            key(bytes, k[0], k[1], static_cast<unsigned char>(k[2]));
        return bytes;
    };
    const uint32_t ONE = 0x3F800000, NAN_BITS = 0x7FC00000, INF_BITS = 0x7F800000;
    struct Damage {
        std::vector<unsigned char> bytes;
        const char* reason;
    };
    std::vector<unsigned char> cut = keys(2, {{0, ONE, 1}, {4, ONE, 1}});
    cut.pop_back();
    std::vector<unsigned char> extra = keys(1, {{0, ONE, 1}});
    extra.push_back(0);
    const Damage damages[] = {
        {{}, "0 bytes, too short"},
        {{1, 0, 0}, "3 bytes, too short"},
        {cut, "21 bytes where 2 keys take 22 (cut short)"},
        {extra, "14 bytes where 1 keys take 13 (bytes left over)"},
        {keys(0xFFFFFFFF, {}), "a key count of -1"},
        {keys(SYNC_MAX_KEYS + 1, {}), "a key count of 16385"},
        {keys(1000, {{0, ONE, 0}}), "13 bytes where 1000 keys take 9004 (cut short)"},
        {keys(2, {{8, ONE, 1}, {4, ONE, 1}}), "key 1: row 4 comes after row 8"},
        {keys(2, {{8, ONE, 1}, {8, ONE, 1}}), "key 1: row 8 repeats row 8"},
        {keys(1, {{0xFFFFFFFE, ONE, 1}}), "key 0: row -2 outside"},
        {keys(1, {{SYNC_MAX_ROW + 1, ONE, 1}}), "key 0: row 1048577 outside"},
        {keys(2, {{0, ONE, 1}, {3, NAN_BITS, 1}}), "key 1 (row 3): the value is not a finite number"},
        {keys(1, {{0, INF_BITS | 0x80000000u, 1}}), "key 0 (row 0): the value is not a finite number"},
        {keys(1, {{0, ONE, 4}}), "key 0 (row 0): interpolation 4"},
    };
    for (const Damage& damage : damages) {
        resetSyncTracks();
        ASSERT_EQ(setSyncKey(TRACK_LIGHT_EXPOSURE, 1, 3.0f, SYNC_STEP), SYNC_KEY_ADDED);
        writeFile(file, damage.bytes);
        char message[512] = "";
        EXPECT_FALSE(
            readTrackFile(folder.str().c_str(), "sync", TRACK_LIGHT_EXPOSURE, message, sizeof message));
        EXPECT_NE(std::strstr(message, file.string().c_str()), nullptr) << message;
        EXPECT_NE(std::strstr(message, damage.reason), nullptr) << message << "\nexpected: " << damage.reason;
        EXPECT_EQ(syncTracks.tracks[TRACK_LIGHT_EXPOSURE].count, 0) << damage.reason;
        EXPECT_EQ(trackValueAt(TRACK_LIGHT_EXPOSURE, 1.0), 0.0f);
    }

    // The whole folder: each refusal reported once, the good tracks taken.
    static std::vector<std::string> reports;
    reports.clear();
    writeFile(folder.path / "sync_fog-3Adensity.track", keys(1, {{2, ONE, 0}}));
    EXPECT_EQ(readTrackFiles(folder.str().c_str(), "sync", [](const char* m) { reports.push_back(m); }), 1);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("sync_light-3Aexposure.track: refused, key 0 (row 0): interpolation 4"),
              std::string::npos)
        << reports[0];
    EXPECT_EQ(trackValueAt(TRACK_FOG_DENSITY, 0.0), 1.0f);

    // A file longer than any full track is refused before it is decoded.
    writeFile(file, std::vector<unsigned char>(SYNC_MAX_FILE_BYTES + 7, 0));
    char message[512] = "";
    EXPECT_FALSE(readTrackFile(folder.str().c_str(), "sync", TRACK_LIGHT_EXPOSURE, message, sizeof message));
    EXPECT_NE(std::strstr(message, "longer than a full track"), nullptr) << message;
}

// A refused file is the author's to mend: no write replaces it until a read takes it, whoever writes (a
// save of every track, K's camera tracks), and an unreadable one is not taken for a missing one.
TEST(SyncFiles, AWriteLeavesAFileTheLastReadRefusedAsItIs) {
    TracksFolder folder;
    const fs::path roll = folder.path / "sync_camera-3Aroll.track",
                   fog = folder.path / "sync_fog-3Adensity.track";
    ASSERT_EQ(setSyncKey(TRACK_CAMERA_ROLL, 0, 1.f, SYNC_STEP), SYNC_KEY_ADDED);
    ASSERT_EQ(setSyncKey(TRACK_CAMERA_ROLL, 4, 2.f, SYNC_STEP), SYNC_KEY_ADDED);
    ASSERT_EQ(setSyncKey(TRACK_CAMERA_ROLL, 9, 3.f, SYNC_STEP), SYNC_KEY_ADDED);
    ASSERT_EQ(setSyncKey(TRACK_FOG_DENSITY, 2, 5.f, SYNC_LINEAR), SYNC_KEY_ADDED);
    ASSERT_EQ(writeTrackFiles(folder.str().c_str(), "sync", nullptr), 0);
    std::vector<unsigned char> damaged = fileContent(roll); // three keys, one byte short
    damaged.pop_back();
    ASSERT_EQ(damaged.size(), 30u);
    writeFile(roll, damaged);
    resetSyncTracks();
    EXPECT_EQ(readTrackFiles(folder.str().c_str(), "sync", nullptr), 1);
    EXPECT_TRUE(trackFileRefused(folder.str().c_str(), "sync", TRACK_CAMERA_ROLL));
    EXPECT_FALSE(trackFileRefused(folder.str().c_str(), "sync", TRACK_FOG_DENSITY));
    EXPECT_FALSE(trackFileRefused((folder.path / "other").string().c_str(), "sync", TRACK_CAMERA_ROLL));

    // A save of every track: the others are written, the refused one is kept and said.
    ASSERT_EQ(setSyncKey(TRACK_FOG_DENSITY, 6, 7.f, SYNC_LINEAR), SYNC_KEY_ADDED);
    static std::vector<std::string> reports;
    reports.clear();
    const auto report = [](const char* m) { reports.push_back(m); };
    EXPECT_EQ(writeTrackFiles(folder.str().c_str(), "sync", report), 1);
    EXPECT_EQ(fileContent(roll), damaged);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("sync_camera-3Aroll.track: left as it is"), std::string::npos) << reports[0];
    EXPECT_EQ(fileContent(fog).size(), 4u + 2 * SYNC_KEY_BYTES) << "the rest is written";
    // The editor's document is written beside them, and keeps the refused track's keys as it had them.
    std::ifstream in(folder.path / "tracks.rocket");
    const std::string document((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(document.find("<track name=\"camera:roll\">\n\t\t\t<key row=\"0\" value=\"1\""),
              std::string::npos)
        << document;
    EXPECT_NE(document.find("<key row=\"6\" value=\"7\""), std::string::npos) << document;

    // Only the tracks asked for are written: the camera tracks leave the fog's file as it stands.
    resetSyncTracks();
    EXPECT_EQ(writeTrackFiles(folder.str().c_str(), "sync", nullptr,
                              syncTrackBit(TRACK_CAMERA_POS_X) | syncTrackBit(TRACK_CAMERA_ROLL)),
              1);
    EXPECT_EQ(fileContent(fog).size(), 4u + 2 * SYNC_KEY_BYTES);
    EXPECT_EQ(fileContent(roll), damaged);

    // Mended and read again, it is the demo's to write once more.
    writeFile(roll, std::vector<unsigned char>(4, 0));
    EXPECT_EQ(readTrackFiles(folder.str().c_str(), "sync", nullptr), 0);
    ASSERT_EQ(setSyncKey(TRACK_CAMERA_ROLL, 1, 9.f, SYNC_STEP), SYNC_KEY_ADDED);
    EXPECT_EQ(writeTrackFiles(folder.str().c_str(), "sync", nullptr), 0);
    EXPECT_EQ(fileContent(roll).size(), 4u + SYNC_KEY_BYTES);

    // A file there that cannot be opened is refused, not read as a track without keys and then replaced.
    if (getuid() != 0) {
        fs::permissions(roll, fs::perms::none);
        char message[512] = "";
        EXPECT_FALSE(readTrackFile(folder.str().c_str(), "sync", TRACK_CAMERA_ROLL, message, sizeof message));
        EXPECT_NE(std::strstr(message, "cannot be opened"), nullptr) << message;
        EXPECT_EQ(writeTrackFiles(folder.str().c_str(), "sync", nullptr), 1);
        fs::permissions(roll, fs::perms::owner_all);
        EXPECT_EQ(fileContent(roll).size(), 4u + SYNC_KEY_BYTES);
    }
    resetSyncTracks();
}
