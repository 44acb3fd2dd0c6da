// Music time: the sound device's position in seconds, kept increasing across loops of the buffer, and
// carried on by the tick count when the device stops telling a position or stops moving.
#pragma once
#include <cstdint>

// A step back of up to this (in seconds) between two readings is jitter: the time steps back with it.
constexpr double WRAP_TOLERANCE = 0.0005;
// A larger step back is a wrap of the looping buffer only when the way forward from the previous reading
// through the end of the track to the new one is at most this; any other step back is a glitch of the
// device, over which the music time holds. On a track of at most twice this every such step is a wrap.
constexpr double WRAP_WINDOW = 1.0;
// A position that has not moved for this long while the tick count advances belongs to a lost device.
constexpr uint32_t STALL_MILLISECONDS = 1000;
// ... except before it has moved at all: a sound server may take a few seconds to start a stream.
constexpr uint32_t START_STALL_MILLISECONDS = 5000;

struct MusicClock {
    int32_t trackFrames;
    // Added to the device position: the loops completed, plus what glitches and re-anchoring held back.
    double loopOffset;
    double lastReading; // device position at the previous reading, in seconds
    double lastMusicTime;
    // The stall watch: the latest position seen and the tick count when it last changed.
    uint32_t lastPosition;
    uint32_t lastMoveTick;
    bool positionMoved;
    // Without a live device the clock runs on the tick count from an anchor: anchorTime at anchorTick.
    bool useTicks;
    uint32_t anchorTick;
    double anchorTime;
    // Author mode's pause: the time stands at lastMusicTime and nothing is read, so that a held device
    // (whose position rightly stands still) never counts as a lost one, however long a pass takes.
    bool held;
};

extern MusicClock musicClock;

// Starts the looping playback of pcmTrack and resets the clock.
void startLoopingPlayback();

// A web page's sound tells where it plays for as long as it exists (on the page's timer while its audio
// context does not run): with `follow` set, a position that stands is the sound standing, and the clock
// stands with it instead of handing over to the tick count. Off by default.
void followSoundThroughStalls(bool follow);

// One reading of the clock, in seconds; each call may account for one wrap.
double readMusicTime();

// From the next reading on, music time continues from `musicTime` plus the progress of the device (or of
// the tick count, once the clock runs on it) after this call.
void reanchorMusicClock(double musicTime);

// Holds the time where it is (readings return it, re-anchoring moves it), or lets it go on from there with
// the device's (or the tick count's) progress after this call.
void holdMusicClock(bool held);
