// The capture's sinks through the one frame-range renderer: a chunk's frames and sound positions are those
// of the whole video, and every sink leaves its output whole when its range completes and nothing at all
// when a frame fails.
#include "capture/capture_frames.h"
#include "capture/capture_job.h"
#include "capture/chunk_files.h"
#include "capture/ffmpeg_pipe.h"
#include "capture/sink_chunk.h"
#include "capture/sink_mp4.h"
#include "capture/sink_png_frames.h"
#include "capture/sink_sheet.h"
#include "capture/sink_still.h"
#include "capture/video_kind.h"
#include "platform/resources.h"
#include "tests/capture_tool.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr int WIDTH = 32, HEIGHT = 18;

// What a range handed to its sink, and how the sink was left.
struct Recording {
    std::vector<std::vector<unsigned char>> frames;
    std::vector<uint32_t> soundPositions;
    bool finished = false, discarded = false;
};

FrameSink recordingSink(Recording* recording) {
    return {recording, [](void*, std::string*) { return true; },
            [](void* state, const CapturedFrame& frame, std::string*) {
                auto* r = static_cast<Recording*>(state);
                r->frames.emplace_back(frame.rgb, frame.rgb + frame.size);
                r->soundPositions.push_back(frame.soundPosition);
                return true;
            },
            [](void* state, std::string*) { return static_cast<Recording*>(state)->finished = true; },
            [](void* state, std::string*) { static_cast<Recording*>(state)->discarded = true; }};
}

// A real sink whose take of frame `failAt` fails as a full disk would.
struct Faulty {
    FrameSink inner;
    int failAt;
};

const char* const FAULT = "no space left (a test's fault)";

FrameSink faultySink(Faulty* faulty) {
    return {faulty,
            [](void* state, std::string* why) {
                const FrameSink& inner = static_cast<Faulty*>(state)->inner;
                return inner.begin(inner.state, why);
            },
            [](void* state, const CapturedFrame& frame, std::string* why) {
                auto* f = static_cast<Faulty*>(state);
                if (frame.index == f->failAt) {
                    *why = FAULT;
                    return false;
                }
                return f->inner.take(f->inner.state, frame, why);
            },
            [](void* state, std::string* why) {
                const FrameSink& inner = static_cast<Faulty*>(state)->inner;
                return inner.finish(inner.state, why);
            },
            [](void* state, std::string* why) {
                const FrameSink& inner = static_cast<Faulty*>(state)->inner;
                inner.discard(inner.state, why);
            }};
}

CaptureOptions shortVideo(const std::string& output) {
    CaptureOptions options;
    options.width = WIDTH;
    options.height = HEIGHT;
    options.fps = 10.0;
    options.from = 20.0;
    options.to = 21.0;
    options.output = output;
    return options;
}

} // namespace

TEST(CaptureSinks, AChunksFramesAndSoundPositionsAreThoseOfTheWholeVideo) {
    std::string why;
    ASSERT_TRUE(prepareCapture(WIDTH, HEIGHT, &why)) << why;
    const CaptureOptions options = shortVideo("unused.mp4");
    Recording whole, chunk;
    EXPECT_EQ(renderFrameRange(videoFrames(options, 0, 10), recordingSink(&whole), &why), 10) << why;
    EXPECT_EQ(renderFrameRange(videoFrames(options, 4, 3), recordingSink(&chunk), &why), 3) << why;
    ASSERT_EQ(chunk.frames.size(), 3u);
    EXPECT_TRUE(whole.finished && chunk.finished);
    EXPECT_FALSE(whole.discarded || chunk.discarded);
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(chunk.frames[k] == whole.frames[4 + k]) << "frame " << 4 + k;
        EXPECT_EQ(chunk.soundPositions[k], whole.soundPositions[4 + k]);
        // Frame 4 + k of a 10 fps range from 20 s is 2.4 s + k/10 of sound past 20 s at 44.1 kHz.
        EXPECT_EQ(chunk.soundPositions[k], 20u * 44100u + 4410u * (4u + static_cast<uint32_t>(k)));
    }
    // The stretch is drawn at its own times: frames of a range are not all alike.
    EXPECT_FALSE(whole.frames[0] == whole.frames[9]);
}

