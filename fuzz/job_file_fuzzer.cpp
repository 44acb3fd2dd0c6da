// libFuzzer entry: a capture job's job.json, as readJobText reads it.
#include "fuzz/job_fuzz_target.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!fuzzJobFile(data, size))
        std::abort();
    return 0;
}
