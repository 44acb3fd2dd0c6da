// --assemble: every chunk checked against the plan first; then the frames joined and encoded once, with the
// soundtrack of the whole range, into an MP4 that appears whole or not at all.
#include "audio/soundtrack_preparation.h"
#include "capture/capture_job.h"
#include "capture/capture_modes.h"
#include "capture/chunk_files.h"
#include "capture/encoded_video.h"
#include "capture/ffmpeg_pipe.h"
#include "capture/interrupt.h"
#include "capture/progress.h"

#include <cstdio>

static const char* stateName(ChunkState state) {
    switch (state) {
    case ChunkState::Missing:
        return "missing";
    case ChunkState::Damaged:
        return "damaged";
    case ChunkState::OtherPlan:
        return "from another plan";
    case ChunkState::OtherBuild:
        return "from another build";
    case ChunkState::Complete:
        break;
    }
    return "complete";
}

int assembleJob(const CaptureOptions& options) {
    CaptureJob job;
    if (int status = openJobFor(options, &job))
        return status;
    std::string why, encoder;
    const std::string ffmpeg = findFfmpeg(&encoder, &why);
    if (ffmpeg.empty())
        return reportFailure(why + ": the job's video cannot be made here");

    // Every chunk is read through once before anything is written, so that one run names all that need
    // redoing.
    const int chunks = static_cast<int>(job.chunks.size());
    std::vector<std::vector<uint64_t>> hashes(static_cast<size_t>(chunks));
    std::vector<std::string> redo;
    startProgress("checking chunks", "chunks", chunks);
    reportProgress(0);
    for (int i = 0; i < chunks; ++i) {
        ChunkState state = readChunkHashes(job, i, &hashes[static_cast<size_t>(i)], &why);
        if (state == ChunkState::Complete)
            state = checkChunkFrames(job, i, hashes[static_cast<size_t>(i)], ffmpeg, nullptr, &why);
        if (state != ChunkState::Complete)
            redo.push_back("chunk " + std::to_string(i) + " is " + stateName(state) + ": " + why +
                           "\n    redo: " + redoCommand(options, job, i));
        reportProgress(i + 1);
    }
    finishProgress();
    if (!redo.empty()) {
        std::fprintf(stderr, "doz-capture: %zu of %d chunks of '%s' need rendering; nothing was written:\n",
                     redo.size(), chunks, job.dir.c_str());
        for (const std::string& line : redo)
            std::fprintf(stderr, "  %s\n", line.c_str());
        return 1;
    }

    // No frame is drawn here, but the sound of the whole range is encoded from the decoded track.
    prepareSoundtrack();
    EncodedVideo video;
    if (!beginEncodedVideo(job.options, ffmpeg, encoder, job.frames, &video, &why))
        return reportFailure(why);
    std::string silent;
    if (!captureHasSound(&silent))
        reportNote(silent + ": the video has no audio");
    startProgress("video", "frames", job.frames);
    reportProgress(0);
    int done = 0;
    bool failed = false;
    for (int i = 0; i < chunks && !failed; ++i) {
        // Checked again on the way through: the files could change between the two passes.
        auto take = [&](const unsigned char* rgb, size_t size) {
            if (!sendFrame(&video.encoder, rgb, size))
                return false;
            reportProgress(++done);
            return true;
        };
        if (checkChunkFrames(job, i, hashes[static_cast<size_t>(i)], ffmpeg, take, &why) !=
            ChunkState::Complete) {
            why = why == "stopped" ? std::string("ffmpeg stopped taking frames")
                                   : "chunk " + std::to_string(i) + " changed while it was joined: " + why +
                                         "\n    redo: " + redoCommand(options, job, i);
            failed = true;
        }
    }
    finishProgress();
    std::string encoderWhy;
    if (!finishEncodedVideo(&video, &encoderWhy)) {
        why = failed ? why + "; " + encoderWhy : encoderWhy;
        failed = true;
    }
    if (failed || stopRequested()) {
        discardEncodedVideo(&video);
        return reportFailure(failed ? why : "interrupted; nothing was written");
    }
    if (!commitOutput(&video.out, &why))
        return reportFailure(why);
    char text[200];
    std::snprintf(text, sizeof text, "joined %d chunks, %d frames, %dx%d at %g fps from %g s%s: ", chunks,
                  job.frames, job.options.width, job.options.height, job.options.fps, job.options.from,
                  video.withAudio ? ", with the soundtrack" : ", no audio");
    reportNote(text + job.options.output);
    std::printf("%s\n", job.options.output.c_str());
    return 0;
}
