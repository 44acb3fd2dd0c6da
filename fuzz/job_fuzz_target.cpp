// The job file fuzz target: readJobText on any bytes, and the invariants of what it takes or refuses.
#include "fuzz/job_fuzz_target.h"

#include "capture/capture_job.h"

#include <cmath>
#include <exception>
#include <string>

namespace {

const char* const PATH = "fuzz/job.json";

bool refusedWell(const std::string& why) {
    // "'fuzz/job.json' is not a usable plan: line N: ..." or the parser's "parse error at line N, ...".
    const std::string head = std::string("'") + PATH + "' is not a usable plan: ";
    if (why.rfind(head, 0) != 0)
        return false;
    const std::string reason = why.substr(head.size());
    const size_t digits = reason.rfind("line ", 0) == 0                  ? 5
                          : reason.rfind("parse error at line ", 0) == 0 ? 20
                                                                         : 0;
    return digits != 0 && digits < reason.size() && reason[digits] >= '1' && reason[digits] <= '9';
}

bool planSound(const CaptureJob& job) {
    const CaptureOptions& o = job.options;
    if (o.width < 2 || o.height < 2 || o.width > MAX_CAPTURE_SIDE || o.height > MAX_CAPTURE_SIDE ||
        !(o.fps > 0.0 && o.fps <= MAX_CAPTURE_FPS) || !(o.from >= 0.0 && o.from < o.to && o.to <= END_TIME) ||
        !std::isfinite(o.scale) || o.supersample < 1 || o.supersample > MAX_SUPERSAMPLE || o.output.empty() ||
        job.frames != videoFrameCount(o) || job.chunks.empty() ||
        static_cast<int>(job.chunks.size()) != o.chunks)
        return false;
    int next = 0;
    for (const ChunkRange& chunk : job.chunks) {
        if (chunk.first != next || chunk.count < 1)
            return false;
        next += chunk.count;
    }
    return next == job.frames;
}

} // namespace

bool fuzzJobFile(const uint8_t* data, size_t size) {
    try {
        CaptureJob job;
        std::string why;
        if (!readJobText(PATH, std::string(reinterpret_cast<const char*>(data), size), &job, &why))
            return refusedWell(why);
        if (!planSound(job))
            return false;
        // What was taken is written as a plan that reads back as the same plan.
        const std::string text = jobJson(job);
        CaptureJob again;
        return readJobText(PATH, text, &again, &why) && jobJson(again) == text;
    } catch (const std::exception&) {
        return false;
    }
}
