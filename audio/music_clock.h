// Music time: the sound device's position in seconds, kept increasing across loops of the buffer.
#pragma once
#include <cstdint>

// A step back of more than this (in seconds) between two readings is a wrap of the looping buffer.
constexpr double WRAP_TOLERANCE = 0.0005;

struct MusicClock {
    int32_t trackFrames;
    double loopOffset;
    double lastReading;
    // Without a readable device position the clock runs from the tick count since playback start.
    bool useTicks;
    uint32_t startTick;
};

extern MusicClock musicClock;

// Starts the looping playback of pcmTrack and resets the clock.
void startLoopingPlayback();

// One reading of the clock, in seconds; each call may account for one wrap.
double readMusicTime();

// From the next reading on, music time continues from `musicTime` plus the device's (or the tick count's)
// progress after this call. Used after the sound has been moved or held.
void reanchorMusicClock(double musicTime);
