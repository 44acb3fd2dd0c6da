// The credits font linked into the executable: the TrueType file's bytes, unchanged, in read-only data.
#include "platform/shared/credits_font.h"

// DOZ_CREDITS_FONT_FILE is the font's path, set by the build; the object depends on the file.
asm(".pushsection .rodata.doz_credits_font, \"a\", @progbits\n"
    ".balign 16\n"
    "doz_credits_font_start:\n"
    ".incbin \"" DOZ_CREDITS_FONT_FILE "\"\n"
    "doz_credits_font_end:\n"
    ".popsection\n");

extern "C" const unsigned char doz_credits_font_start[];
extern "C" const unsigned char doz_credits_font_end[];

ByteSpan findCreditsFontResource() {
    return {doz_credits_font_start, static_cast<size_t>(doz_credits_font_end - doz_credits_font_start)};
}