TEST(CaptureSinks, EachSinkLeavesItsWholeOutputOrNothingWhenAFrameFails) {
    std::string why, encoder;
    ASSERT_TRUE(prepareCapture(WIDTH, HEIGHT, &why)) << why;
    const std::string ffmpeg = findFfmpeg(&encoder, &why);
    const bool sound = findSoundtrackResource().size > 0;
    struct Case {
        const char* name;
        std::vector<std::string> written; // what a complete range leaves in the folder
        std::function<int(const std::string& folder, int failAt)> run; // frames taken
    };
    auto render = [](const FrameRange& range, FrameSink sink, int failAt, std::string* why) {
        Faulty faulty = {sink, failAt};
        return renderFrameRange(range, faultySink(&faulty), why);
    };
    std::vector<Case> cases = {
        {"still",
         {"still.png"},
         [&](const std::string& folder, int failAt) {
             StillOutput still;
             still.target = folder + "/still.png";
             still.width = WIDTH;
             still.height = HEIGHT;
             return render(stillFrames({20.0}), stillSink(&still), failAt, &why);
         }},
        {"sheet",
         {"sheet.png"},
         [&](const std::string& folder, int failAt) {
             SheetOutput sheet;
             sheet.target = folder + "/sheet.png";
             sheet.columns = sheet.rows = 2;
             sheet.cellWidth = WIDTH;
             sheet.cellHeight = HEIGHT;
             return render(stillFrames({0.0, 40.0, 80.0, 120.0}), sheetSink(&sheet), failAt, &why);
         }},
        {"PNG frames",
         {"frames"},
         [&](const std::string& folder, int failAt) {
             const CaptureOptions options = shortVideo(folder + "/frames");
             VideoOutput frames;
             EXPECT_TRUE(PNG_FRAMES_VIDEO.open(options, 10, &frames, &why)) << why;
             const int taken = render(videoFrames(options, 0, 10), frames.sink, failAt, &why);
             if (failAt < 0) {
                 EXPECT_EQ(listFolder(options.output).size(), sound ? 11u : 10u);
             }
             return taken;
         }},
    };
    if (!ffmpeg.empty()) {
        cases.push_back({"MP4", {"clip.mp4"}, [&](const std::string& folder, int failAt) {
                             const CaptureOptions options = shortVideo(folder + "/clip.mp4");
                             VideoOutput mp4;
                             EXPECT_TRUE(MP4_VIDEO.open(options, 10, &mp4, &why)) << why;
                             return render(videoFrames(options, 0, 10), mp4.sink, failAt, &why);
                         }});
        cases.push_back(
            {"chunk", {"chunk-00001.hashes", "chunk-00001.mkv"}, [&](const std::string& folder, int failAt) {
                 CaptureOptions options = shortVideo(folder + "/joined.mp4");
                 options.chunks = 2;
                 const CaptureJob job = makeJob(options, folder);
                 ChunkOutput chunk;
                 chunk.job = &job;
                 chunk.index = 1;
                 chunk.ffmpeg = ffmpeg;
                 const int taken = render(videoFrames(options, 5, 5), chunkSink(&chunk), failAt, &why);
                 std::string state;
                 if (failAt < 0) {
                     EXPECT_EQ(checkChunk(job, 1, ffmpeg, &state), ChunkState::Complete) << state;
                 }
                 return taken;
             }});
    }
    for (const Case& c : cases) {
        ScratchFolder folder;
        const int all = c.run(folder.path, -1);
        EXPECT_EQ(why, "") << c.name;
        EXPECT_EQ(folder.list(), c.written) << c.name;

        ScratchFolder failed;
        const int failAt = all > 1 ? 1 : 0;
        EXPECT_EQ(c.run(failed.path, failAt), failAt) << c.name;
        EXPECT_EQ(why, FAULT) << c.name;
        EXPECT_TRUE(failed.list().empty()) << c.name << ": " << failed.list().front();
    }
}
