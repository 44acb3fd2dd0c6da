// --assemble: every chunk checked against the plan first; then the chunks' frames fed to the MP4 sink, which
// encodes them once with the soundtrack of the whole range into a file that appears whole or not at all.
#include "audio/soundtrack_preparation.h"
#include "capture/capture_frames.h"
#include "capture/capture_job.h"
#include "capture/capture_modes.h"
#include "capture/chunk_files.h"
#include "capture/ffmpeg_pipe.h"
#include "capture/interrupt.h"
#include "capture/progress.h"
#include "capture/sink_mp4.h"

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
    std::string why;
    if (!openJobFor(options, &job, &why))
        return reportRefusal(why);
    std::string encoder;
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
        std::string list = std::to_string(redo.size()) + " of " + std::to_string(chunks) + " chunks of '" +
                           job.dir + "' need rendering; nothing was written:";
        for (const std::string& line : redo)
            list += "\n  " + line;
        return reportFailure(list);
    }

    // No frame is drawn here, but the sound of the whole range is encoded from the decoded track.
    prepareSoundtrack();
    Mp4Output mp4;
    mp4.options = job.options;
    mp4.ffmpeg = ffmpeg;
    mp4.encoder = encoder;
    mp4.frames = job.frames;
    const FrameSink sink = mp4Sink(&mp4);
    if (!sink.begin(sink.state, &why))
        return reportFailure(why);
    startProgress("video", "frames", job.frames);
    reportProgress(0);
    int done = 0;
    bool failed = false;
    for (int i = 0; i < chunks && !failed; ++i) {
        // Checked again on the way through: the files could change between the two passes.
        std::string takeWhy;
        auto take = [&](const unsigned char* rgb, size_t size) {
            const double seconds = videoFrameTime(job.options, done);
            if (!sink.take(sink.state, {done, seconds, soundPositionAt(seconds), rgb, size}, &takeWhy))
                return false;
            reportProgress(++done);
            return true;
        };
        if (checkChunkFrames(job, i, hashes[static_cast<size_t>(i)], ffmpeg, take, &why) !=
            ChunkState::Complete) {
            why = !takeWhy.empty() ? takeWhy
                                   : "chunk " + std::to_string(i) + " changed while it was joined: " + why +
                                         "\n    redo: " + redoCommand(options, job, i);
            failed = true;
        }
    }
    finishProgress();
    if (failed || stopRequested()) {
        if (!failed)
            why.clear();
        sink.discard(sink.state, &why);
        return reportFailure(why.empty() ? "interrupted; nothing was written" : why);
    }
    if (!sink.finish(sink.state, &why)) {
        sink.discard(sink.state, &why);
        return reportFailure(why);
    }
    char text[200];
    std::snprintf(text, sizeof text, "joined %d chunks, %d frames, %dx%d at %g fps from %g s%s: ", chunks,
                  job.frames, job.options.width, job.options.height, job.options.fps, job.options.from,
                  mp4.video.withAudio ? ", with the soundtrack" : ", no audio");
    reportNote(text + job.options.output);
    std::printf("%s\n", job.options.output.c_str());
    return 0;
}
