// The soundtrack linked into the executable: the MP3 file's bytes, unchanged, in read-only data.
#include "platform/resources.h"

// DOZ_SOUNDTRACK_FILE is the MP3's path, set by the build; the object depends on the file, so a changed
// soundtrack is assembled in again and the executables relinked.
asm(".pushsection .rodata.doz_soundtrack, \"a\", @progbits\n"
    ".balign 16\n"
    "doz_soundtrack_start:\n"
    ".incbin \"" DOZ_SOUNDTRACK_FILE "\"\n"
    "doz_soundtrack_end:\n"
    ".popsection\n");

extern "C" const unsigned char doz_soundtrack_start[];
extern "C" const unsigned char doz_soundtrack_end[];

ByteSpan findSoundtrackResource() {
    size_t size = static_cast<size_t>(doz_soundtrack_end - doz_soundtrack_start);
    if (size == 0)
        return {nullptr, 0};
    return {doz_soundtrack_start, size};
}
