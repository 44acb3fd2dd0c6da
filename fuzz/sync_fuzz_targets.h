// The fuzz targets' bodies, shared by the libFuzzer programs (clang) and the test that replays the saved
// corpus (the normal build): each takes one input and says whether every invariant held.
#pragma once
#include <cstddef>
#include <cstdint>

// The first byte picks how the rest, an editor's stream, is split; the rest is fed whole and in that split,
// and both must end alike, with a sound table.
bool fuzzSyncStream(const uint8_t* data, size_t size);
// The input as a track file: refused with a reason and no keys, or taken, sound, and written back the same.
bool fuzzTrackFile(const uint8_t* data, size_t size);
