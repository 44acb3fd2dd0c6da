// The music clock over the looping sound device.
#include "audio/music_clock.h"

#include "audio/soundtrack.h"
#include "platform/sound_device.h"
#include "platform/ticks.h"

#include <cmath>

MusicClock musicClock;

void startLoopingPlayback() {
    bool playing = openLoopingSound(pcmTrack.samples, pcmTrack.frames);
    musicClock = {pcmTrack.frames, 0.0, 0.0, !playing, readTickCount()};
}

// One reading at device position `sampleFrames`: a step back beyond the tolerance is one wrap of the loop.
static double advanceMusicClock(MusicClock& clock, uint32_t sampleFrames) {
    double current = sampleFrames / static_cast<double>(SAMPLE_RATE);
    if (clock.lastReading > current + WRAP_TOLERANCE)
        clock.loopOffset += clock.trackFrames / static_cast<double>(SAMPLE_RATE);
    clock.lastReading = current;
    return current + clock.loopOffset;
}

double readMusicTime() {
    MusicClock& clock = musicClock;
    uint32_t position = 0;
    if (!clock.useTicks && !readSoundPosition(&position))
        clock.useTicks = true; // the device stopped telling its position: carry on from the tick count
    if (clock.useTicks)
        return static_cast<uint32_t>(readTickCount() - clock.startTick) / 1000.0;
    return advanceMusicClock(clock, position);
}

void reanchorMusicClock(double musicTime) {
    MusicClock& clock = musicClock;
    uint32_t position = 0;
    if (!clock.useTicks && !readSoundPosition(&position))
        clock.useTicks = true;
    if (clock.useTicks) {
        uint32_t elapsed = static_cast<uint32_t>(std::llround(musicTime * 1000.0));
        clock.startTick = readTickCount() - elapsed;
        return;
    }
    double current = position / static_cast<double>(SAMPLE_RATE);
    clock.lastReading = current; // a restarted device position is no wrap
    clock.loopOffset = musicTime - current;
}
