// The plan of a capture job and the checks of its chunks.
#include "capture/capture_job.h"

#include "app/version.h"
#include "platform/resources.h"
#include "render/shader_sources.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

// Members keep the order they are written in: the plan reads top to bottom as the command line does.
using Json = nlohmann::ordered_json;

static int refuseJob(const std::string& message) {
    std::fprintf(stderr, "doz-capture: %s\n", message.c_str());
    return 2;
}

static const char* const JOB_FORMAT = "doz-capture job 1";

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

std::string jobJson(const CaptureJob& job) {
    const CaptureOptions& o = job.options;
    const RendererIdentity& r = job.renderer;
    Json chunks = Json::array();
    for (const ChunkRange& chunk : job.chunks)
        chunks.push_back(Json::array({chunk.first, chunk.count}));
    Json plan = Json::object();
    plan["format"] = JOB_FORMAT;
    plan["renderer"] = {
        {"version", r.version}, {"commit", r.commit}, {"stages", r.stages}, {"soundtrack", r.soundtrack}};
    plan["size"] = Json::array({o.width, o.height});
    plan["fps"] = o.fps;
    plan["from"] = o.from;
    plan["to"] = o.to;
    plan["scale"] = o.scale;
    plan["supersample"] = o.supersample;
    plan["output"] = o.output;
    plan["frames"] = job.frames;
    plan["chunks"] = std::move(chunks);
    // Text that is not UTF-8 is refused before a plan is made (isJsonText); nothing here is replaced.
    return plan.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool isJsonText(const std::string& text) {
    try {
        (void)Json(text).dump();
        return true;
    } catch (const Json::type_error&) {
        return false;
    }
}

static const Json* member(const Json& object, const char* name) {
    if (!object.is_object())
        return nullptr;
    auto found = object.find(name);
    return found == object.end() ? nullptr : &*found;
}

static bool readNumber(const Json& plan, const char* name, double* value) {
    const Json* v = member(plan, name);
    if (v == nullptr || !v->is_number())
        return false;
    *value = v->get<double>();
    return true;
}

static bool readInteger(const Json& v, long long low, long long high, int* value) {
    if (!v.is_number())
        return false;
    const double number = v.get<double>();
    if (number != std::floor(number) || number < low || number > high)
        return false;
    *value = static_cast<int>(number);
    return true;
}

static bool readText(const Json& object, const char* name, std::string* value) {
    const Json* v = member(object, name);
    if (v == nullptr || !v->is_string() || v->get_ref<const std::string&>().empty())
        return false;
    *value = v->get<std::string>();
    return true;
}

// Every value in range and the chunks exactly covering the frames, in order.
static bool readPlan(const Json& plan, CaptureJob* job, std::string* why) {
    CaptureOptions& o = job->options;
    std::string format;
    const Json* renderer = member(plan, "renderer");
    const Json* size = member(plan, "size");
    const Json* frames = member(plan, "frames");
    const Json* chunks = member(plan, "chunks");
    const Json* supersample = member(plan, "supersample");
    if (!plan.is_object() || !readText(plan, "format", &format) || format != JOB_FORMAT) {
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
    if (size == nullptr || !size->is_array() || size->size() != 2 ||
        !readInteger((*size)[0], 2, MAX_CAPTURE_SIDE, &o.width) ||
        !readInteger((*size)[1], 2, MAX_CAPTURE_SIDE, &o.height) || o.width % 2 != 0 || o.height % 2 != 0) {
        *why = "\"size\" is not an even [width, height]";
        return false;
    }
    if (!readNumber(plan, "fps", &o.fps) || o.fps <= 0.0 || o.fps > MAX_CAPTURE_FPS ||
        !readNumber(plan, "from", &o.from) || !readNumber(plan, "to", &o.to) || o.from < 0.0 ||
        o.from >= o.to || o.to > END_TIME) {
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
    if (chunks == nullptr || !chunks->is_array() || chunks->empty() ||
        chunks->size() > static_cast<size_t>(MAX_JOB_CHUNKS)) {
        *why = "\"chunks\" is missing or empty";
        return false;
    }
    int next = 0;
    for (const Json& chunk : *chunks) {
        ChunkRange range{0, 0};
        if (!chunk.is_array() || chunk.size() != 2 || !readInteger(chunk[0], 0, job->frames, &range.first) ||
            !readInteger(chunk[1], 1, job->frames, &range.count) || range.first != next) {
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

// The library's message without its own tag: "parse error at line 3, column 12: syntax error ...".
static std::string parseErrorReason(const std::string& what) {
    const size_t tagEnd = what.find("] ");
    return !what.empty() && what[0] == '[' && tagEnd != std::string::npos ? what.substr(tagEnd + 2) : what;
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
    Json plan;
    std::string reason;
    try {
        // Strict JSON: no comments, no trailing commas, no hex or leading zeros, whole surrogate pairs.
        plan = Json::parse(text.str());
    } catch (const Json::parse_error& error) {
        reason = parseErrorReason(error.what());
    }
    if (!reason.empty() || !readPlan(plan, job, &reason)) {
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
