// The music clock over the looping sound device, and the tick count that takes over from a lost device.
#include "audio/music_clock.h"

#include "audio/soundtrack.h"
#include "platform/debug_output.h"
#include "platform/sound_device.h"
#include "platform/ticks.h"

#include <cmath>
#include <cstdio>

MusicClock musicClock;

static bool followThroughStalls = false;

void followSoundThroughStalls(bool follow) {
    followThroughStalls = follow;
}

static void handOverToTicks(MusicClock& clock, uint32_t now) {
    // No jump: the time goes on from where the device left it.
    clock.useTicks = true;
    clock.anchorTick = now;
    clock.anchorTime = clock.lastMusicTime;
}

static void watchFrom(MusicClock& clock, uint32_t position, uint32_t now) {
    clock.lastPosition = position;
    clock.lastMoveTick = now;
}

void startLoopingPlayback() {
    bool playing = openLoopingSound(pcmTrack.samples, pcmTrack.frames);
    uint32_t now = readTickCount();
    musicClock = {};
    musicClock.trackFrames = pcmTrack.frames;
    watchFrom(musicClock, 0, now);
    if (!playing)
        handOverToTicks(musicClock, now);
}

// Only a reading near the end of the track followed by one near its start can be the buffer starting
// over; the carried track outlasts the run, so a device glitch anywhere else must not add a loop. A track
// too short to have an end apart from its start (the silent second) wraps on every step back, as a frame
// may take most of it.
static bool isLoopWrap(double trackSeconds, double previous, double current) {
    if (trackSeconds <= 2 * WRAP_WINDOW)
        return true;
    return previous <= trackSeconds && (trackSeconds - previous) + current <= WRAP_WINDOW;
}

static double advanceMusicClock(MusicClock& clock, uint32_t sampleFrames) {
    double current = sampleFrames / static_cast<double>(SAMPLE_RATE);
    if (clock.lastReading > current + WRAP_TOLERANCE) {
        double trackSeconds = clock.trackFrames / static_cast<double>(SAMPLE_RATE);
        if (isLoopWrap(trackSeconds, clock.lastReading, current))
            clock.loopOffset += trackSeconds;
        else
            clock.loopOffset += clock.lastReading - current; // hold, then follow the device from here
    }
    clock.lastReading = current;
    return current + clock.loopOffset;
}

// True once the position has stood still for the stall time while the tick count went on.
static bool positionStalled(MusicClock& clock, uint32_t position, uint32_t now) {
    if (position != clock.lastPosition) {
        watchFrom(clock, position, now);
        clock.positionMoved = true;
        return false;
    }
    uint32_t limit = clock.positionMoved ? STALL_MILLISECONDS : START_STALL_MILLISECONDS;
    return static_cast<uint32_t>(now - clock.lastMoveTick) >= limit;
}

double readMusicTime() {
    MusicClock& clock = musicClock;
    if (clock.held)
        return clock.lastMusicTime;
    uint32_t now = readTickCount();
    if (!clock.useTicks) {
        uint32_t position = 0;
        if (readSoundPosition(&position) && (followThroughStalls || !positionStalled(clock, position, now)))
            return clock.lastMusicTime = advanceMusicClock(clock, position);
        handOverToTicks(clock, now); // for good: a device that comes back is not trusted again
        // Said once, so that a run whose picture parts from its sound can tell why.
        char text[160];
        std::snprintf(
            text, sizeof text,
            "doz-engine: the sound device stopped telling where it plays; the music clock runs on the "
            "tick count from %.2f s\n",
            clock.lastMusicTime);
        writeDebugOutput(text);
    }
    return clock.lastMusicTime = clock.anchorTime + static_cast<uint32_t>(now - clock.anchorTick) / 1000.0;
}

void reanchorMusicClock(double musicTime) {
    MusicClock& clock = musicClock;
    clock.lastMusicTime = musicTime;
    if (clock.held)
        return; // anchored when it lets go
    uint32_t now = readTickCount();
    uint32_t position = 0;
    if (!clock.useTicks && readSoundPosition(&position)) {
        clock.lastReading = position / static_cast<double>(SAMPLE_RATE);
        clock.loopOffset = musicTime - clock.lastReading;
        // A device that was just moved may take a moment to play again.
        watchFrom(clock, position, now);
        clock.positionMoved = false;
        return;
    }
    handOverToTicks(clock, now);
}

void holdMusicClock(bool held) {
    MusicClock& clock = musicClock;
    if (held == clock.held)
        return;
    clock.held = held;
    if (!held)
        reanchorMusicClock(clock.lastMusicTime);
}
