// doz-capture with sync tracks: a still drawn with a tracks folder is the frame the demo's own frame pass
// draws with the same keys; a bad file is named and leaves its track without keys; a job records its
// tracks, and a chunk drawn with other tracks is refused.
#include "sync/builtin_tracks.h"
#include "tests/capture_tool.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

// A tracks folder holding the keys now in the table, as an editor saves them.
void saveTracks(const std::string& folder) {
    std::filesystem::create_directories(folder);
    ASSERT_EQ(writeTrackFiles(folder.c_str(), SYNC_FILE_BASE, nullptr), 0);
}

std::string trackPath(const std::string& folder, int track) {
    char name[SYNC_FILE_NAME_ROOM];
    trackFileName(SYNC_FILE_BASE, SYNC_TRACK_NAMES[track], name, sizeof name);
    return folder + "/" + name;
}

} // namespace

TEST(CaptureTracks, AStillWithKeysIsTheFrameTheFramePassDrawsWithThem) {
    ScratchFolder folder;
    resetSyncTracks();
    setSyncKey(TRACK_CAMERA_POS_Z, 0, 0.f, SYNC_LINEAR);
    setSyncKey(TRACK_CAMERA_POS_Z, 1000, 9.f, SYNC_STEP);
    setSyncKey(TRACK_CAMERA_ROLL, 900, 15.f, SYNC_STEP);
    saveTracks(folder / "tracks");

    ToolRun keyed = runCapture(
        {"--at", "57.3", "--size", "64x36", "--tracks", folder / "tracks", "-o", folder / "keyed.png"});
    ASSERT_EQ(keyed.status, 0) << keyed.err;
    EXPECT_EQ(keyed.err.find("refused"), std::string::npos) << keyed.err;
    ToolRun plain = runCapture({"--at", "57.3", "--size", "64x36", "-o", folder / "plain.png"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    RgbImage withKeys = loadPng(folder / "keyed.png"), without = loadPng(folder / "plain.png");
    EXPECT_GT(meanAbsoluteDifference(withKeys, without), 5.) << "the camera key moves the picture";

    // In this process: start-up takes the built-in tracks, then the same keys as the folder's.
    prepareReferenceDemo(64, 36);
    EXPECT_EQ(syncTracks.tracks[TRACK_CAMERA_POS_Z].count, 0);
    ASSERT_EQ(readTracksFolder((folder / "tracks").c_str(), nullptr), 0);
    EXPECT_TRUE(drawReferenceFrame(57.3).rgb == withKeys.rgb);

    // A damaged file: named with its reason, its track without keys, the rest drawn.
    std::ofstream(trackPath(folder / "tracks", TRACK_CAMERA_POS_Z), std::ios::binary) << "short";
    ToolRun damaged = runCapture(
        {"--at", "57.3", "--size", "64x36", "--tracks", folder / "tracks", "-o", folder / "damaged.png"});
    ASSERT_EQ(damaged.status, 0) << damaged.err;
    EXPECT_NE(damaged.err.find("sync_camera-3Apos.z.track: refused"), std::string::npos) << damaged.err;
    clearSyncTrack(TRACK_CAMERA_POS_Z);
    restartReferenceRun();
    EXPECT_TRUE(drawReferenceFrame(57.3).rgb == loadPng(folder / "damaged.png").rgb);

    ToolRun missing = runCapture({"--at", "1", "--tracks", folder / "none", "-o", folder / "x.png"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("--tracks " + folder / "none" + ": no such folder"), std::string::npos)
        << missing.err;
}

TEST(CaptureTracks, AJobDrawsWithItsPlansTracksAndRefusesAChunkDrawnWithOthers) {
    if (!commandExists("ffmpeg") || !commandExists("ffprobe"))
        GTEST_SKIP() << "ffmpeg is not installed";
    ScratchFolder folder;
    resetSyncTracks();
    setSyncKey(TRACK_CAMERA_TARGET_Y, 0, 4.f, SYNC_STEP);
    saveTracks(folder / "a");
    setSyncKey(TRACK_CAMERA_TARGET_Y, 0, -4.f, SYNC_STEP);
    saveTracks(folder / "b");
    const std::vector<std::string> range = {"--size", "32x18", "--fps", "2", "--from", "60", "--to", "61"};
    auto plan = [&](const std::string& job, const std::string& tracks) {
        std::vector<std::string> args = {"--plan",   job,    "--chunks", "1",
                                         "--tracks", tracks, "-o",       job + ".mp4"};
        args.insert(args.end(), range.begin(), range.end());
        return runCapture(args);
    };
    ToolRun planA = plan(folder / "jobA", folder / "a");
    ASSERT_EQ(planA.status, 0) << planA.err;
    ASSERT_EQ(plan(folder / "jobB", folder / "b").status, 0);
    // The plans differ only in their tracks, and each keeps a copy of its own.
    std::ifstream jobA(folder / "jobA/job.json");
    std::string text((std::istreambuf_iterator<char>(jobA)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\"tracks\": \""), std::string::npos) << text;
    EXPECT_EQ(listFolder(folder / "jobA/tracks").size(), static_cast<size_t>(SYNC_TRACK_COUNT + 1));
    ToolRun again = plan(folder / "jobA", folder / "b");
    EXPECT_EQ(again.status, 2);
    EXPECT_NE(again.err.find("other tracks"), std::string::npos) << again.err;

    // Drawn with other tracks than the plan's: refused, nothing written.
    ToolRun other = runCapture({"--render-chunk", folder / "jobA", "--chunk", "0", "--tracks", folder / "b"});
    EXPECT_EQ(other.status, 2);
    EXPECT_NE(other.err.find("made with other tracks"), std::string::npos) << other.err;
    EXPECT_EQ(listFolder(folder / "jobA"), (std::vector<std::string>{"job.json", "tracks"}));

    // Each job's chunk from its own copy; A's chunk replaced by B's is one of another plan.
    ASSERT_EQ(runCapture({"--render-chunk", folder / "jobA", "--chunk", "0"}).status, 0);
    ASSERT_EQ(runCapture({"--render-chunk", folder / "jobB", "--chunk", "0"}).status, 0);
    for (const std::string& name : listFolder(folder / "jobB"))
        if (name.rfind("chunk-", 0) == 0)
            std::filesystem::copy_file(folder / "jobB/" + name, folder / "jobA/" + name,
                                       std::filesystem::copy_options::overwrite_existing);
    ToolRun assemble = runCapture({"--assemble", folder / "jobA"});
    EXPECT_EQ(assemble.status, 1) << assemble.err;
    EXPECT_NE(assemble.err.find("another plan"), std::string::npos) << assemble.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "jobA.mp4"));
}
