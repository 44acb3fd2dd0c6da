// The transport's rules: every move of the time goes to the sound device first, then the music clock is
// re-anchored at the new time, and the beat state starts again as on a run's first frame.
#include "app/transport.h"

#include "app/input.h"
#include "app/run_state.h"
#include "audio/loudness_envelope.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "platform/sound_device.h"

#include <cmath>

Transport transport;

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
    transport = Transport();
    pauseSound(true);
    holdMusicClock(true);
    transport.soundReleaseDue = true;
    seekTo(seconds);
}

double transportTime() {
    return transport.paused ? transport.pausedAt : readMusicTime();
}

void seekTo(double seconds) {
    double time = toSample(seconds);
    if (transport.paused)
        transport.pausedAt = time;
    reanchorMusicClock(time);
    transport.soundMoveDue = true;
    resetBeatState();
}

void applyTransportMoves() {
    if (transport.soundMoveDue) {
        transport.soundMoveDue = false;
        // Where the clock is now: the last seek's time, plus what the device played since (while playing).
        double time = transport.paused ? transport.pausedAt : toSample(readMusicTime());
        moveSoundTo(time);
        // Also while paused: a device whose position restarted on the move must not read as a wrap.
        reanchorMusicClock(time);
    }
    if (transport.soundReleaseDue && !transport.paused) {
        transport.soundReleaseDue = false;
        pauseSound(false);
        holdMusicClock(false);
    }
}

void seekBy(double seconds) {
    seekTo(transportTime() + seconds);
}

void togglePause() {
    if (transport.paused) {
        transport.paused = false;
        transport.soundReleaseDue = true; // after the sound has moved to the held time, if it must
    } else {
        double time = toSample(readMusicTime());
        // Silence at once; a pause is not a stalled device, however long the next pass takes.
        pauseSound(true);
        holdMusicClock(true);
        transport.paused = true;
        transport.pausedAt = time;
        transport.soundReleaseDue = false;
        // What is heard on resume starts at the held picture's time, not where the device stopped.
        reanchorMusicClock(time);
        transport.soundMoveDue = true;
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

bool performTransportAction(KeyAction action) {
    switch (action) {
    case KeyAction::TogglePause:
        togglePause();
        return true;
    case KeyAction::SeekBack:
        seekBy(-SEEK_STEP);
        return true;
    case KeyAction::SeekForward:
        seekBy(SEEK_STEP);
        return true;
    case KeyAction::FineSeekBack:
        seekBy(-FINE_SEEK_STEP);
        return true;
    case KeyAction::FineSeekForward:
        seekBy(FINE_SEEK_STEP);
        return true;
    case KeyAction::BarBack:
        seekBy(-BAR_SECONDS);
        return true;
    case KeyAction::BarForward:
        seekBy(BAR_SECONDS);
        return true;
    case KeyAction::SeekToStart:
        seekTo(0.0);
        return true;
    case KeyAction::FrameBack:
        stepFrame(-1);
        return true;
    case KeyAction::FrameForward:
        stepFrame(+1);
        return true;
    case KeyAction::LoopStart:
        markLoopStart();
        return true;
    case KeyAction::LoopEnd:
        markLoopEnd();
        return true;
    case KeyAction::ClearLoop:
        clearLoop();
        return true;
    default:
        return false;
    }
}

double beforeTransportPass() {
    if (!transport.paused) {
        // A wrap joins the moves of the keys: one move of the device either way.
        double time = readMusicTime();
        if (loopActive() && time >= transport.loopEnd)
            seekTo(transport.loopStart);
        else if (time > END_TIME)
            seekTo(0.0);
    }
    applyTransportMoves();
    if (transport.paused) {
        reanchorMusicClock(transport.pausedAt);
        resetBeatState();
        return transport.pausedAt;
    }
    return readMusicTime();
}

void afterTransportPass() {
    if (isRunning() || quitRequested())
        return;
    // Only the end rule stopped the run: the music passed END_TIME during the pass.
    startRunning();
    seekTo(loopActive() ? transport.loopStart : 0.0);
}
