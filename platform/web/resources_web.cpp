// The soundtrack inside the WebAssembly module: the MP3 file's bytes, unchanged, in its data segment.
#include "platform/resources.h"

// DOZ_SOUNDTRACK_FILE is the MP3's path, set by the build, which also makes the object depend on it.
asm(".section .rodata.doz_soundtrack,\"\",@\n"
    ".p2align 4\n"
    "doz_soundtrack_start:\n"
    ".incbin \"" DOZ_SOUNDTRACK_FILE "\"\n"
    "doz_soundtrack_end:\n"
    ".size doz_soundtrack_start, doz_soundtrack_end - doz_soundtrack_start\n"
    ".size doz_soundtrack_end, 0\n");

extern "C" const unsigned char doz_soundtrack_start[];
extern "C" const unsigned char doz_soundtrack_end[];

ByteSpan findSoundtrackResource() {
    size_t size = static_cast<size_t>(doz_soundtrack_end - doz_soundtrack_start);
    if (size == 0)
        return {nullptr, 0};
    return {doz_soundtrack_start, size};
}
