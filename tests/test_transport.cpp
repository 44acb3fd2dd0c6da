// The author transport over a scripted sound device: seeks that clamp and land on samples, bar and fine
// steps, pause with frame steps, the loop, the wrap at the end, the beat state, and the clock re-anchored at
// each move without drifting from the device afterwards.
#include "app/author_loop.h"
#include "app/input.h"
#include "app/run_state.h"
#include "app/transport.h"
#include "audio/loudness_envelope.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "platform/headless/headless.h"

#include <gtest/gtest.h>

namespace {

constexpr int32_t CARRIED_FRAMES = 6592896;

// The device's position counts on from wherever it was: seeks do not reset it (as SDL's does not).
uint32_t devicePosition = 0;

void playFor(double seconds) {
    devicePosition += static_cast<uint32_t>(seconds * 44100.0 + 0.5);
    setHeadlessSoundPosition(devicePosition);
}

void startAt(double seconds) {
    setHeadlessSoundAvailable(true);
    devicePosition = 3 * 44100 + 17; // the device has played a while before the transport starts
    setHeadlessSoundPosition(devicePosition);
    pcmTrack.frames = CARRIED_FRAMES;
    startLoopingPlayback();
    startTransport(seconds);
    applyTransportMoves(); // the step before the first pass
}

// A key, and the step before the next pass that carries it out on the device.
void press(KeyAction action) {
    ASSERT_TRUE(performTransportAction(action));
    applyTransportMoves();
}

} // namespace

TEST(Transport, SeeksMoveTheSoundAndTheClockFollowsTheDeviceWithoutDrift) {
    startAt(30.0);
    EXPECT_EQ(headlessSoundSeekFrame(), 30 * 44100);
    EXPECT_DOUBLE_EQ(readMusicTime(), 30.0);
    // A minute of readings later the clock is still the device's progress plus the seek's time.
    for (int second = 1; second <= 60; ++second) {
        playFor(1.0);
        ASSERT_DOUBLE_EQ(readMusicTime(), 30.0 + second);
    }
    press(KeyAction::SeekBack); // 90 - 1
    EXPECT_EQ(headlessSoundSeekFrame(), 89 * 44100);
    EXPECT_DOUBLE_EQ(readMusicTime(), 89.0);
    press(KeyAction::FineSeekForward);
    EXPECT_NEAR(readMusicTime(), 89.1, 0.5 / 44100);
    EXPECT_EQ(headlessSoundSeekFrame(), 89 * 44100 + 4410);
    press(KeyAction::FineSeekBack);
    press(KeyAction::FineSeekBack);
    EXPECT_NEAR(readMusicTime(), 88.9, 0.5 / 44100);
    press(KeyAction::BarForward); // one bar of 120 BPM
    EXPECT_NEAR(readMusicTime(), 90.9, 0.5 / 44100);
    press(KeyAction::BarBack);
    press(KeyAction::BarBack);
    EXPECT_NEAR(readMusicTime(), 86.9, 0.5 / 44100);
    playFor(0.5);
    EXPECT_NEAR(readMusicTime(), 87.4, 0.5 / 44100);
    press(KeyAction::SeekToStart);
    EXPECT_EQ(headlessSoundSeekFrame(), 0);
    EXPECT_EQ(readMusicTime(), 0.0);
}

TEST(Transport, DevicePositionRestartingAtASeekIsNoWrap) {
    // winmm: a reset device counts again from 0 once given the track from the new place.
    startAt(0.0);
    playFor(70.0);
    EXPECT_DOUBLE_EQ(readMusicTime(), 70.0);
    // The key reads the time before the seek; the re-anchoring reads the restarted position.
    scriptHeadlessSoundPositions({devicePosition, 0});
    devicePosition = 0;
    press(KeyAction::BarBack);
    EXPECT_DOUBLE_EQ(readMusicTime(), 68.0);
    playFor(1.0);
    EXPECT_DOUBLE_EQ(readMusicTime(), 69.0);
    EXPECT_EQ(musicClock.lastReading, 1.0);
}

TEST(Transport, PauseAndSeeksWhilePausedOnADeviceThatRestartsItsPosition) {
    // winmm: the pause moves the sound to the held time, which resets the device; the frame pass reads the
    // clock right after the key, before the next frame's transport step.
    startAt(0.0);
    playFor(40.0);
    scriptHeadlessSoundPositions({devicePosition, 4410});
    devicePosition = 4410;
    press(KeyAction::TogglePause);
    EXPECT_DOUBLE_EQ(readMusicTime(), 40.0);
    EXPECT_DOUBLE_EQ(readMusicTime(), 40.0);
    scriptHeadlessSoundPositions({4410});
    press(KeyAction::SeekBack);
    EXPECT_DOUBLE_EQ(readMusicTime(), 39.0);
    EXPECT_DOUBLE_EQ(transport.pausedAt, 39.0);
}

