// The music clock over a scripted sound device (the headless one, whose position the test sets): wraps of
// the looping buffer, devices that keep counting, the silent second, and the tick-count fallback.
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "platform/headless/headless.h"

#include <gtest/gtest.h>

namespace {

constexpr int32_t CARRIED_FRAMES = 6592896;

void startWithTrackOf(int32_t frames) {
    pcmTrack.frames = frames;
    startLoopingPlayback();
}

double readAt(uint32_t sampleFrames) {
    setHeadlessSoundPosition(sampleFrames);
    return readMusicTime();
}

} // namespace

TEST(MusicClock, FirstReadingIsTheDevicePosition) {
    setHeadlessSoundPosition(12345);
    startWithTrackOf(CARRIED_FRAMES);
    EXPECT_EQ(musicClock.trackFrames, CARRIED_FRAMES);
    EXPECT_EQ(musicClock.loopOffset, 0.0);
    EXPECT_EQ(musicClock.lastReading, 0.0);
    EXPECT_EQ(readMusicTime(), 12345 / 44100.0);
    EXPECT_EQ(musicClock.loopOffset, 0.0);
}

TEST(MusicClock, CarriedTrackOutlastsTheRunWithoutAWrap) {
    startWithTrackOf(CARRIED_FRAMES);
    for (uint32_t position = 0; position <= 125u * 44100u; position += 735) // 60 frames per second
        ASSERT_EQ(readAt(position), position / 44100.0);
    EXPECT_EQ(musicClock.loopOffset, 0.0);
}

TEST(MusicClock, StepBackOf22SamplesIsNoWrapButOf23Is) {
    startWithTrackOf(CARRIED_FRAMES);
    EXPECT_EQ(readAt(441000), 10.0);
    // The time steps back with the device and is not clamped.
    EXPECT_EQ(readAt(441000 - 22), (441000 - 22) / 44100.0);
    EXPECT_EQ(musicClock.loopOffset, 0.0);
    EXPECT_EQ(readAt(441000), 10.0);
    double afterWrap = readAt(441000 - 23);
    EXPECT_EQ(musicClock.loopOffset, CARRIED_FRAMES / 44100.0);
    EXPECT_EQ(afterWrap, (441000 - 23) / 44100.0 + CARRIED_FRAMES / 44100.0);
}

TEST(MusicClock, WrapBetweenTheTwoReadingsOfAFrameIsSeenByTheSecond) {
    const int32_t frames = 10 * 44100;
    startWithTrackOf(frames);
    readAt(frames - 2000);
    // One frame: the first reading before the wrap (iTime), the second after it (beat lookup).
    double first = readAt(frames - 100);
    double second = readAt(300);
    EXPECT_EQ(first, (frames - 100) / 44100.0);
    EXPECT_EQ(second, 300 / 44100.0 + 10.0);
    // The next frame's first reading sees no further wrap.
    EXPECT_EQ(readAt(1000), 1000 / 44100.0 + 10.0);
    EXPECT_EQ(musicClock.loopOffset, 10.0);
}

TEST(MusicClock, DeviceThatKeepsCountingAcrossLoopsNeedsNoCompensation) {
    const int32_t frames = 2 * 44100;
    startWithTrackOf(frames);
    for (uint32_t position : {0u, 50000u, 88200u, 100000u, 176400u, 300000u, 5500000u})
        EXPECT_EQ(readAt(position), position / 44100.0);
    EXPECT_EQ(musicClock.loopOffset, 0.0);
}

TEST(MusicClock, SilentSecondAddsExactlyOneSecondPerWrapUntilTheEnd) {
    convertToPcm16(decodeSoundtrackBytes(nullptr, 0));
    ASSERT_EQ(pcmTrack.frames, 44100);
    startLoopingPlayback();
    // A device whose position starts over at each loop, read twice per frame at 60 frames per second.
    double time = 0;
    int wraps = 0;
    uint32_t position = 0;
    while (time <= 124.0) {
        position += 367;
        if (position >= 44100) {
            position -= 44100;
            ++wraps;
        }
        time = readAt(position);
        ASSERT_EQ(time, wraps + position / 44100.0);
    }
    EXPECT_EQ(wraps, 124);
    EXPECT_EQ(musicClock.loopOffset, 124.0);
    // A wrap seen at position 0: the time is the loop offset.
    readAt(44000);
    EXPECT_EQ(readAt(0), 125.0);
    EXPECT_EQ(musicClock.loopOffset, 125.0);
}

TEST(MusicClock, WithoutADeviceTheTickCountSincePlaybackStartRunsTheClock) {
    setHeadlessSoundAvailable(false);
    setHeadlessTickCount(5000);
    startWithTrackOf(CARRIED_FRAMES);
    EXPECT_TRUE(musicClock.useTicks);
    EXPECT_EQ(readMusicTime(), 0.0);
    setHeadlessTickCount(7500);
    EXPECT_EQ(readMusicTime(), 2.5);
    setHeadlessTickCount(5000 + 124001);
    EXPECT_GT(readMusicTime(), 124.0); // the run still ends
}

TEST(MusicClock, TickFallbackSurvivesTheTickCountWrap) {
    setHeadlessSoundAvailable(false);
    setHeadlessTickCount(0xFFFFFF00u);
    startWithTrackOf(CARRIED_FRAMES);
    setHeadlessTickCount(0x00000100u);
    EXPECT_EQ(readMusicTime(), 0.512);
}

TEST(MusicClock, DeviceThatStopsReportingHandsOverToTheTickCount) {
    setHeadlessTickCount(1000);
    startWithTrackOf(CARRIED_FRAMES);
    setHeadlessTickCount(3000);
    EXPECT_EQ(readAt(88200), 2.0);
    setHeadlessSoundAvailable(false);
    setHeadlessTickCount(3500);
    EXPECT_EQ(readMusicTime(), 2.5);
    // Once on the tick count, the clock stays there.
    setHeadlessSoundAvailable(true);
    EXPECT_EQ(readAt(0), 2.5);
}
