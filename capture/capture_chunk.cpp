// --render-chunk: one chunk of a job, drawn from the beat state that one process has at its first frame,
// written losslessly with a hash per frame; both files appear only when the chunk is complete.
#include "capture/capture_frames.h"
#include "capture/capture_job.h"
#include "capture/capture_modes.h"
#include "capture/capture_tracks.h"
#include "capture/chunk_files.h"
#include "capture/ffmpeg_pipe.h"
#include "capture/sink_chunk.h"
#include "render/scale_target.h"

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

// A killed run of this chunk left its temporaries behind; nothing else can be writing them, since a job
// runs each chunk once at a time.
static void removeStaleTemporaries(const CaptureJob& job, int index) {
    std::string video = chunkVideoPath(job, index), hashes = chunkHashesPath(job, index);
    std::string prefixes[2] = {"." + video.substr(video.find_last_of('/') + 1) + ".partial-",
                               "." + hashes.substr(hashes.find_last_of('/') + 1) + ".partial-"};
    DIR* dir = opendir(job.dir.c_str());
    if (dir == nullptr)
        return;
    while (dirent* entry = readdir(dir))
        for (const std::string& prefix : prefixes)
            if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0)
                unlink((job.dir + "/" + entry->d_name).c_str());
    closedir(dir);
}

int renderChunk(const CaptureOptions& options) {
    CaptureJob job;
    std::string why;
    if (!openJobFor(options, &job, &why))
        return reportRefusal(why);
    if (loadedTracksHash() != job.tracks)
        return reportRefusal(
            "the plan in '" + options.jobDir + "' was made with other tracks (" + job.tracks +
            "); these, from " +
            (captureTracksFolder().empty() ? std::string("the build") : "'" + captureTracksFolder() + "'") +
            ", are " + loadedTracksHash() + ": draw with the plan's copy in '" + options.jobDir + "/tracks'");
    // The plan's picture options, not the command line's defaults.
    setRenderScale(job.options.scale);
    setCaptureSupersample(job.options.supersample);
    const int index = options.chunk;
    if (index >= static_cast<int>(job.chunks.size()))
        return reportRefusal("--chunk " + std::to_string(index) +
                             " is not in the plan: its chunks are 0 to " +
                             std::to_string(job.chunks.size() - 1));
    const ChunkRange range = job.chunks[static_cast<size_t>(index)];
    char what[96];
    std::snprintf(what, sizeof what, "chunk %d (frames %d to %d)", index, range.first,
                  range.first + range.count - 1);

    const std::string ffmpeg = findFfmpegProgram(&why);
    if (ffmpeg.empty())
        return reportFailure(std::string(what) + ": " + why + " (a chunk is written with its FFV1 encoder)");
    std::string state;
    if (checkChunk(job, index, ffmpeg, &state) == ChunkState::Complete) {
        reportNote(std::string(what) + " is complete already: nothing to do");
        return 0;
    }
    removeStaleTemporaries(job, index);

    if (!prepareCapture(job.options.width, job.options.height, &why))
        return reportFailure(std::string(what) + " failed: " + why);
    ChunkOutput chunk;
    chunk.job = &job;
    chunk.index = index;
    chunk.ffmpeg = ffmpeg;
    FrameRange frames = videoFrames(job.options, range.first, range.count);
    // Many chunks run side by side under a job runner: only a terminal gets a bar. Every signal abandons a
    // chunk: a part of one is worth nothing to the job.
    frames.shownAs = isatty(STDERR_FILENO) != 0 ? "chunk" : nullptr;
    renderFrameRange(frames, chunkSink(&chunk), &why);
    if (!why.empty())
        return reportFailure(std::string(what) + (chunk.claimed ? " failed: " : ": ") + why);
    reportNote("wrote " + std::string(what) + ": " + chunkVideoPath(job, index));
    return 0;
}
