// A capture job: the plan in JOBDIR/job.json (video options, output, chunk ranges and the renderer that
// must draw them).
#pragma once
#include "capture/capture_options.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The first member of every plan: a file without it is not a plan of this doz-capture.
constexpr const char* JOB_FORMAT = "doz-capture job 1";

struct ChunkRange {
    int first, count; // video frame numbers of the job
};

// What decides the pictures and the sound besides the options: a chunk drawn by another build, another
// scene or another soundtrack would not join seamlessly.
struct RendererIdentity {
    std::string version, commit, stages, soundtrack; // the last two as hashes in hex
};

struct CaptureJob {
    std::string dir;
    CaptureOptions options; // size, fps, from, to, scale, supersample and output
    int frames = 0;
    std::vector<ChunkRange> chunks;
    RendererIdentity renderer;
    std::string tracks; // the hash of the tracks it is drawn with (loadedTracksHash)
};

RendererIdentity currentRenderer();
std::string describeRenderer(const RendererIdentity& renderer);
bool sameRenderer(const RendererIdentity& a, const RendererIdentity& b);

// The job of a plan: `options.chunks` contiguous ranges whose sizes differ by at most one frame, drawn with
// the tracks loaded now.
CaptureJob makeJob(const CaptureOptions& options, const std::string& dir);
// job.json's text; two plans are the same job exactly when their texts are equal.
std::string jobJson(const CaptureJob& job);
// False for text that a plan cannot hold as it is (not UTF-8).
bool isJsonText(const std::string& text);
// Reads and checks JOBDIR/job.json; false, with the reason (the file, the line and what is wrong), when it
// is missing or malformed. Nothing a file can hold makes it throw.
bool readJob(const std::string& dir, CaptureJob* job, std::string* why);
// The same check of a plan's text, read from `path` (named in the reason only).
bool readJobText(const std::string& path, const std::string& text, CaptureJob* job, std::string* why);
// The largest job.json read: a plan of the most chunks is under 5 MB.
constexpr long long MAX_JOB_FILE_BYTES = 16LL << 20;
// Reads the job of --render-chunk or --assemble and holds it to the command line and to this build; false,
// with the reason, when it cannot be used.
bool openJobFor(const CaptureOptions& options, CaptureJob* job, std::string* why);
// The options given on a command line that differ from the plan's, as one line; empty when none do.
std::string contradictions(const CaptureOptions& given, const CaptureJob& job);

// A 64-bit FNV-1a hash, and its 16 hex digits.
uint64_t hashBytes(const void* data, size_t size, uint64_t hash = 0xcbf29ce484222325ULL);
std::string hashHex(uint64_t hash);

// The hash, in hex, of the sync tracks as loaded: every track's keys as its file holds them, in track order,
// and the row rate. Equal hashes draw equal frames.
std::string loadedTracksHash();