TEST(Transport, TimesClampToTheRunAndLandOnSamples) {
    startAt(0.5);
    press(KeyAction::SeekBack);
    EXPECT_EQ(readMusicTime(), 0.0);
    EXPECT_EQ(headlessSoundSeekFrame(), 0);
    seekTo(500.0);
    applyTransportMoves();
    EXPECT_DOUBLE_EQ(readMusicTime(), 124.0);
    EXPECT_EQ(headlessSoundSeekFrame(), 124 * 44100);
    press(KeyAction::BarForward);
    EXPECT_DOUBLE_EQ(readMusicTime(), 124.0);
    seekTo(10.00001); // between two samples: the nearer one
    applyTransportMoves();
    EXPECT_EQ(headlessSoundSeekFrame(), 441000);
    EXPECT_DOUBLE_EQ(readMusicTime(), 10.0);
}

TEST(Transport, PauseHoldsTimeAndSoundFrameStepsMoveAndResumeGoesOnFromTheHeldTime) {
    startAt(20.0);
    playFor(1.25);
    press(KeyAction::TogglePause);
    EXPECT_TRUE(transport.paused);
    EXPECT_TRUE(headlessSoundPaused());
    EXPECT_DOUBLE_EQ(transport.pausedAt, 21.25);
    // What is heard on resume starts at the held picture.
    EXPECT_EQ(headlessSoundSeekFrame(), static_cast<int32_t>(21.25 * 44100));
    // The device may drift on a little after the pause: the held frames keep their time.
    playFor(0.3);
    for (int frame = 0; frame < 3; ++frame) {
        beforeTransportPass();
        ASSERT_DOUBLE_EQ(readMusicTime(), 21.25);
        ASSERT_DOUBLE_EQ(readMusicTime(), 21.25);
    }
    press(KeyAction::FrameForward);
    press(KeyAction::FrameForward);
    EXPECT_NEAR(transportTime(), 21.25 + 2.0 / 60, 0.5 / 44100);
    press(KeyAction::FrameBack);
    EXPECT_NEAR(transportTime(), 21.25 + 1.0 / 60, 0.5 / 44100);
    // A seek while paused stays paused.
    press(KeyAction::SeekForward);
    EXPECT_TRUE(transport.paused);
    EXPECT_TRUE(headlessSoundPaused());
    double held = transportTime();
    EXPECT_NEAR(held, 22.25 + 1.0 / 60, 0.5 / 44100);
    beforeTransportPass();
    EXPECT_DOUBLE_EQ(readMusicTime(), held);

    press(KeyAction::TogglePause);
    EXPECT_FALSE(transport.paused);
    EXPECT_FALSE(headlessSoundPaused());
    EXPECT_DOUBLE_EQ(readMusicTime(), held);
    playFor(2.0);
    EXPECT_NEAR(readMusicTime(), held + 2.0, 1e-9);
    // Frame steps only move a held picture.
    press(KeyAction::FrameForward);
    EXPECT_NEAR(readMusicTime(), held + 2.0, 1e-9);
}

TEST(Transport, FrameStepBackAtZeroStaysAtZero) {
    startAt(0.0);
    press(KeyAction::TogglePause);
    press(KeyAction::FrameBack);
    EXPECT_EQ(transportTime(), 0.0);
}

TEST(Transport, LoopWrapsFromItsEndToItsStart) {
    startAt(10.0);
    press(KeyAction::LoopStart);
    playFor(2.5);
    press(KeyAction::LoopEnd);
    ASSERT_TRUE(loopActive());
    EXPECT_DOUBLE_EQ(transport.loopStart, 10.0);
    EXPECT_DOUBLE_EQ(transport.loopEnd, 12.5);
    press(KeyAction::SeekBack); // 11.5: inside the loop, plays on
    beforeTransportPass();
    EXPECT_DOUBLE_EQ(readMusicTime(), 11.5);
    playFor(0.99);
    EXPECT_NEAR(beforeTransportPass(), 12.49, 1e-9); // the time the pass will draw
    EXPECT_NEAR(readMusicTime(), 12.49, 1e-9);
    playFor(0.01);
    EXPECT_DOUBLE_EQ(beforeTransportPass(), 10.0); // reached the end: back to the start, sound first
    EXPECT_EQ(headlessSoundSeekFrame(), 10 * 44100);
    EXPECT_DOUBLE_EQ(readMusicTime(), 10.0);
    // A seek past the end comes back at the next frame.
    press(KeyAction::BarForward);
    press(KeyAction::BarForward);
    beforeTransportPass();
    EXPECT_DOUBLE_EQ(readMusicTime(), 10.0);
    press(KeyAction::ClearLoop);
    EXPECT_FALSE(loopActive());
    playFor(5.0);
    beforeTransportPass();
    EXPECT_DOUBLE_EQ(readMusicTime(), 15.0);
}

