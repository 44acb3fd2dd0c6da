// The job file fuzz target's body, shared by the libFuzzer program (clang) and the test that replays the
// saved corpus (the normal build).
#pragma once
#include <cstddef>
#include <cstdint>

// The input as a job.json: refused with the file, a line and a reason, or taken as a sound plan that writes
// back as a plan read the same. Nothing may throw.
bool fuzzJobFile(const uint8_t* data, size_t size);
