// The plan of a capture job and the checks of its chunks.
#include "tools/capture/capture_job.h"

#include "app/version.h"
#include "platform/resources.h"
#include "render/shader_sources.h"
#include "tools/capture/ffmpeg_pipe.h"
#include "tools/capture/json_value.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

static int refuseJob(const std::string& message) {
    std::fprintf(stderr, "doz-capture: %s\n", message.c_str());
    return 2;
}

static const char* const JOB_FORMAT = "doz-capture job 1";
static const char* const CHUNK_FORMAT = "doz-capture chunk 1";

uint64_t hashBytes(const void* data, size_t size, uint64_t hash) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string hashHex(uint64_t hash) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

RendererIdentity currentRenderer() {
    // Whatever stages and soundtrack this build embeds, read as they are.
    uint64_t stages = hashBytes(SCENE_VERTEX_SOURCE, std::strlen(SCENE_VERTEX_SOURCE) + 1);
    stages = hashBytes(SCENE_FRAGMENT_SOURCE, std::strlen(SCENE_FRAGMENT_SOURCE) + 1, stages);
    ByteSpan track = findSoundtrackResource();
    return {PROGRAM_VERSION, PROGRAM_COMMIT, hashHex(stages), hashHex(hashBytes(track.data, track.size))};
}

std::string describeRenderer(const RendererIdentity& r) {
    return "version " + r.version + ", commit " + r.commit + ", stages " + r.stages + ", soundtrack " +
           r.soundtrack;
}

bool sameRenderer(const RendererIdentity& a, const RendererIdentity& b) {
    return a.version == b.version && a.commit == b.commit && a.stages == b.stages &&
           a.soundtrack == b.soundtrack;
}

CaptureJob makeJob(const CaptureOptions& options, const std::string& dir) {
    CaptureJob job;
    job.dir = dir;
    job.options = options;
    job.frames = videoFrameCount(options);
    for (int i = 0; i < options.chunks; ++i) {
        int first = static_cast<int>(static_cast<long long>(job.frames) * i / options.chunks);
        int next = static_cast<int>(static_cast<long long>(job.frames) * (i + 1) / options.chunks);
        job.chunks.push_back({first, next - first});
    }
    job.renderer = currentRenderer();
    return job;
}

// Shortest plain text that reads back as the same double ("30", "41.5").
static std::string number(double value) {
    char text[40];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value && (std::strchr(text, 'e') == nullptr || digits == 17))
            break;
    }
    return text;
}

std::string jobJson(const CaptureJob& job) {
    const CaptureOptions& o = job.options;
    const RendererIdentity& r = job.renderer;
    std::string text = "{\n";
    text += "  \"format\": " + jsonQuote(JOB_FORMAT) + ",\n";
    text += "  \"renderer\": {\"version\": " + jsonQuote(r.version) + ", \"commit\": " + jsonQuote(r.commit) +
            ", \"stages\": " + jsonQuote(r.stages) + ", \"soundtrack\": " + jsonQuote(r.soundtrack) + "},\n";
    text += "  \"size\": [" + std::to_string(o.width) + ", " + std::to_string(o.height) + "],\n";
    text += "  \"fps\": " + number(o.fps) + ",\n";
    text += "  \"from\": " + number(o.from) + ",\n";
    text += "  \"to\": " + number(o.to) + ",\n";
    text += "  \"scale\": " + number(o.scale) + ",\n";
    text += "  \"supersample\": " + std::to_string(o.supersample) + ",\n";
    text += "  \"output\": " + jsonQuote(o.output) + ",\n";
    text += "  \"frames\": " + std::to_string(job.frames) + ",\n";
    text += "  \"chunks\": [";
    for (size_t i = 0; i < job.chunks.size(); ++i)
        text += std::string(i % 8 == 0 ? "\n    " : " ") + "[" + std::to_string(job.chunks[i].first) + ", " +
                std::to_string(job.chunks[i].count) + "]" + (i + 1 < job.chunks.size() ? "," : "");
    text += "\n  ]\n}\n";
    return text;
}

