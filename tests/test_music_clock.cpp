// The music clock over a scripted sound device (the headless one, whose position the test sets): wraps of
// the looping buffer, glitches, devices that keep counting or stall, the silent second, the tick count.
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "platform/headless/headless.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

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

TEST(MusicClock, StepBackIsJitterOrAGlitchUnlessItCrossesTheEndOfTheTrack) {
    startWithTrackOf(CARRIED_FRAMES);
    EXPECT_EQ(readAt(441000), 10.0);
    // Jitter: the time steps back with the device and is not clamped.
    EXPECT_EQ(readAt(441000 - 22), (441000 - 22) / 44100.0);
    EXPECT_EQ(readAt(441000), 10.0);
    // A glitch far from the end of the track: the time holds, then goes on with the device.
    EXPECT_EQ(readAt(441000 - 23), 10.0);
    EXPECT_DOUBLE_EQ(readAt(441000 - 23 + 4410), 10.1);
    EXPECT_DOUBLE_EQ(readAt(44100), 10.1) << "a device that starts over mid-track is no wrap either";
    EXPECT_NEAR(readAt(88200), 11.1, 1e-9);
    EXPECT_LT(musicClock.loopOffset, 10.0) << "no track length was added";

    // Across the end of the track: the last second before it, then the first after it.
    startWithTrackOf(CARRIED_FRAMES);
    readAt(CARRIED_FRAMES - 30000);
    EXPECT_EQ(readAt(14000), (14000 + CARRIED_FRAMES) / 44100.0);
    EXPECT_EQ(musicClock.loopOffset, CARRIED_FRAMES / 44100.0);
    // A glitch in the last second of the track is no wrap.
    startWithTrackOf(CARRIED_FRAMES);
    EXPECT_EQ(readAt(CARRIED_FRAMES - 100), (CARRIED_FRAMES - 100) / 44100.0);
    EXPECT_EQ(readAt(CARRIED_FRAMES - 200), (CARRIED_FRAMES - 100) / 44100.0);
    // Nor is a step from too far before the end to just after it.
    startWithTrackOf(CARRIED_FRAMES);
    readAt(CARRIED_FRAMES - 30000);
    EXPECT_EQ(readAt(20000), (CARRIED_FRAMES - 30000) / 44100.0);
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
    // A slow frame that takes most of the second still sees its wrap.
    readAt(30000);
    EXPECT_EQ(readAt(25000), 126.0 + 25000 / 44100.0);
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

TEST(MusicClock, DeviceThatStopsReportingHandsOverToTheTickCountFromTheLastMusicTime) {
    setHeadlessTickCount(1000);
    startWithTrackOf(CARRIED_FRAMES);
    setHeadlessTickCount(3000);
    EXPECT_EQ(readAt(88200), 2.0);
    setHeadlessSoundAvailable(false);
    setHeadlessTickCount(3500);
    EXPECT_EQ(readMusicTime(), 2.0) << "no jump to the ticks since playback started";
    setHeadlessTickCount(4000);
    EXPECT_EQ(readMusicTime(), 2.5);
    // Once on the tick count, the clock stays there.
    setHeadlessSoundAvailable(true);
    EXPECT_EQ(readAt(0), 2.5);
}

TEST(MusicClock, ReanchoredClockGoesOnFromTheGivenTimeWithTheDeviceOrTheTicks) {
    setHeadlessTickCount(0);
    startWithTrackOf(CARRIED_FRAMES);
    EXPECT_EQ(readAt(441000), 10.0);
    setHeadlessSoundPosition(88200); // the device was moved to 2 s
    reanchorMusicClock(50.0);
    EXPECT_DOUBLE_EQ(readAt(88200 + 4410), 50.1);
    EXPECT_DOUBLE_EQ(readAt(88200 + 44100), 51.0);
    // A reanchored device gets the start's grace before it counts as stalled.
    setHeadlessTickCount(4000);
    reanchorMusicClock(20.0);
    setHeadlessTickCount(8999);
    EXPECT_DOUBLE_EQ(readAt(88200 + 44100), 20.0);
    EXPECT_FALSE(musicClock.useTicks);

    setHeadlessSoundAvailable(false);
    setHeadlessTickCount(10000);
    EXPECT_DOUBLE_EQ(readMusicTime(), 20.0);
    reanchorMusicClock(3.0);
    setHeadlessTickCount(10500);
    EXPECT_EQ(readMusicTime(), 3.5);
    EXPECT_EQ(readMusicTime(), 3.5);
}

// Whole runs of 124 s against scripted device faults: the device position and the tick count follow a
// simulated wall clock, read twice per 60 Hz frame as the frame loop does. Each run must end after 124 s of
// music at the wall time that the fault leaves, and the time must never jump: no step between two readings
// is larger than the device's own progress (or the tick count's, once it has taken over) between them.
namespace {

struct DeviceFault {
    const char* name;
    int32_t trackFrames;
    double rate; // device seconds per wall second
    // The device's position at a wall time; false when it has none.
    bool (*position)(double wall, int32_t trackFrames, uint32_t* frames);
    double endWall; // wall time at which the run should end
};

uint32_t framesAt(double seconds) {
    return static_cast<uint32_t>(seconds * 44100.0);
}

bool noDevice(double, int32_t, uint32_t*) {
    return false;
}
bool frozenFrom30s(double wall, int32_t, uint32_t* frames) {
    *frames = framesAt(wall < 30.0 ? wall : 30.0);
    return true;
}
bool goneAt30s(double wall, int32_t, uint32_t* frames) {
    *frames = framesAt(wall);
    return wall < 30.0;
}
bool stepsBack30SamplesAt60s(double wall, int32_t, uint32_t* frames) {
    *frames = framesAt(wall) - (wall >= 60.0 ? 30 : 0);
    return true;
}
bool fourTimesFast(double wall, int32_t, uint32_t* frames) {
    *frames = framesAt(4.0 * wall);
    return true;
}
bool startsOverAtTheEnd(double wall, int32_t trackFrames, uint32_t* frames) {
    *frames = framesAt(wall) % static_cast<uint32_t>(trackFrames);
    return true;
}
bool countsOnAcrossLoops(double wall, int32_t, uint32_t* frames) {
    *frames = framesAt(wall);
    return true;
}
bool neverStarts(double, int32_t, uint32_t* frames) {
    *frames = 0;
    return true;
}

void PrintTo(const DeviceFault& fault, std::ostream* out) {
    *out << fault.name;
}

class MusicClockUnderFaults : public testing::TestWithParam<DeviceFault> {};

// Wall time is exact to the frame; the tick count has whole milliseconds.
constexpr double FRAME_SECONDS = 1.0 / 60.0;
constexpr double END_MARGIN = 0.05;

} // namespace

TEST_P(MusicClockUnderFaults, RunEndsAfter124sOfMusicWithoutAJump) {
    const DeviceFault& fault = GetParam();
    // The tick count wraps during the run.
    const uint32_t firstTick = 0xFFFFFFFFu - 60000u;
    setHeadlessTickCount(firstTick);
    uint32_t position = 0;
    setHeadlessSoundAvailable(fault.position(0.0, fault.trackFrames, &position));
    setHeadlessSoundPosition(position);
    startWithTrackOf(fault.trackFrames);

    double previousTime = 0.0, previousWall = 0.0, largestStep = 0.0;
    double endWall = -1.0, endTime = 0.0;
    for (int frame = 0; endWall < 0.0 && frame < 200 * 60; ++frame) {
        double wall = frame * FRAME_SECONDS;
        for (int reading = 0; reading < 2; ++reading) {
            setHeadlessTickCount(firstTick + static_cast<uint32_t>(wall * 1000.0));
            setHeadlessSoundAvailable(fault.position(wall, fault.trackFrames, &position));
            setHeadlessSoundPosition(position);
            double time = readMusicTime();
            double step = time - previousTime;
            // Tick readings are whole milliseconds.
            ASSERT_LE(step, fault.rate * (wall - previousWall) + 0.0011)
                << "at " << wall << " s of wall time, music " << previousTime << " -> " << time;
            ASSERT_GE(step, -WRAP_TOLERANCE) << "at " << wall << " s of wall time";
            if (step > largestStep)
                largestStep = step;
            previousTime = time;
            previousWall = wall;
            if (reading == 0 && time > 124.0) {
                endWall = wall;
                endTime = time;
            }
        }
    }
    ASSERT_GE(endWall, 0.0) << "the run never ended";
    EXPECT_LE(endTime, 124.0 + largestStep);
    EXPECT_NEAR(endWall, fault.endWall, END_MARGIN) << "wall time at the end of the run";
}

// The carried track outlasts the run; 100 s and the silent second wrap during it.
INSTANTIATE_TEST_SUITE_P(
    Faults, MusicClockUnderFaults,
    testing::Values(DeviceFault{"NoDevice", CARRIED_FRAMES, 1.0, noDevice, 124.0},
                    // The picture stands still for the stall time, then goes on from there.
                    DeviceFault{"PositionFrozenFrom30s", CARRIED_FRAMES, 1.0, frozenFrom30s,
                                124.0 + STALL_MILLISECONDS / 1000.0},
                    DeviceFault{"DeviceGoneAt30s", CARRIED_FRAMES, 1.0, goneAt30s, 124.0},
                    DeviceFault{"StepBack30SamplesAt60s", CARRIED_FRAMES, 1.0, stepsBack30SamplesAt60s,
                                124.0 + 30 / 44100.0},
                    // The picture follows the sound the viewer hears.
                    DeviceFault{"DeviceFourTimesFast", CARRIED_FRAMES, 4.0, fourTimesFast, 31.0},
                    DeviceFault{"WrapAtTheEndOf100sTrack", 100 * 44100, 1.0, startsOverAtTheEnd, 124.0},
                    DeviceFault{"CountsOnAcrossLoopsOf100sTrack", 100 * 44100, 1.0, countsOnAcrossLoops,
                                124.0},
                    DeviceFault{"SilentSecondWraps", 44100, 1.0, startsOverAtTheEnd, 124.0},
                    DeviceFault{"DeviceNeverStarts", CARRIED_FRAMES, 1.0, neverStarts,
                                124.0 + START_STALL_MILLISECONDS / 1000.0}),
    [](const testing::TestParamInfo<DeviceFault>& info) { return std::string(info.param.name); });
