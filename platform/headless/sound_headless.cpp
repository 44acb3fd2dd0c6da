// A sound device whose position the caller sets: offline rendering and tests drive music time directly.
#include "platform/headless/headless.h"
#include "platform/sound_device.h"

static bool available = true;
static uint32_t position = 0;

void setHeadlessSoundAvailable(bool value) {
    available = value;
}
void setHeadlessSoundPosition(uint32_t sampleFrames) {
    position = sampleFrames;
}

bool openLoopingSound(const int16_t*, int32_t) {
    return available;
}

bool readSoundPosition(uint32_t* sampleFrames) {
    if (!available)
        return false;
    *sampleFrames = position;
    return true;
}