static bool readNumber(const JsonValue& plan, const char* name, double* value) {
    const JsonValue* v = jsonMember(plan, name);
    if (v == nullptr || v->kind != JsonValue::Kind::Number)
        return false;
    *value = v->number;
    return true;
}

static bool readInteger(const JsonValue& v, long long low, long long high, int* value) {
    if (v.kind != JsonValue::Kind::Number || v.number != std::floor(v.number) || v.number < low ||
        v.number > high)
        return false;
    *value = static_cast<int>(v.number);
    return true;
}

static bool readText(const JsonValue& object, const char* name, std::string* value) {
    const JsonValue* v = jsonMember(object, name);
    if (v == nullptr || v->kind != JsonValue::Kind::String || v->text.empty())
        return false;
    *value = v->text;
    return true;
}

// Every value in range and the chunks exactly covering the frames, in order.
static bool readPlan(const JsonValue& plan, CaptureJob* job, std::string* why) {
    CaptureOptions& o = job->options;
    std::string format;
    const JsonValue* renderer = jsonMember(plan, "renderer");
    const JsonValue* size = jsonMember(plan, "size");
    const JsonValue* frames = jsonMember(plan, "frames");
    const JsonValue* chunks = jsonMember(plan, "chunks");
    const JsonValue* supersample = jsonMember(plan, "supersample");
    if (plan.kind != JsonValue::Kind::Object || !readText(plan, "format", &format) || format != JOB_FORMAT) {
        *why = std::string("it is not a plan of this doz-capture (\"format\" is not \"") + JOB_FORMAT + "\")";
        return false;
    }
    if (renderer == nullptr || !readText(*renderer, "version", &job->renderer.version) ||
        !readText(*renderer, "commit", &job->renderer.commit) ||
        !readText(*renderer, "stages", &job->renderer.stages) ||
        !readText(*renderer, "soundtrack", &job->renderer.soundtrack)) {
        *why = "\"renderer\" is missing or incomplete";
        return false;
    }
    if (size == nullptr || size->kind != JsonValue::Kind::Array || size->items.size() != 2 ||
        !readInteger(size->items[0], 2, MAX_CAPTURE_SIDE, &o.width) ||
        !readInteger(size->items[1], 2, MAX_CAPTURE_SIDE, &o.height) || o.width % 2 != 0 ||
        o.height % 2 != 0) {
        *why = "\"size\" is not an even [width, height]";
        return false;
    }
    if (!readNumber(plan, "fps", &o.fps) || o.fps <= 0.0 || o.fps > MAX_CAPTURE_FPS ||
        !readNumber(plan, "from", &o.from) || !readNumber(plan, "to", &o.to) || o.from < 0.0 ||
        o.from >= o.to || o.to > CAPTURE_END_TIME) {
        *why = "\"fps\", \"from\" or \"to\" is missing or out of range";
        return false;
    }
    if (!readNumber(plan, "scale", &o.scale) || (o.scale != 0.0 && (o.scale < 0.25 || o.scale > 1.0)) ||
        supersample == nullptr || !readInteger(*supersample, 1, MAX_SUPERSAMPLE, &o.supersample) ||
        static_cast<long>(o.width) * o.supersample > MAX_CAPTURE_SIDE ||
        static_cast<long>(o.height) * o.supersample > MAX_CAPTURE_SIDE) {
        *why = "\"scale\" or \"supersample\" is missing or out of range";
        return false;
    }
    if (!readText(plan, "output", &o.output)) {
        *why = "\"output\" is missing";
        return false;
    }
    if (frames == nullptr || !readInteger(*frames, 1, 1LL << 30, &job->frames) ||
        job->frames != videoFrameCount(o)) {
        *why = "\"frames\" does not match the time range and frame rate";
        return false;
    }
    if (chunks == nullptr || chunks->kind != JsonValue::Kind::Array || chunks->items.empty() ||
        chunks->items.size() > static_cast<size_t>(MAX_JOB_CHUNKS)) {
        *why = "\"chunks\" is missing or empty";
        return false;
    }
    int next = 0;
    for (const JsonValue& chunk : chunks->items) {
        ChunkRange range{0, 0};
        if (chunk.kind != JsonValue::Kind::Array || chunk.items.size() != 2 ||
            !readInteger(chunk.items[0], 0, job->frames, &range.first) ||
            !readInteger(chunk.items[1], 1, job->frames, &range.count) || range.first != next) {
            *why = "the chunk ranges do not follow each other";
            return false;
        }
        next = range.first + range.count;
        job->chunks.push_back(range);
    }
    if (next != job->frames) {
        *why = "the chunk ranges do not cover the frames";
        return false;
    }
    o.mode = CaptureMode::Video;
    o.chunks = static_cast<int>(job->chunks.size());
    return true;
}

