// The SDL sound device, run on SDL's dummy driver (real time, no sound hardware): a position that counts
// the frames played across loops of the track, moves smoothly between callbacks, and never runs ahead.
#include "platform/sound_device.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

std::vector<int16_t> track(4410 * 2, 0); // a tenth of a second

double secondsSince(Uint64 counter) {
    return double(SDL_GetPerformanceCounter() - counter) / double(SDL_GetPerformanceFrequency());
}

} // namespace

TEST(SdlSound, PositionKeepsCountingAcrossLoopsInRealTime) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    Uint64 opened = SDL_GetPerformanceCounter();
    ASSERT_TRUE(openLoopingSound(track.data(), 4410));

    uint32_t previous = 0;
    int changes = 0;
    Uint64 start = SDL_GetPerformanceCounter();
    while (secondsSince(start) < 0.6) {
        uint32_t position = 0;
        ASSERT_TRUE(readSoundPosition(&position));
        ASSERT_GE(position, previous);
        // Never ahead of real time by more than the one buffer the device was handed last.
        ASSERT_LE(position, secondsSince(opened) * 44100.0 + 1024 + 1);
        changes += position != previous;
        previous = position;
        SDL_Delay(3);
    }
    EXPECT_GT(previous, 4410u * 3) << "the position counts on past the end of the track";
    // Between callbacks (about 23 ms apart) the position moves with the clock, not in buffer steps.
    EXPECT_GT(changes, 600 / 23 * 2);
}

TEST(SdlSound, NoDeviceMeansNoPosition) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_FALSE(openLoopingSound(track.data(), 4410));
    uint32_t position = 77;
    EXPECT_FALSE(readSoundPosition(&position));
    EXPECT_EQ(position, 77u);
}

TEST(SdlSound, PauseHoldsThePositionReadableAndResumeGoesOn) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(openLoopingSound(track.data(), 4410));
    uint32_t position = 0;
    Uint64 start = SDL_GetPerformanceCounter();
    while (position < 2048 && secondsSince(start) < 10.0) {
        ASSERT_TRUE(readSoundPosition(&position));
        SDL_Delay(5);
    }
    seekSound(1234); // author mode: only where the next callback reads from
    pauseSound(true);
    uint32_t held = 0;
    SDL_Delay(100);
    ASSERT_TRUE(readSoundPosition(&held)) << "a held device still tells its position";
    SDL_Delay(300);
    uint32_t later = 0;
    ASSERT_TRUE(readSoundPosition(&later));
    // At most the rest of the buffer handed over before the pause, however late the device's thread runs.
    EXPECT_LE(later - held, 1024u);

    pauseSound(false);
    start = SDL_GetPerformanceCounter();
    while (later <= held + 2048 && secondsSince(start) < 10.0) {
        ASSERT_TRUE(readSoundPosition(&later));
        SDL_Delay(5);
    }
    EXPECT_GT(later, held + 2048) << "playing again after the resume";
}

TEST(SdlSound, ASeekDropsWhatTheDeviceHeldAndCountsAgainFromTheNewPlace) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(openLoopingSound(track.data(), 4410));
    uint32_t position = 0;
    for (Uint64 start = SDL_GetPerformanceCounter(); position < 4096 && secondsSince(start) < 10.0;
         SDL_Delay(5))
        ASSERT_TRUE(readSoundPosition(&position));
    // A new device: nothing of the old one's buffers is left to play, and its position starts again.
    Uint64 seeked = SDL_GetPerformanceCounter();
    seekSound(1234);
    ASSERT_TRUE(readSoundPosition(&position));
    EXPECT_LE(position, secondsSince(seeked) * 44100.0 + 1024 + 1);
    for (Uint64 start = SDL_GetPerformanceCounter(); position < 2048 && secondsSince(start) < 10.0;
         SDL_Delay(5))
        ASSERT_TRUE(readSoundPosition(&position));
    EXPECT_GE(position, 2048u) << "playing on after the seek";
    closeLoopingSound();
}
