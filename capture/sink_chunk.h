// A job's chunk as a sink: its frames losslessly (FFV1 in Matroska) and beside them the hash file, which is
// written last and marks the chunk complete.
#pragma once
#include "capture/capture_job.h"
#include "capture/ffmpeg_pipe.h"
#include "capture/frame_sink.h"
#include "capture/output_file.h"

#include <vector>

struct ChunkOutput {
    const CaptureJob* job = nullptr;
    int index = 0;
    std::string ffmpeg;
    PendingOutput video, hashes;
    FfmpegPipe writer;
    std::vector<uint64_t> frameHashes;
    bool claimed = false; // both files' temporaries exist: a failure past this point is the chunk's own
};

FrameSink chunkSink(ChunkOutput* chunk);
