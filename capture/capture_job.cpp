// The plan of a capture job and the checks of its chunks.
#include "capture/capture_job.h"

#include "app/version.h"
#include "platform/resources.h"
#include "render/shader_sources.h"
#include "sync/track_files.h"

#include <cstdio>
#include <cstring>

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

std::string loadedTracksHash() {
    static std::vector<unsigned char> bytes(SYNC_MAX_FILE_BYTES);
    uint64_t hash = hashBytes("doz tracks 1", 12);
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        const uint64_t size = encodeTrackFile(track, bytes.data(), bytes.size());
        hash = hashBytes(&size, sizeof size, hash);
        hash = hashBytes(bytes.data(), size, hash);
    }
    hash = hashBytes(&syncSettings.beatsPerMinute, sizeof syncSettings.beatsPerMinute, hash);
    return hashHex(hashBytes(&syncSettings.rowsPerBeat, sizeof syncSettings.rowsPerBeat, hash));
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
    job.tracks = loadedTracksHash();
    return job;
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

bool openJobFor(const CaptureOptions& options, CaptureJob* job, std::string* why) {
    if (!readJob(options.jobDir, job, why))
        return false;
    std::string differs = contradictions(options, *job);
    if (!differs.empty()) {
        *why = "the command line contradicts the plan in '" + options.jobDir + "': " + differs;
        return false;
    }
    RendererIdentity self = currentRenderer();
    if (!sameRenderer(self, job->renderer)) {
        *why = "the plan in '" + options.jobDir + "' was made by another build (" +
               describeRenderer(job->renderer) + "); this doz-capture is " + describeRenderer(self) +
               ": use that build, or plan the job again in a new folder";
        return false;
    }
    return true;
}