TEST(Transport, LoopEndsAreKeptInOrder) {
    startAt(50.0);
    press(KeyAction::LoopEnd); // an end without a start loops from 0
    EXPECT_TRUE(loopActive());
    EXPECT_EQ(transport.loopStart, 0.0);
    EXPECT_DOUBLE_EQ(transport.loopEnd, 50.0);
    press(KeyAction::SeekForward);
    press(KeyAction::LoopStart); // a start after the end drops the end
    EXPECT_FALSE(loopActive());
    press(KeyAction::SeekBack);
    press(KeyAction::SeekBack);
    press(KeyAction::LoopEnd); // an end before the start is not taken
    EXPECT_FALSE(loopActive());
    press(KeyAction::SeekForward);
    press(KeyAction::SeekForward);
    press(KeyAction::SeekForward);
    press(KeyAction::LoopEnd);
    EXPECT_TRUE(loopActive());
    EXPECT_DOUBLE_EQ(transport.loopStart, 51.0);
    EXPECT_DOUBLE_EQ(transport.loopEnd, 52.0);
}

TEST(Transport, WithoutALoopTheEndWrapsToZeroButEscapeStillEnds) {
    startAt(123.5);
    playFor(0.6);
    EXPECT_EQ(beforeTransportPass(), 0.0);
    EXPECT_EQ(headlessSoundSeekFrame(), 0);
    EXPECT_EQ(readMusicTime(), 0.0);

    // The music passed the end during a pass: the end rule stopped the run, the transport wraps instead.
    seekTo(124.0);
    stopRunning();
    afterTransportPass();
    EXPECT_TRUE(isRunning());
    EXPECT_EQ(readMusicTime(), 0.0);

    RawInputEvent escape;
    escape.type = RawEventType::KeyDown;
    escape.key = KEY_ESCAPE;
    EXPECT_EQ(handleRawInput(escape), InputAction::Consumed);
    afterTransportPass();
    EXPECT_FALSE(isRunning());
}

TEST(Transport, BeatStateStartsAgainOnMovesAndWhileHeld) {
    startAt(40.0);
    beatOnsetState = {0.8f, 5};
    press(KeyAction::SeekForward);
    EXPECT_EQ(beatOnsetState.onsetCount, 0);
    EXPECT_EQ(beatOnsetState.previousBeat, 0.0f);
    beatOnsetState = {0.8f, 5};
    playFor(1.0);
    beforeTransportPass(); // playing on: the state carries over from frame to frame
    EXPECT_EQ(beatOnsetState.onsetCount, 5);
    press(KeyAction::TogglePause);
    beatOnsetState = {0.8f, 5};
    beforeTransportPass();
    EXPECT_EQ(beatOnsetState.onsetCount, 0);
    beatOnsetState = {0.8f, 5};
    press(KeyAction::TogglePause); // the first frame after the resume too
    EXPECT_EQ(beatOnsetState.onsetCount, 0);
}

TEST(Transport, WithoutADeviceTheTickCountIsAnchoredAndHeld) {
    setHeadlessSoundAvailable(false);
    setHeadlessTickCount(5000);
    pcmTrack.frames = CARRIED_FRAMES;
    startLoopingPlayback();
    startTransport(30.0);
    applyTransportMoves();
    EXPECT_DOUBLE_EQ(readMusicTime(), 30.0);
    setHeadlessTickCount(5500);
    EXPECT_DOUBLE_EQ(readMusicTime(), 30.5);
    press(KeyAction::TogglePause);
    setHeadlessTickCount(9000);
    beforeTransportPass();
    EXPECT_DOUBLE_EQ(readMusicTime(), 30.5);
    press(KeyAction::TogglePause);
    setHeadlessTickCount(9250);
    EXPECT_DOUBLE_EQ(readMusicTime(), 30.75);
}

