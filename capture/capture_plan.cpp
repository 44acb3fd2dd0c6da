// --plan: the job folder and its job.json, written once; the same plan again is kept, another refused.
#include "capture/capture_job.h"
#include "capture/capture_modes.h"
#include "capture/capture_tracks.h"
#include "capture/output_file.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

static std::string absolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/')
        return path;
    char folder[4096];
    if (getcwd(folder, sizeof folder) == nullptr)
        return path;
    return std::string(folder) + "/" + path;
}

static bool writeWhole(const std::string& target, const std::string& text, std::string* why) {
    PendingOutput out;
    if (!beginOutput(target, false, 0, &out, why))
        return false;
    std::FILE* file = std::fopen(out.temp.c_str(), "wb");
    bool ok = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file != nullptr && std::fclose(file) != 0)
        ok = false;
    if (!ok) {
        *why = describeError("cannot write '" + out.temp + "'");
        discardOutput(&out);
        return false;
    }
    return commitOutput(&out, why);
}

int capturePlan(const CaptureOptions& given) {
    CaptureOptions options = given;
    // The plan names the output wherever the assembly runs from.
    options.output = absolutePath(options.output);
    if (!isJsonText(options.output))
        return reportRefusal("the output '" + options.output +
                             "' is not UTF-8 text, which a plan cannot name");
    const std::string& dir = options.jobDir;
    struct stat info;
    if (stat(dir.c_str(), &info) == 0 && !S_ISDIR(info.st_mode))
        return reportRefusal("'" + dir + "' is not a folder: give a new or existing folder for the job");
    if (stat(dir.c_str(), &info) != 0 && mkdir(dir.c_str(), 0777) != 0)
        return reportFailure(describeError("cannot make the job folder '" + dir + "'"));

    CaptureJob job = makeJob(options, dir);
    const std::string text = jobJson(job), path = dir + "/job.json";
    std::ifstream existing(path, std::ios::binary);
    if (existing) {
        std::ostringstream old;
        old << existing.rdbuf();
        if (old.str() == text) {
            reportNote("'" + path + "' already holds this plan: kept it");
            std::printf("%s\n", path.c_str());
            return 0;
        }
        CaptureJob other;
        std::string why;
        if (!readJob(dir, &other, &why))
            return reportRefusal(why + "; refusing to replace it");
        CaptureOptions all = options;
        all.sizeGiven = all.fpsGiven = all.fromGiven = all.toGiven = all.scaleGiven = all.supersampleGiven =
            true;
        std::string differs = contradictions(all, other);
        if (!sameRenderer(other.renderer, job.renderer))
            differs += std::string(differs.empty() ? "" : "; ") + "it was made by another build (" +
                       describeRenderer(other.renderer) + ")";
        if (other.tracks != job.tracks)
            differs += std::string(differs.empty() ? "" : "; ") + "it was made with other tracks (" +
                       other.tracks + ", these are " + job.tracks + ")";
        if (other.options.output != options.output)
            differs +=
                std::string(differs.empty() ? "" : "; ") + "its output is '" + other.options.output + "'";
        if (other.chunks.size() != job.chunks.size())
            differs += std::string(differs.empty() ? "" : "; ") + "it has " +
                       std::to_string(other.chunks.size()) + " chunks";
        if (differs.empty())
            differs = "its options differ (" + std::string("see ") + path + ")";
        return reportRefusal("'" + dir + "' holds another plan: " + differs +
                             ". Use another folder, or remove this one to start over");
    }
    std::string why;
    // The job's own copy of its tracks, so that a chunk can be drawn wherever the folder goes.
    if (!writeLoadedTracks(dir + "/tracks", &why))
        return reportFailure(why);
    if (!writeWhole(path, text, &why))
        return reportFailure(why);
    char summary[200];
    std::snprintf(summary, sizeof summary,
                  "planned %d frames, %dx%d at %g fps from %g s, in %zu chunks of %d to %d frames: ",
                  job.frames, options.width, options.height, options.fps, options.from, job.chunks.size(),
                  job.chunks.front().count, job.chunks.back().count);
    reportNote(summary + path);
    std::printf("%s\n", path.c_str());
    return 0;
}
