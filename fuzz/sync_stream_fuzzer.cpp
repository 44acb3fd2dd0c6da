// libFuzzer entry: the sync editor's stream, as feedSyncBytes reads it.
#include "fuzz/sync_fuzz_targets.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!fuzzSyncStream(data, size))
        std::abort();
    return 0;
}
