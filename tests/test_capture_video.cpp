// doz-capture's videos: frame count, duration, soundtrack, frames in order as the frame loop draws them,
// the PNG-frame fallback, and what Ctrl-C and termination leave behind.
#include "audio/soundtrack_preparation.h"
#include "capture/encoded_video.h"
#include "capture/soundtrack_wav.h"
#include "platform/resources.h"
#include "tests/capture_tool.h"
#include "tests/sound_match.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

static bool carriesSoundtrack() {
    return findSoundtrackResource().size > 0;
}

// ffprobe's value of `entry` for the first stream of `type` ("v" or "a"), or "" when there is none.
static std::string probeStream(const std::string& file, const char* type, const char* entry) {
    std::string value =
        commandOutput({"ffprobe", "-v", "error", "-count_frames", "-select_streams", type, "-show_entries",
                       std::string("stream=") + entry, "-of", "default=noprint_wrappers=1:nokey=1", file});
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r'))
        value.pop_back();
    return value;
}

// Decodes video frame `index` of `file` to RGB.
static RgbImage decodeFrame(const std::string& file, int index, int width, int height) {
    char select[64];
    std::snprintf(select, sizeof select, "select=eq(n\\,%d)", index);
    RgbImage image;
    image.width = width;
    image.height = height;
    std::string raw = commandOutput({"ffmpeg", "-v", "error", "-i", file, "-vf", select, "-frames:v", "1",
                                     "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    image.rgb.assign(raw.begin(), raw.end());
    return image;
}

static long fileSize(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    return file ? static_cast<long>(file.tellg()) : -1;
}

TEST(CaptureVideo, HasTheFramesDurationAndSoundAskedFor) {
    if (!commandExists("ffmpeg") || !commandExists("ffprobe"))
        GTEST_SKIP() << "ffmpeg is not installed";
    ScratchFolder folder;
    std::string video = folder / "clip.mp4";
    ToolRun run =
        runCapture({"--video", "--from", "10", "--to", "12", "--fps", "10", "--size", "160x90", "-o", video});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, video + "\n");
    EXPECT_EQ(folder.list(), std::vector<std::string>{"clip.mp4"});

    EXPECT_EQ(probeStream(video, "v", "codec_name"), "h264");
    EXPECT_EQ(probeStream(video, "v", "pix_fmt"), "yuv420p");
    EXPECT_EQ(probeStream(video, "v", "nb_read_frames"), "20");
    EXPECT_NEAR(std::atof(probeStream(video, "v", "duration").c_str()), 2.0, 0.001);
    EXPECT_EQ(probeStream(video, "v", "r_frame_rate"), "10/1");
    if (carriesSoundtrack()) {
        EXPECT_EQ(probeStream(video, "a", "codec_name"), "aac");
        // AAC works in frames of 1,024 samples.
        EXPECT_NEAR(std::atof(probeStream(video, "a", "duration").c_str()), 2.0, 1024.0 / 44100.0);
        // The sound is the track from 10 s, as mpg123 decodes it, within what AAC loses, in step and at
        // its level: a silent or misplaced stream has the right format too.
        // The search reaches a second either way, so that a stream out of step by more than 10 ms is found
        // where it is and fails, rather than matching poorly at the edge of a narrow search.
        SoundMatch match =
            matchSound(decodeAudioWithFfmpeg(video), independentSoundtrack(), 10 * 44100, 44100);
        EXPECT_GT(match.trackRmsDb, -40.0) << "the track is near silence at 10 s: pick another range";
        EXPECT_GE(match.correlation, 0.98) << "lag " << match.lagFrames << " frames";
        EXPECT_LE(std::abs(match.lagFrames), 441) << "the sound is out of step with the pictures";
        EXPECT_NEAR(match.levelDb, 0.0, 1.0);
    } else {
        EXPECT_EQ(probeStream(video, "a", "codec_name"), "");
        EXPECT_NE(run.err.find("no soundtrack"), std::string::npos) << run.err;
    }

    // The first two frames are those of a run starting at 10 s, within what H.264 loses: compared over 4x4
    // blocks, which the halved colour resolution of yuv420p and the codec's fine-detail loss do not reach.
    prepareReferenceDemo(160, 90);
    RgbImage first = drawReferenceFrame(10.0), second = drawReferenceFrame(10.1);
    EXPECT_LT(
        meanAbsoluteDifference(averageBlocks(decodeFrame(video, 0, 160, 90), 4), averageBlocks(first, 4)),
        3.0);
    EXPECT_LT(
        meanAbsoluteDifference(averageBlocks(decodeFrame(video, 1, 160, 90), 4), averageBlocks(second, 4)),
        3.0);
}

// Lossless frames show that a video is the frame loop's own sequence, frame by frame, beats included.
TEST(CaptureVideo, PngFramesAreTheFrameLoopsFramesInOrder) {
    ScratchFolder folder;
    std::string frames = folder / "frames";
    ToolRun run = runCapture({"--video", "--frames", "--from", "60", "--to", "62", "--fps", "10", "--size",
                              "31x17", "-o", frames});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(folder.list(), std::vector<std::string>{"frames"});
    std::vector<std::string> names = listFolder(frames);
    ASSERT_EQ(names.size(), carriesSoundtrack() ? 21u : 20u);
    EXPECT_EQ(names.front(), "frame-000000.png");
    EXPECT_EQ(names[19], "frame-000019.png");
    if (carriesSoundtrack()) {
        EXPECT_EQ(names.back(), "soundtrack.wav");
        EXPECT_EQ(fileSize(frames + "/soundtrack.wav"), 44 + 2 * 44100 * 4);
        // Sample for sample the track from 60 s as mpg123 decodes it (ours truncates, mpg123 rounds).
        int rate = 0, channels = 0;
        std::vector<short> wav = readWavSamples(frames + "/soundtrack.wav", &rate, &channels);
        EXPECT_EQ(rate, 44100);
        EXPECT_EQ(channels, 2);
        const std::vector<float>& track = independentSoundtrack();
        ASSERT_GE(track.size(), (62u * 44100u) * 2);
        ASSERT_EQ(wav.size(), 2u * 44100u * 2);
        float largest = 0.0f, loudest = 0.0f;
        for (size_t i = 0; i < wav.size(); ++i) {
            const float expected = track[60u * 44100u * 2 + i] * 32767.0f;
            largest = std::max(largest, std::abs(wav[i] - expected));
            loudest = std::max(loudest, std::abs(expected));
        }
        EXPECT_LE(largest, 2.0f);
        EXPECT_GT(loudest, 3000.0f) << "the track is near silence at 60 s: pick another range";
    }

    prepareReferenceDemo(31, 17);
    for (int k = 0; k < 20; ++k) {
        RgbImage expected = drawReferenceFrame(60.0 + k / 10.0);
        RgbImage frame = loadPng(frames + "/" + names[static_cast<size_t>(k)]);
        EXPECT_TRUE(frame.rgb == expected.rgb) << "frame " << k;
    }
}

// The order that once made every video silent: a WAV asked for before the track is decoded is refused, not
// written as silence; once prepared, the same call writes the track.
TEST(CaptureVideo, TheWavOfAnUndecodedTrackIsRefused) {
    ScratchFolder folder;
    std::string why;
    EXPECT_FALSE(writeSoundtrackWav(folder / "early.wav", 0, 44100, &why));
    EXPECT_NE(why.find("not decoded"), std::string::npos) << why;
    EXPECT_TRUE(folder.list().empty());

    prepareSoundtrack();
    ASSERT_TRUE(writeSoundtrackWav(folder / "late.wav", 30 * 44100, 44100, &why)) << why;
    int rate = 0, channels = 0;
    std::vector<short> wav = readWavSamples(folder / "late.wav", &rate, &channels);
    ASSERT_EQ(wav.size(), 2u * 44100u);
    EXPECT_GT(*std::max_element(wav.begin(), wav.end()), 1000);
}

// A track with no frame to decode plays the second of silence, which is no soundtrack: a capture says why it
// has no audio and encodes no audio stream, as a build without a track does; the carried one gives sound.
TEST(CaptureVideo, ATrackThatDoesNotDecodeGivesAVideoWithNoAudio) {
    if (!commandExists("ffmpeg") || !commandExists("ffprobe"))
        GTEST_SKIP() << "ffmpeg is not installed";
    const std::vector<unsigned char> damaged(64 * 1024, 0x5A); // no MPEG frame header anywhere
    prepareSoundtrackFrom(damaged.data(), damaged.size());
    ASSERT_TRUE(soundtrackPrepared());
    std::string why, encoder;
    EXPECT_FALSE(captureHasSound(&why));
    EXPECT_EQ(why, "the soundtrack did not decode");
    EXPECT_FALSE(writeSoundtrackWav(ScratchFolder() / "silence.wav", 0, 44100, &why));

    ScratchFolder folder;
    CaptureOptions options;
    options.width = 64;
    options.height = 36;
    options.fps = 10.0;
    options.from = 20.0;
    options.to = 21.0;
    options.output = folder / "clip.mp4";
    const std::string ffmpeg = findFfmpeg(&encoder, &why);
    ASSERT_FALSE(ffmpeg.empty()) << why;
    EncodedVideo video;
    ASSERT_TRUE(beginEncodedVideo(options, ffmpeg, encoder, 10, &video, &why)) << why;
    EXPECT_FALSE(video.withAudio);
    const std::vector<unsigned char> grey(64 * 36 * 3, 128);
    for (int frame = 0; frame < 10; ++frame)
        ASSERT_TRUE(sendFrame(&video.encoder, grey.data(), grey.size()));
    ASSERT_TRUE(finishEncodedVideo(&video, &why)) << why;
    ASSERT_TRUE(commitOutput(&video.out, &why)) << why;
    EXPECT_EQ(folder.list(), std::vector<std::string>{"clip.mp4"});
    EXPECT_EQ(probeStream(options.output, "v", "nb_read_frames"), "10");
    EXPECT_EQ(probeStream(options.output, "a", "codec_name"), "");

    prepareSoundtrack();
    EXPECT_EQ(captureHasSound(&why), carriesSoundtrack()) << why;
}

TEST(CaptureVideo, WithoutFfmpegItWritesPngFrames) {
    ScratchFolder folder;
    ToolRun run = runCapture(
        {"--video", "--from", "5", "--to", "6", "--fps", "4", "--size", "16x8", "-o", folder / "clip.mp4"},
        {"PATH=" + folder.path});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("ffmpeg is not on PATH"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, folder / "clip-frames" + "\n");
    EXPECT_EQ(folder.list(), std::vector<std::string>{"clip-frames"});
    EXPECT_EQ(listFolder(folder / "clip-frames").size(), carriesSoundtrack() ? 5u : 4u);
}

// Starts a long video and waits until it reports progress, so that a signal arrives mid-run.
static int startLongVideo(const std::vector<std::string>& args, const std::string& logs) {
    int pid = startCapture(args, {}, logs);
    for (int i = 0; i < 3000; ++i) {
        std::ifstream err(logs + ".err");
        std::string text((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
        if (text.find(" 1% (") != std::string::npos)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return pid;
}

TEST(CaptureVideo, CtrlCKeepsAPlayableVideoOfTheFramesDone) {
    if (!commandExists("ffmpeg") || !commandExists("ffprobe"))
        GTEST_SKIP() << "ffmpeg is not installed";
    ScratchFolder folder, logs;
    std::string video = folder / "long.mp4";
    // 24,800 frames: far more than are drawn before the signal lands.
    int pid = startLongVideo({"--video", "--fps", "200", "--size", "32x18", "-o", video}, logs / "run");
    kill(pid, SIGINT);
    ToolRun run = waitCapture(pid, logs / "run");
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_NE(run.err.find("interrupted after "), std::string::npos) << run.err;
    ASSERT_EQ(folder.list(), std::vector<std::string>{"long.mp4"});
    int frames = std::atoi(probeStream(video, "v", "nb_read_frames").c_str());
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 24800);
    EXPECT_NE(run.err.find("interrupted after " + std::to_string(frames) + " of 24800 frames"),
              std::string::npos)
        << run.err;
    double seconds = std::atof(probeStream(video, "v", "duration").c_str());
    EXPECT_NEAR(seconds, frames / 200.0, 0.001);
    if (carriesSoundtrack()) {
        // The soundtrack is cut to the frames done, give or take what AAC and the muxer round to.
        EXPECT_NEAR(std::atof(probeStream(video, "a", "duration").c_str()), seconds, 0.1);
    }
}

TEST(CaptureVideo, TerminationRemovesTheUnfinishedFrames) {
    ScratchFolder folder, logs;
    int pid = startLongVideo(
        {"--video", "--frames", "--fps", "200", "--size", "32x18", "-o", folder / "frames"}, logs / "run");
    kill(pid, SIGTERM);
    ToolRun run = waitCapture(pid, logs / "run");
    EXPECT_EQ(run.status, 143) << run.err;
    EXPECT_NE(run.err.find("unfinished output was removed"), std::string::npos) << run.err;
    EXPECT_TRUE(folder.list().empty());
}

TEST(CaptureVideo, TerminationStopsFfmpegAndRemovesTheUnfinishedVideo) {
    if (!commandExists("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    ScratchFolder folder, logs;
    int pid = startLongVideo({"--video", "--fps", "200", "--size", "32x18", "-o", folder / "long.mp4"},
                             logs / "run");
    kill(pid, SIGTERM);
    ToolRun run = waitCapture(pid, logs / "run");
    EXPECT_EQ(run.status, 143) << run.err;
    EXPECT_NE(run.err.find("unfinished output was removed"), std::string::npos) << run.err;
    // ffmpeg is gone too: nothing writes into the folder any more.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(folder.list().empty());
}
