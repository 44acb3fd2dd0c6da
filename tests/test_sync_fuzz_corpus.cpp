// The fuzz targets' saved corpora, replayed through the same entry points as the fuzzers, built here with the
// normal compiler: every seed, and every finding saved since, must keep its invariants.
#include "fuzz/job_fuzz_target.h"
#include "fuzz/sync_fuzz_targets.h"
#include "tests/build_paths.h"

#include "capture/capture_job.h"
#include "tests/capture_tool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

static int replay(const char* target, bool (*check)(const uint8_t*, size_t)) {
    int inputs = 0;
    for (const fs::directory_entry& input :
         fs::directory_iterator(fs::path(sourceDir()) / "fuzz/corpus" / target)) {
        std::ifstream file(input.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(check(bytes.data(), bytes.size())) << input.path();
        ++inputs;
    }
    return inputs;
}

TEST(SyncFuzzCorpus, StreamAndTrackFileInputsKeepTheirInvariants) {
    EXPECT_GE(replay("sync_stream", fuzzSyncStream), 13);
    EXPECT_GE(replay("track_file", fuzzTrackFile), 12);
    // A one-key file is taken and written back the same; as a stream (split in twos) it is no greeting.
    const uint8_t oneKey[] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x3F, 1};
    EXPECT_TRUE(fuzzTrackFile(oneKey, sizeof oneKey));
    EXPECT_TRUE(fuzzSyncStream(oneKey, sizeof oneKey));
}

TEST(JobFuzzCorpus, JobFileInputsAreRefusedWithALineOrTakenSound) {
    EXPECT_GE(replay("job_file", fuzzJobFile), 23);
    // One that reads: without it, a target refusing everything would pass.
    ScratchFolder scratch;
    CaptureOptions options;
    options.chunks = 4;
    options.output = "/tmp/demo.mp4";
    const std::string plan = jobJson(makeJob(options, scratch.path));
    CaptureJob job;
    std::string why;
    EXPECT_TRUE(readJobText("job.json", plan, &job, &why)) << why;
    EXPECT_TRUE(fuzzJobFile(reinterpret_cast<const uint8_t*>(plan.data()), plan.size()));
}
