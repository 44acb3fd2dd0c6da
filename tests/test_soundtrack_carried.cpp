// The soundtrack the executables carry: linked in unchanged, decoded in full and in agreement with mpg123,
// and loud enough on its drums that the beat signals pulse through the whole run.
#include "audio/loudness_envelope.h"
#include "audio/soundtrack.h"
#include "platform/resources.h"
#include "tests/mp3_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

TEST(CarriedSoundtrack, IsTheFileLinkedInUnchanged) {
    std::vector<unsigned char> file = readFileBytes(soundtrackPath());
    ByteSpan linked = findSoundtrackResource();
    ASSERT_EQ(linked.size, file.size());
    ASSERT_EQ(linked.size, 3587970u);
    EXPECT_EQ(std::memcmp(linked.data, file.data(), file.size()), 0);
    // A bare stream: no ID3 tag in front, nothing but frames, 5,723 of them.
    EXPECT_EQ(countMpegFrames(file), 5723);
}

TEST(CarriedSoundtrack, DecodesInFullAndAgreesWithMpg123) {
    StereoFloatTrack track = decodeSoundtrack();
    ASSERT_EQ(track.frames, 6592896);

    std::vector<float> reference = decodeWithMpg123(soundtrackPath());
    ASSERT_EQ(reference.size(), size_t(track.frames) * 2);
    double largest = 0;
    for (size_t i = 0; i < reference.size(); ++i)
        largest = std::fmax(largest, std::fabs(double(track.samples[i]) - reference[i]) * 32768.0);
    RecordProperty("largest_difference_lsb", std::to_string(largest));
    std::printf("largest difference from mpg123: %.3f LSB\n", largest);
    EXPECT_LT(largest, 4.0);

    convertToPcm16(track);
    EXPECT_EQ(pcmTrack.frames, 6592896);
}

TEST(CarriedSoundtrack, EnvelopeHas3219BlocksWithTheLoudestAtOne) {
    buildLoudnessEnvelope(decodeSoundtrack());
    ASSERT_EQ(loudnessEnvelope.blockCount, 3219);
    float loudest = 0;
    for (int b = 0; b < loudnessEnvelope.blockCount; ++b)
        loudest = std::fmax(loudest, loudnessEnvelope.values[b]);
    EXPECT_EQ(loudest, 1.0f);
}

TEST(CarriedSoundtrack, DrumsMakeOnsetsInEveryBarFromTheDropToTheEnd) {
    buildLoudnessEnvelope(decodeSoundtrack());
    // At 60 frames per second, one reading per frame; 120 BPM, so a bar is 2 s.
    std::vector<int> onsetsPerBar(75, 0);
    for (int frame = 0; frame <= 124 * 60; ++frame) {
        double t = frame / 60.0;
        int before = beatOnsetState.onsetCount;
        nextBeatHalf(beatAt(t));
        if (beatOnsetState.onsetCount != before)
            onsetsPerBar[size_t(t / 2.0)] += 1;
    }
    int total = 0;
    for (int bar = 20; bar < 62; ++bar) {
        EXPECT_GE(onsetsPerBar[size_t(bar)], 1) << "bar " << bar << " from " << bar * 2 << " s";
        total += onsetsPerBar[size_t(bar)];
    }
    RecordProperty("onsets_40_to_124", total);
    std::printf("onsets from 40 to 124 s at 60 fps: %d\n", total);
}