TEST(Transport, HeldSeekKeysOfOneMessageStepMoveTheDeviceOnce) {
    startAt(30.0);
    int seeks = headlessSoundSeekCount();
    // A held key repeats faster than slow frames come: five moves in the messages of one pass.
    for (int repeat = 0; repeat < 4; ++repeat)
        ASSERT_TRUE(performTransportAction(KeyAction::SeekForward));
    ASSERT_TRUE(performTransportAction(KeyAction::FineSeekBack));
    EXPECT_NEAR(transportTime(), 33.9, 0.5 / 44100); // the clock follows each key at once
    EXPECT_EQ(headlessSoundSeekCount(), seeks);
    EXPECT_NEAR(beforeTransportPass(), 33.9, 0.5 / 44100);
    EXPECT_EQ(headlessSoundSeekCount(), seeks + 1);
    EXPECT_EQ(headlessSoundSeekFrame(), 33 * 44100 + 39690);
    // A loop wrap in the same step joins the keys' move.
    press(KeyAction::LoopStart);
    playFor(1.0);
    press(KeyAction::LoopEnd);
    seeks = headlessSoundSeekCount();
    ASSERT_TRUE(performTransportAction(KeyAction::SeekForward)); // past the loop's end
    EXPECT_NEAR(beforeTransportPass(), 33.9, 0.5 / 44100);
    EXPECT_EQ(headlessSoundSeekCount(), seeks + 1);
}

TEST(Transport, AHeldDeviceIsNeverALostOne) {
    // Nothing sounds before the first frame at the asked time, however long the stages compile (6 s).
    setHeadlessSoundAvailable(true);
    setHeadlessTickCount(1000);
    setHeadlessSoundPosition(0);
    pcmTrack.frames = CARRIED_FRAMES;
    startLoopingPlayback();
    startTransport(45.0);
    EXPECT_TRUE(headlessSoundPaused());
    setHeadlessTickCount(7000);
    EXPECT_DOUBLE_EQ(beforeTransportPass(), 45.0);
    EXPECT_EQ(headlessSoundSeekFrame(), 45 * 44100);
    EXPECT_FALSE(headlessSoundPaused());
    // Paused, a pass of ten seconds (a window dragged in the system's modal loop, a compile after R) while
    // the held position stands still; then the device, not the tick count, times the music again.
    devicePosition = 0;
    playFor(1.0);
    press(KeyAction::TogglePause);
    setHeadlessTickCount(17000);
    EXPECT_DOUBLE_EQ(readMusicTime(), 46.0);
    press(KeyAction::TogglePause);
    playFor(2.0);
    setHeadlessTickCount(30000);
    EXPECT_DOUBLE_EQ(readMusicTime(), 48.0);
    EXPECT_FALSE(musicClock.useTicks);
}

namespace {
RawInputEvent keyDown(int key, unsigned modifiers = 0, bool repeat = false) {
    RawInputEvent event;
    event.type = RawEventType::KeyDown;
    event.key = key;
    event.modifiers = modifiers;
    event.repeat = repeat;
    return event;
}
} // namespace

TEST(Transport, AuthorKeysMeanNothingInAReleaseRunAndActInAuthorMode) {
    startAt(60.0);
    for (int key : {int(KEY_SPACE), int(KEY_LEFT), int('R'), int(KEY_F11), int(KEY_BACKSPACE)})
        EXPECT_EQ(handleRawInput(keyDown(key)), InputAction::DefaultHandler);

    // Author mode's own actions: the system's repeats of a toggle do nothing; those of a seek or a frame
    // step scrub.
    setKeyActions(authorKeyModes, handleAuthorKey);
    for (int key : {int(KEY_SPACE), int('B'), int('N'), int(KEY_F11), int(KEY_HOME), int(KEY_BACKSPACE)})
        EXPECT_EQ(handleRawInput(keyDown(key, 0, true)), InputAction::Consumed);
    applyTransportMoves();
    EXPECT_FALSE(transport.paused);
    EXPECT_FALSE(transport.hasLoopStart);
    EXPECT_FALSE(transport.hasLoopEnd);
    EXPECT_DOUBLE_EQ(readMusicTime(), 60.0);
    EXPECT_EQ(handleRawInput(keyDown(KEY_RIGHT, 0, true)), InputAction::Consumed);
    EXPECT_EQ(handleRawInput(keyDown(KEY_LEFT, MODIFIER_SHIFT, true)), InputAction::Consumed);
    applyTransportMoves();
    EXPECT_NEAR(readMusicTime(), 60.9, 0.5 / 44100);
    EXPECT_EQ(handleRawInput(keyDown(KEY_F11)), InputAction::ToggleFullscreen);
    EXPECT_EQ(handleRawInput(keyDown('J')), InputAction::DefaultHandler);
    EXPECT_TRUE(isRunning());
    EXPECT_FALSE(quitRequested());
    resetInput();
}
