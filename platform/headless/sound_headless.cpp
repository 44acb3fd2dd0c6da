// A sound device whose position the caller sets: offline rendering and tests drive music time directly.
#include "platform/headless/headless.h"
#include "platform/sound_device.h"

#include <deque>

static bool available = true;
static bool deviceOpen = false;
static uint32_t position = 0;
static std::deque<uint32_t> scripted;
static int32_t seekFrame = -1;
static int seekCount = 0;
static bool paused = false;

void setHeadlessSoundAvailable(bool value) {
    available = value;
}

void setHeadlessSoundPosition(uint32_t sampleFrames) {
    scripted.clear();
    position = sampleFrames;
}

void scriptHeadlessSoundPositions(const std::vector<uint32_t>& positions) {
    scripted.assign(positions.begin(), positions.end());
}

bool openLoopingSound(const int16_t*, int32_t) {
    deviceOpen = available;
    return available;
}

void closeLoopingSound() {
    deviceOpen = false;
}

bool headlessSoundOpen() {
    return deviceOpen;
}

bool readSoundPosition(uint32_t* sampleFrames) {
    if (!available)
        return false;
    if (!scripted.empty()) {
        position = scripted.front();
        scripted.pop_front();
    }
    *sampleFrames = position;
    return true;
}

void seekSound(int32_t frame) {
    if (available) {
        seekFrame = frame;
        seekCount += 1;
    }
}

void pauseSound(bool value) {
    if (available)
        paused = value;
}

int32_t headlessSoundSeekFrame() {
    return seekFrame;
}

int headlessSoundSeekCount() {
    return seekCount;
}

bool headlessSoundPaused() {
    return paused;
}

void resetHeadlessSound() {
    available = true;
    deviceOpen = false;
    position = 0;
    scripted.clear();
    seekFrame = -1;
    paused = false;
}
