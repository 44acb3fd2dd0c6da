// The chunk's sink: the video is read back as the assembly will read it before the hash file is written, and
// the video goes in place first, so that a chunk whose hash file exists is complete.
#include "capture/sink_chunk.h"

#include "capture/chunk_files.h"
#include "capture/report.h"

#include <cstdio>
#include <unistd.h>

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

static bool begin(void* state, std::string* why) {
    auto* chunk = static_cast<ChunkOutput*>(state);
    const CaptureJob& job = *chunk->job;
    if (!beginOutput(chunkVideoPath(job, chunk->index), false, 0, &chunk->video, why) ||
        !beginOutput(chunkHashesPath(job, chunk->index), false, 1, &chunk->hashes, why)) {
        discardOutput(&chunk->video);
        return false;
    }
    chunk->claimed = true;
    if (startLosslessWriter(chunk->ffmpeg, job.options.width, job.options.height, job.options.fps,
                            chunk->video.temp, &chunk->writer, why))
        return true;
    discardOutput(&chunk->video);
    discardOutput(&chunk->hashes);
    return false;
}

static bool take(void* state, const CapturedFrame& frame, std::string* why) {
    auto* chunk = static_cast<ChunkOutput*>(state);
    chunk->frameHashes.push_back(hashBytes(frame.rgb, frame.size));
    if (sendFrame(&chunk->writer, frame.rgb, frame.size))
        return true;
    *why = "ffmpeg stopped taking frames";
    return false;
}

static bool finish(void* state, std::string* why) {
    auto* chunk = static_cast<ChunkOutput*>(state);
    const CaptureJob& job = *chunk->job;
    if (!finishFfmpeg(&chunk->writer, why))
        return false;
    if (!syncFile(chunk->video.temp)) {
        *why = describeError("cannot write '" + chunk->video.temp + "'");
        return false;
    }
    // Read back as the assembly will: ffmpeg may end well after a failed write (a full disk, a size limit).
    if (checkChunkFrames(job, chunk->index, chunk->frameHashes, chunk->ffmpeg, nullptr, why,
                         chunk->video.temp) != ChunkState::Complete) {
        *why = "its video does not read back (" + *why + "): is the disk full?";
        return false;
    }
    return writeText(chunk->hashes.temp, chunkHashesText(job, chunk->index, chunk->frameHashes), why) &&
           commitOutput(&chunk->video, why) && commitOutput(&chunk->hashes, why);
}

static void discard(void* state, std::string* why) {
    auto* chunk = static_cast<ChunkOutput*>(state);
    std::string encoderWhy;
    if (chunk->writer.pid > 0 && !finishFfmpeg(&chunk->writer, &encoderWhy))
        addReason(why, encoderWhy);
    discardOutput(&chunk->video);
    discardOutput(&chunk->hashes);
}

FrameSink chunkSink(ChunkOutput* chunk) {
    return {chunk, begin, take, finish, discard};
}
