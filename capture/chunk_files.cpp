// A chunk's two files in the job folder, and the checks that tell a complete chunk from a missing, damaged
// or foreign one.
#include "capture/chunk_files.h"

#include "capture/ffmpeg_pipe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

static const char* const CHUNK_FORMAT = "doz-capture chunk 1";

static std::string chunkPath(const CaptureJob& job, int index, const char* extension) {
    char name[48];
    std::snprintf(name, sizeof name, "/chunk-%05d.%s", index, extension);
    return job.dir + name;
}

std::string chunkVideoPath(const CaptureJob& job, int index) {
    return chunkPath(job, index, "mkv");
}

std::string chunkHashesPath(const CaptureJob& job, int index) {
    return chunkPath(job, index, "hashes");
}

// What ties a chunk to its plan: the plan's whole text (options, ranges, renderer) hashed.
static std::string planIdentity(const CaptureJob& job) {
    const std::string text = jobJson(job);
    return hashHex(hashBytes(text.data(), text.size()));
}

static std::string chunkHeader(const CaptureJob& job, int index, const RendererIdentity& renderer) {
    const ChunkRange& range = job.chunks[static_cast<size_t>(index)];
    return std::string(CHUNK_FORMAT) + "\nplan " + planIdentity(job) + "\nrenderer " + renderer.version +
           " " + renderer.commit + " " + renderer.stages + " " + renderer.soundtrack + "\nchunk " +
           std::to_string(index) + " of " + std::to_string(job.chunks.size()) + ", frames " +
           std::to_string(range.first) + " to " + std::to_string(range.first + range.count - 1) + "\n";
}

std::string chunkHashesText(const CaptureJob& job, int index, const std::vector<uint64_t>& hashes) {
    std::string text = chunkHeader(job, index, job.renderer);
    for (uint64_t hash : hashes)
        text += hashHex(hash) + "\n";
    return text + "end\n";
}

static std::string shellQuote(const std::string& text) {
    if (text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-./=:,+") ==
        std::string::npos)
        return text;
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string redoCommand(const CaptureOptions& options, const CaptureJob& job, int index) {
    return shellQuote(options.program) + " --render-chunk " + shellQuote(job.dir) + " --chunk " +
           std::to_string(index);
}

ChunkState readChunkHashes(const CaptureJob& job, int index, std::vector<uint64_t>* hashes,
                           std::string* why) {
    hashes->clear();
    std::ifstream file(chunkHashesPath(job, index), std::ios::binary);
    if (!file) {
        *why = "not rendered, or not finished";
        return ChunkState::Missing;
    }
    std::string line, header;
    for (int i = 0; i < 4 && std::getline(file, line); ++i)
        header += line + "\n";
    if (header.compare(0, std::strlen(CHUNK_FORMAT) + 1, std::string(CHUNK_FORMAT) + "\n") != 0) {
        *why = "its hash file is not one doz-capture wrote";
        return ChunkState::Damaged;
    }
    if (header != chunkHeader(job, index, job.renderer)) {
        // Which part differs says whether the plan or the build is foreign.
        std::istringstream lines(header);
        std::string format, plan, renderer, range;
        std::getline(lines, format);
        std::getline(lines, plan);
        std::getline(lines, renderer);
        std::getline(lines, range);
        std::istringstream expected(chunkHeader(job, index, job.renderer));
        std::string eFormat, ePlan, eRenderer, eRange;
        std::getline(expected, eFormat);
        std::getline(expected, ePlan);
        std::getline(expected, eRenderer);
        std::getline(expected, eRange);
        if (renderer != eRenderer) {
            *why = "rendered by another build (" + renderer + "; the plan's: " + eRenderer + ")";
            return ChunkState::OtherBuild;
        }
        *why = "it belongs to another plan (" + plan + ", " + range + "; this plan: " + ePlan + ", " +
               eRange + ")";
        return ChunkState::OtherPlan;
    }
    const int count = job.chunks[static_cast<size_t>(index)].count;
    while (std::getline(file, line) && line != "end") {
        char* end = nullptr;
        unsigned long long value = std::strtoull(line.c_str(), &end, 16);
        if (line.size() != 16 || end != line.c_str() + 16) {
            *why = "its hash file is damaged";
            return ChunkState::Damaged;
        }
        hashes->push_back(value);
    }
    if (line != "end" || static_cast<int>(hashes->size()) != count || std::getline(file, line)) {
        *why = "its hash file holds " + std::to_string(hashes->size()) + " frames where the plan has " +
               std::to_string(count) + " (or is cut short)";
        return ChunkState::Damaged;
    }
    return ChunkState::Complete;
}

ChunkState checkChunkFrames(const CaptureJob& job, int index, const std::vector<uint64_t>& hashes,
                            const std::string& ffmpeg,
                            const std::function<bool(const unsigned char*, size_t)>& take, std::string* why,
                            const std::string& videoPath) {
    const std::string video = videoPath.empty() ? chunkVideoPath(job, index) : videoPath;
    FILE* probe = std::fopen(video.c_str(), "rb");
    if (probe == nullptr) {
        *why = "its video '" + video + "' is missing";
        return ChunkState::Damaged;
    }
    std::fclose(probe);
    FfmpegPipe reader;
    if (!startFrameReader(ffmpeg, video, &reader, why))
        return ChunkState::Damaged;
    std::vector<unsigned char> rgb(static_cast<size_t>(job.options.width) * job.options.height * 3);
    size_t frame = 0;
    std::string problem;
    for (;;) {
        int got = readFrame(&reader, rgb.data(), rgb.size());
        if (got == 0)
            break;
        if (got < 0) {
            problem = "its video ends inside frame " + std::to_string(frame);
            break;
        }
        if (frame >= hashes.size()) {
            problem = "its video holds more frames than the plan";
            break;
        }
        if (hashBytes(rgb.data(), rgb.size()) != hashes[frame]) {
            problem = "frame " + std::to_string(frame) + " of the chunk (video frame " +
                      std::to_string(job.chunks[static_cast<size_t>(index)].first + static_cast<int>(frame)) +
                      ") differs from its hash";
            break;
        }
        if (take && !take(rgb.data(), rgb.size())) {
            problem = "stopped";
            break;
        }
        ++frame;
    }
    std::string decoderWhy;
    if (!problem.empty())
        stopFrameReader(&reader);
    else if (!finishFfmpeg(&reader, &decoderWhy))
        problem = "ffmpeg cannot decode its video: " + decoderWhy;
    else if (frame != hashes.size())
        problem = "its video holds " + std::to_string(frame) + " of the " + std::to_string(hashes.size()) +
                  " frames (cut short?)";
    if (problem.empty())
        return ChunkState::Complete;
    *why = problem;
    return ChunkState::Damaged;
}

ChunkState checkChunk(const CaptureJob& job, int index, const std::string& ffmpeg, std::string* why) {
    std::vector<uint64_t> hashes;
    ChunkState state = readChunkHashes(job, index, &hashes, why);
    if (state != ChunkState::Complete)
        return state;
    return checkChunkFrames(job, index, hashes, ffmpeg, nullptr, why);
}
