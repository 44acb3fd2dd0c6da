// Placeholder text service: a black bitmap (the signs show no text) until a rasteriser lands.
#include "platform/credits_raster.h"

static unsigned char pixels[CREDITS_WIDTH * CREDITS_HEIGHT * 4];

const unsigned char* drawCreditsBitmap(const char* const*, int) {
    return pixels;
}
void releaseCreditsBitmap() {}
