// Placeholder until the SDL audio device lands: no device, so the clock runs from the tick count.
#include "platform/sound_device.h"

bool openLoopingSound(const int16_t*, int32_t) {
    return false;
}
bool readSoundPosition(uint32_t*) {
    return false;
}
