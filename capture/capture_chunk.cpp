// --render-chunk: one chunk of a job, drawn from the beat state that one process has at its first frame,
// written losslessly with a hash per frame; both files appear only when the chunk is complete.
#include "capture/capture_frames.h"
#include "capture/capture_job.h"
#include "capture/capture_modes.h"
#include "capture/chunk_files.h"
#include "capture/ffmpeg_pipe.h"
#include "capture/interrupt.h"
#include "capture/output_file.h"
#include "capture/progress.h"
#include "render/scale_target.h"

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <unistd.h>
#include <vector>

static int refuse(const std::string& message) {
    std::fprintf(stderr, "doz-capture: %s\n", message.c_str());
    return 2;
}

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

static bool writeText(const std::string& path, const std::string& text, std::string* why) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool ok = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    // The chunk counts as done once renamed: its bytes must be on the disk by then.
    ok = ok && std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    if (file != nullptr && std::fclose(file) != 0)
        ok = false;
    if (!ok)
        *why = describeError("cannot write '" + path + "'");
    return ok;
}

static bool syncFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    bool ok = file != nullptr && fsync(fileno(file)) == 0;
    if (file != nullptr)
        std::fclose(file);
    return ok;
}

int renderChunk(const CaptureOptions& options) {
    CaptureJob job;
    if (int status = openJobFor(options, &job))
        return status;
    // The plan's picture options, not the command line's defaults.
    setRenderScale(job.options.scale);
    setCaptureSupersample(job.options.supersample);
    const int index = options.chunk;
    if (index >= static_cast<int>(job.chunks.size()))
        return refuse("--chunk " + std::to_string(index) + " is not in the plan: its chunks are 0 to " +
                      std::to_string(job.chunks.size() - 1));
    const ChunkRange range = job.chunks[static_cast<size_t>(index)];
    char what[96];
    std::snprintf(what, sizeof what, "chunk %d (frames %d to %d)", index, range.first,
                  range.first + range.count - 1);

    std::string why;
    const std::string ffmpeg = findFfmpegProgram(&why);
    if (ffmpeg.empty())
        return reportFailure(std::string(what) + ": " + why + " (a chunk is written with its FFV1 encoder)");
    std::string state;
    if (checkChunk(job, index, ffmpeg, &state) == ChunkState::Complete) {
        reportNote(std::string(what) + " is complete already: nothing to do");
        return 0;
    }
    removeStaleTemporaries(job, index);

    PendingOutput video, hashes;
    if (!beginOutput(chunkVideoPath(job, index), false, 0, &video, &why) ||
        !beginOutput(chunkHashesPath(job, index), false, 1, &hashes, &why)) {
        discardOutput(&video);
        return reportFailure(std::string(what) + ": " + why);
    }
    auto fail = [&](const std::string& reason) {
        discardOutput(&video);
        discardOutput(&hashes);
        return reportFailure(std::string(what) + " failed: " + reason);
    };
    if (!prepareCapture(job.options.width, job.options.height, &why))
        return fail(why);
    FfmpegPipe writer;
    if (!startLosslessWriter(ffmpeg, job.options.width, job.options.height, job.options.fps, video.temp,
                             &writer, &why))
        return fail(why);

    // Every signal abandons a chunk: a part of one is worth nothing to the job.
    setGracefulStop(false);
    // Many chunks run side by side under a job runner: only a terminal gets a bar.
    const bool showProgress = isatty(STDERR_FILENO) != 0;
    if (showProgress) {
        startProgress("chunk", "frames", range.count);
        reportProgress(0);
    }
    std::vector<uint64_t> frameHashes;
    auto take = [&](int k, const std::vector<unsigned char>& rgb, std::string* failure) {
        frameHashes.push_back(hashBytes(rgb.data(), rgb.size()));
        if (!sendFrame(&writer, rgb.data(), rgb.size())) {
            *failure = "ffmpeg stopped taking frames";
            return false;
        }
        if (showProgress)
            reportProgress(k + 1);
        return true;
    };
    renderFrameRange(videoFrames(job.options, range.first, range.count), take, &why);
    bool failed = !why.empty();
    if (showProgress)
        finishProgress();
    std::string encoderWhy;
    if (!finishFfmpeg(&writer, &encoderWhy)) {
        why = failed ? why + "; " + encoderWhy : encoderWhy;
        failed = true;
    }
    if (failed)
        return fail(why);
    if (!syncFile(video.temp))
        return fail(describeError("cannot write '" + video.temp + "'"));
    // Read back as the assembly will: ffmpeg may end well after a failed write (a full disk, a size limit).
    if (checkChunkFrames(job, index, frameHashes, ffmpeg, nullptr, &why, video.temp) != ChunkState::Complete)
        return fail("its video does not read back (" + why + "): is the disk full?");
    if (!writeText(hashes.temp, chunkHashesText(job, index, frameHashes), &why))
        return fail(why);
    // The video goes in place first: the hash file is what marks the chunk complete.
    if (!commitOutput(&video, &why))
        return fail(why);
    if (!commitOutput(&hashes, &why))
        return fail(why);
    reportNote("wrote " + std::string(what) + ": " + chunkVideoPath(job, index));
    return 0;
}