bool readJob(const std::string& dir, CaptureJob* job, std::string* why) {
    *job = CaptureJob();
    job->dir = dir;
    const std::string path = dir + "/job.json";
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *why = "no plan at '" + path + "'" +
               (errno != ENOENT ? std::string(": ") + std::strerror(errno) : "") + " (make one with --plan)";
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    JsonValue plan;
    std::string reason;
    if (!parseJson(text.str(), &plan, &reason) || !readPlan(plan, job, &reason)) {
        *why = "'" + path + "' is not a usable plan: " + reason;
        return false;
    }
    return true;
}

std::string contradictions(const CaptureOptions& given, const CaptureJob& job) {
    const CaptureOptions& plan = job.options;
    std::string list;
    auto add = [&list](bool differs, const std::string& what) {
        if (differs)
            list += (list.empty() ? "" : ", ") + what;
    };
    char text[160];
    std::snprintf(text, sizeof text, "--size %dx%d (the plan has %dx%d)", given.width, given.height,
                  plan.width, plan.height);
    add(given.sizeGiven && (given.width != plan.width || given.height != plan.height), text);
    std::snprintf(text, sizeof text, "--fps %g (the plan has %g)", given.fps, plan.fps);
    add(given.fpsGiven && given.fps != plan.fps, text);
    std::snprintf(text, sizeof text, "--from %g (the plan has %g)", given.from, plan.from);
    add(given.fromGiven && given.from != plan.from, text);
    std::snprintf(text, sizeof text, "--to %g (the plan has %g)", given.to, plan.to);
    add(given.toGiven && given.to != plan.to, text);
    std::snprintf(text, sizeof text, "--scale %g (the plan has %g)", given.scale, plan.scale);
    add(given.scaleGiven && given.scale != plan.scale, text);
    std::snprintf(text, sizeof text, "--supersample %d (the plan has %d)", given.supersample,
                  plan.supersample);
    add(given.supersampleGiven && given.supersample != plan.supersample, text);
    return list;
}

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

// Reads a job for --render-chunk or --assemble: exit status 0 when it can be used, else 2 after saying why.
int openJobFor(const CaptureOptions& options, CaptureJob* job) {
    std::string why;
    if (!readJob(options.jobDir, job, &why))
        return refuseJob(why);
    std::string differs = contradictions(options, *job);
    if (!differs.empty())
        return refuseJob("the command line contradicts the plan in '" + options.jobDir + "': " + differs);
    RendererIdentity self = currentRenderer();
    if (!sameRenderer(self, job->renderer))
        return refuseJob("the plan in '" + options.jobDir + "' was made by another build (" +
                         describeRenderer(job->renderer) + "); this doz-capture is " +
                         describeRenderer(self) + ": use that build, or plan the job again in a new folder");
    return 0;
}
