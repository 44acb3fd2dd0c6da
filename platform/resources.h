// Data carried inside the executable.
#pragma once
#include <cstddef>

struct ByteSpan {
    const unsigned char* data;
    size_t size;
};

// The embedded soundtrack, an MPEG audio stream; {nullptr, 0} when the executable carries none.
ByteSpan findSoundtrackResource();
