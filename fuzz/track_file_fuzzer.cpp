// libFuzzer entry: a track file's bytes, as decodeTrackFile reads them.
#include "fuzz/sync_fuzz_targets.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!fuzzTrackFile(data, size))
        std::abort();
    return 0;
}
