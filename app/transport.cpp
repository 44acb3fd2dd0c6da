// The transport's rules: every move of the time goes to the sound device first, then the music clock is
// re-anchored at the new time, and the beat state starts again as on a run's first frame.
#include "app/transport.h"

#include "app/frame_loop.h"
#include "app/run_state.h"
#include "audio/loudness_envelope.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "platform/sound_device.h"

#include <cmath>

Transport transport = {false, 0.0, false, false, 0.0, 0.0};

// Times are whole samples, so a held frame shows exactly the time a capture at that sample shows.
static double toSample(double seconds) {
    if (seconds < 0.0)
        seconds = 0.0;
    if (seconds > END_TIME)
        seconds = END_TIME;
    return static_cast<double>(std::llround(seconds * SAMPLE_RATE)) / SAMPLE_RATE;
}

static void moveSoundTo(double seconds) {
    if (pcmTrack.frames <= 0)
        return;
    long long frame = std::llround(seconds * SAMPLE_RATE) % pcmTrack.frames;
    seekSound(static_cast<int32_t>(frame));
}

static void resetBeatState() {
    beatOnsetState = {0.0f, 0};
}

void startTransport(double seconds) {
    transport = {false, 0.0, false, false, 0.0, 0.0};
    seekTo(seconds);
}

double transportTime() {
    return transport.paused ? transport.pausedAt : readMusicTime();
}

void seekTo(double seconds) {
    double time = toSample(seconds);
    moveSoundTo(time);
    if (transport.paused)
        transport.pausedAt = time;
    // Also while paused: a device whose position restarted on the seek must not read as a wrap.
    reanchorMusicClock(time);
    resetBeatState();
}

void seekBy(double seconds) {
    seekTo(transportTime() + seconds);
}

void togglePause() {
    if (transport.paused) {
        transport.paused = false;
        pauseSound(false);
        reanchorMusicClock(transport.pausedAt);
    } else {
        double time = toSample(readMusicTime());
        pauseSound(true);
        transport.paused = true;
        transport.pausedAt = time;
        // What is heard on resume starts at the held picture's time, not where the device stopped.
        moveSoundTo(time);
        reanchorMusicClock(time);
    }
    resetBeatState();
}

void stepFrame(int direction) {
    if (transport.paused)
        seekTo(transport.pausedAt + direction * FRAME_STEP);
}

void markLoopStart() {
    transport.loopStart = toSample(transportTime());
    transport.hasLoopStart = true;
    if (transport.hasLoopEnd && transport.loopEnd <= transport.loopStart)
        transport.hasLoopEnd = false;
}

void markLoopEnd() {
    double time = toSample(transportTime());
    if (!transport.hasLoopStart) {
        transport.hasLoopStart = true;
        transport.loopStart = 0.0;
    }
    if (time > transport.loopStart) {
        transport.loopEnd = time;
        transport.hasLoopEnd = true;
    }
}

void clearLoop() {
    transport.hasLoopStart = false;
    transport.hasLoopEnd = false;
}

bool loopActive() {
    return transport.hasLoopStart && transport.hasLoopEnd && transport.loopEnd > transport.loopStart;
}

bool handleTransportKey(InputEvent event) {
    switch (event) {
    case InputEvent::KeySpace:
        togglePause();
        return true;
    case InputEvent::KeyLeft:
        seekBy(-SEEK_STEP);
        return true;
    case InputEvent::KeyRight:
        seekBy(SEEK_STEP);
        return true;
    case InputEvent::KeyShiftLeft:
        seekBy(-FINE_SEEK_STEP);
        return true;
    case InputEvent::KeyShiftRight:
        seekBy(FINE_SEEK_STEP);
        return true;
    case InputEvent::KeyPageUp:
        seekBy(-BAR_SECONDS);
        return true;
    case InputEvent::KeyPageDown:
        seekBy(BAR_SECONDS);
        return true;
    case InputEvent::KeyHome:
        seekTo(0.0);
        return true;
    case InputEvent::KeyComma:
        stepFrame(-1);
        return true;
    case InputEvent::KeyPeriod:
        stepFrame(+1);
        return true;
    case InputEvent::KeyB:
        markLoopStart();
        return true;
    case InputEvent::KeyN:
        markLoopEnd();
        return true;
    case InputEvent::KeyBackspace:
        clearLoop();
        return true;
    default:
        return false;
    }
}

double beforeTransportPass() {
    if (transport.paused) {
        // The device stands still; anchoring every held frame also holds a clock that runs on ticks.
        reanchorMusicClock(transport.pausedAt);
        resetBeatState();
        return transport.pausedAt;
    }
    double time = readMusicTime();
    if (loopActive() && time >= transport.loopEnd)
        time = transport.loopStart;
    else if (time > END_TIME)
        time = 0.0;
    else
        return time;
    seekTo(time);
    return time;
}

void afterTransportPass() {
    if (isRunning() || quitRequested())
        return;
    // Only the end rule stopped the run: the music passed END_TIME during the pass.
    startRunning();
    seekTo(loopActive() ? transport.loopStart : 0.0);
}
