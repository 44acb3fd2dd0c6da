// The loudness envelope (left-channel RMS per 2,048 frames, normalised), the beat lookup and the onset rule.
#include "audio/loudness_envelope.h"
#include "audio/soundtrack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// A stereo track whose left channel holds, per block, a square wave of the given amplitude (so its RMS
// is that amplitude), plus `extraFrames` frames of full scale after the last block. The right channel
// is louder than anything on the left, to show that it is never read.
std::vector<float> blocksOf(const std::vector<float>& amplitudes, int extraFrames = 0) {
    std::vector<float> samples;
    for (float a : amplitudes)
        for (int k = 0; k < ENVELOPE_BLOCK_FRAMES; ++k) {
            samples.push_back(k % 2 ? a : -a);
            samples.push_back(8.0f);
        }
    for (int k = 0; k < extraFrames; ++k) {
        samples.push_back(1.0f);
        samples.push_back(8.0f);
    }
    return samples;
}

void build(std::vector<float>& samples) {
    buildLoudnessEnvelope({samples.data(), static_cast<int32_t>(samples.size() / 2)});
}

} // namespace

TEST(LoudnessEnvelope, LeftChannelRmsPerBlockOverTheLoudest) {
    // Amplitudes whose squares add up exactly in single precision.
    std::vector<float> samples = blocksOf({0.25f, 0.125f, 0.5f, 0.0f, 0.375f}, 2047);
    build(samples);
    ASSERT_EQ(loudnessEnvelope.blockCount, 5); // the trailing 2,047 frames make no block
    const float expected[5] = {0.5f, 0.25f, 1.0f, 0.0f, 0.75f};
    for (int b = 0; b < 5; ++b)
        EXPECT_EQ(loudnessEnvelope.values[b], expected[b]) << "block " << b;
}

TEST(LoudnessEnvelope, RmsOfAMixedBlock) {
    // Half the block at 0.5, half silent: RMS is 0.5 / sqrt(2); the other block is the loudest.
    std::vector<float> samples = blocksOf({0.0f, 1.0f});
    for (int k = 0; k < ENVELOPE_BLOCK_FRAMES / 2; ++k)
        samples[size_t(2 * k)] = 0.5f;
    build(samples);
    EXPECT_FLOAT_EQ(loudnessEnvelope.values[0], static_cast<float>(std::sqrt(0.125)));
}

TEST(LoudnessEnvelope, ShortTrackGivesNoBlocksAndNoBeat) {
    std::vector<float> samples = blocksOf({}, 2047);
    build(samples);
    EXPECT_EQ(loudnessEnvelope.blockCount, 0);
    for (double t : {0.0, 0.02, 10.0}) {
        float beat = beatAt(t);
        EXPECT_EQ(beat, 0.0f);
        EXPECT_EQ(nextBeatHalf(beat), 0.0f);
    }
    EXPECT_EQ(beatOnsetState.onsetCount, 0);
}

TEST(LoudnessEnvelope, VeryQuietTrackIsMeasuredAgainstTheFloor) {
    // Nothing exceeds 0.000001, so every block is divided by that floor instead of the loudest block.
    std::vector<float> samples = blocksOf({0.0000001f, 0.0000005f});
    build(samples);
    // The sums of squares this small round in single precision: within a few parts in a million.
    EXPECT_NEAR(loudnessEnvelope.values[0], 0.1f, 1e-5);
    EXPECT_NEAR(loudnessEnvelope.values[1], 0.5f, 1e-5);
}

TEST(BeatLookup, StepsPerBlockAndHoldsTheLastBlock) {
    std::vector<float> samples = blocksOf({0.25f, 0.5f, 0.75f, 1.0f});
    build(samples);
    EXPECT_EQ(beatAt(0.0), 0.0625f);
    EXPECT_EQ(beatAt(0.046), 0.0625f); // 0.99 blocks in
    EXPECT_EQ(beatAt(0.0465), 0.25f);  // 1.0013 blocks in
    EXPECT_EQ(beatAt(3 * 2048 / 44100.0 - 1e-9), 0.5625f);
    EXPECT_EQ(beatAt(3 * 2048 / 44100.0 + 1e-9), 1.0f);
    EXPECT_EQ(beatAt(124.0), 1.0f); // past the end: the last block, no wrap to the start
    EXPECT_EQ(beatAt(1e300), 1.0f);
    EXPECT_EQ(beatAt(-0.01), 0.0625f);
    EXPECT_EQ(beatAt(-1e300), 0.0625f);
    EXPECT_EQ(beatAt(std::numeric_limits<double>::quiet_NaN()), 0.0625f);
}

TEST(OnsetRule, CountsRisesOfMoreThanPointThreeAndPassesOddCounts) {
    const float beats[5] = {0.31f, 0.5f, 0.2f, 0.95f, 0.95f};
    const float halves[5] = {0.31f, 0.5f, 0.2f, 0.0f, 0.0f};
    const int counts[5] = {1, 1, 1, 2, 2};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(nextBeatHalf(beats[i]), halves[i]) << "frame " << i + 1;
        EXPECT_EQ(beatOnsetState.onsetCount, counts[i]) << "frame " << i + 1;
        EXPECT_EQ(beatOnsetState.previousBeat, beats[i]);
    }
}

TEST(OnsetRule, ARiseOfExactlyTheThresholdIsNoOnset) {
    EXPECT_EQ(nextBeatHalf(0.3f), 0.0f);
    EXPECT_EQ(beatOnsetState.onsetCount, 0);
    // The next rise is measured from 0.3: 0.6 is not above 0.3 + 0.3 in single precision, 0.61 is.
    EXPECT_EQ(nextBeatHalf(0.3f + 0.3f), 0.0f);
    EXPECT_EQ(nextBeatHalf(0.91f), 0.91f);
    EXPECT_EQ(beatOnsetState.onsetCount, 1);
}

TEST(OnsetRule, FramesReadingOneBlockCountOneOnset) {
    // At 60 fps a block lasts about 2.8 frames: only the frame that enters the loud block is an onset.
    std::vector<float> samples = blocksOf({0.1f, 1.0f, 1.0f, 0.1f, 1.0f});
    build(samples);
    float halves[20];
    for (int frame = 0; frame < 14; ++frame)
        halves[frame] = nextBeatHalf(beatAt(frame / 60.0));
    EXPECT_EQ(beatOnsetState.onsetCount, 2);
    EXPECT_EQ(halves[2], 0.0f);                 // frame 2 (0.033 s) still reads block 0
    EXPECT_EQ(halves[3], 1.0f);                 // frame 3 (0.05 s) enters block 1: first onset, odd
    EXPECT_EQ(halves[8], 1.0f);                 // block 2, same value, no new onset
    EXPECT_EQ(halves[12], 0.0f);                // block 4: second onset, even
    EXPECT_FLOAT_EQ(nextBeatHalf(0.01f), 0.0f); // the count stays even
}
