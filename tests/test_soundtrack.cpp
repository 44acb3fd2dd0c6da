// Decoding MP3 streams into the stereo float track, and converting that into the 16-bit track: real
// streams made by lame, checked against mpg123, and the shapes the decoder's result can take.
#include "audio/loudness_envelope.h"
#include "audio/soundtrack.h"
#include "tests/mp3_fixtures.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

void expectSilentFallback(const StereoFloatTrack& track) {
    ASSERT_EQ(track.frames, SILENT_FALLBACK_FRAMES);
    ASSERT_NE(track.samples, nullptr);
    for (int i = 0; i < 2 * SILENT_FALLBACK_FRAMES; ++i)
        ASSERT_EQ(track.samples[i], 0.0f) << "sample " << i;
}

// Largest difference between two sample sequences, in 16-bit steps.
double largestDifferenceInLsb(const float* ours, const float* theirs, size_t count) {
    double largest = 0;
    for (size_t i = 0; i < count; ++i)
        largest = std::fmax(largest, std::fabs(double(ours[i]) - double(theirs[i])) * 32768.0);
    return largest;
}

// Bytes the C heap has handed out, large blocks included.
size_t heapInUse() {
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

} // namespace

TEST(Decoding, ReleaseFreesTheDecoderBufferAndTheStereoCopy) {
    for (const char* name : {"stereo", "mono"}) {
        std::vector<unsigned char> bytes = readFileBytes(fixturePath(name));
        size_t before = heapInUse();
        StereoFloatTrack track = decodeSoundtrackBytes(bytes.data(), bytes.size());
        size_t decodedBytes = heapInUse() - before;
        if (decodedBytes == 0)
            GTEST_SKIP() << "this allocator does not report what it holds (sanitizer build)";
        // A mono stream leaves the decoder's buffer and its stereo copy: 3 floats per frame.
        size_t floatsPerFrame = std::string(name) == "mono" ? 3 : 2;
        EXPECT_GE(decodedBytes, size_t(track.frames) * floatsPerFrame * sizeof(float)) << name;
        releaseDecodedSoundtrack(&track);
        EXPECT_EQ(track.samples, nullptr);
        EXPECT_EQ(track.frames, 0);
        EXPECT_LE(heapInUse(), before + 4096) << name << ": all of it is back";
    }
    // The silent fallback is static and stays usable.
    StereoFloatTrack silent = decodeSoundtrackBytes(nullptr, 0);
    releaseDecodedSoundtrack(&silent);
    expectSilentFallback(decodeSoundtrackBytes(nullptr, 0));
}

TEST(Decoding, StereoStreamMatchesAnIndependentDecoder) {
    std::vector<unsigned char> bytes = readFileBytes(fixturePath("stereo"));
    int mpegFrames = countMpegFrames(bytes);
    ASSERT_GT(mpegFrames, 0);
    StereoFloatTrack track = decodeSoundtrackBytes(bytes.data(), bytes.size());
    EXPECT_EQ(track.frames, mpegFrames * 1152);

    std::vector<float> reference = decodeWithMpg123(fixturePath("stereo"));
    ASSERT_EQ(reference.size(), size_t(track.frames) * 2);
    EXPECT_LT(largestDifferenceInLsb(track.samples, reference.data(), reference.size()), 4.0);
    // The two channels stay apart: a 0.5 tone on the left, 0.25 on the right.
    float peakLeft = 0, peakRight = 0;
    for (int i = 0; i < track.frames; ++i) {
        peakLeft = std::fmax(peakLeft, std::fabs(track.samples[2 * i]));
        peakRight = std::fmax(peakRight, std::fabs(track.samples[2 * i + 1]));
    }
    EXPECT_NEAR(peakLeft, 0.5f, 0.03f);
    EXPECT_NEAR(peakRight, 0.25f, 0.03f);
}

TEST(Decoding, MonoStreamBecomesEqualLeftAndRight) {
    std::vector<unsigned char> bytes = readFileBytes(fixturePath("mono"));
    StereoFloatTrack track = decodeSoundtrackBytes(bytes.data(), bytes.size());
    std::vector<float> reference = decodeWithMpg123(fixturePath("mono"));
    ASSERT_EQ(track.frames, countMpegFrames(bytes) * 1152);
    ASSERT_EQ(reference.size(), size_t(track.frames));
    double largest = 0;
    for (int i = 0; i < track.frames; ++i) {
        ASSERT_EQ(track.samples[2 * i], track.samples[2 * i + 1]) << "frame " << i;
        largest =
            std::fmax(largest, std::fabs(double(track.samples[2 * i]) - reference[size_t(i)]) * 32768.0);
    }
    EXPECT_LT(largest, 4.0);

    convertToPcm16(track);
    EXPECT_EQ(pcmTrack.frames, track.frames);
    for (int i = 0; i < pcmTrack.frames; ++i)
        ASSERT_EQ(pcmTrack.samples[2 * i], pcmTrack.samples[2 * i + 1]) << "frame " << i;
}

TEST(Decoding, StreamLongerThan210SecondsIsCut) {
    std::vector<unsigned char> bytes = readFileBytes(fixturePath("long"));
    ASSERT_GT(countMpegFrames(bytes) * 1152, MAX_TRACK_FRAMES);
    StereoFloatTrack track = decodeSoundtrackBytes(bytes.data(), bytes.size());
    EXPECT_EQ(track.frames, MAX_TRACK_FRAMES);
    convertToPcm16(track);
    EXPECT_EQ(pcmTrack.frames, MAX_TRACK_FRAMES);
    // The tone is still there at the very end of what is kept.
    float peak = 0;
    for (int i = MAX_TRACK_FRAMES - 2048; i < MAX_TRACK_FRAMES; ++i)
        peak = std::fmax(peak, std::fabs(track.samples[2 * i]));
    EXPECT_NEAR(peak, 0.3f, 0.05f);
    buildLoudnessEnvelope(track);
    EXPECT_EQ(loudnessEnvelope.blockCount, MAX_ENVELOPE_BLOCKS);
}

TEST(Decoding, StreamCutShortKeepsTheFramesBeforeTheCut) {
    std::vector<unsigned char> bytes = readFileBytes(fixturePath("stereo"));
    StereoFloatTrack whole = decodeSoundtrackBytes(bytes.data(), bytes.size());
    std::vector<float> wholeSamples(whole.samples, whole.samples + 2 * size_t(whole.frames));
    // Cut in the middle of a frame: everything up to the last complete frame is the track.
    StereoFloatTrack part = decodeSoundtrackBytes(bytes.data(), bytes.size() / 2 + 100);
    EXPECT_GT(part.frames, whole.frames / 3);
    EXPECT_LT(part.frames, whole.frames);
    EXPECT_EQ(part.frames % 1152, 0);
    for (int i = 0; i < 2 * part.frames; ++i)
        ASSERT_EQ(part.samples[i], wholeSamples[size_t(i)]) << "sample " << i;
}

TEST(Decoding, NothingToDecodeGivesOneSecondOfSilence) {
    expectSilentFallback(decodeSoundtrackBytes(nullptr, 0));
    const unsigned char one[1] = {0xFF};
    expectSilentFallback(decodeSoundtrackBytes(one, 0));
    expectSilentFallback(decodeSoundtrackBytes(one, 1));

    // Bytes that hold no MPEG frame: text, and noise from a fixed seed.
    std::vector<unsigned char> garbage(100000);
    const char text[] = "doz-engine carries no music in this stream. ";
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<unsigned char>(text[i % (sizeof text - 1)]);
    expectSilentFallback(decodeSoundtrackBytes(garbage.data(), garbage.size()));
    uint32_t state = 12345;
    for (unsigned char& b : garbage) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(state >> 24);
    }
    expectSilentFallback(decodeSoundtrackBytes(garbage.data(), garbage.size()));

    // A lone frame header with nothing behind it.
    std::vector<unsigned char> stereo = readFileBytes(fixturePath("stereo"));
    expectSilentFallback(decodeSoundtrackBytes(stereo.data(), 4));
}

TEST(Decoding, SilentFallbackRunsThroughConversionAndEnvelope) {
    StereoFloatTrack track = decodeSoundtrackBytes(nullptr, 0);
    buildLoudnessEnvelope(track);
    convertToPcm16(track);
    EXPECT_EQ(pcmTrack.frames, 44100);
    for (int i = 0; i < 2 * 44100; ++i)
        ASSERT_EQ(pcmTrack.samples[i], 0);
    ASSERT_EQ(loudnessEnvelope.blockCount, 21);
    for (int b = 0; b < 21; ++b)
        EXPECT_EQ(loudnessEnvelope.values[b], 0.0f);
}

TEST(DecoderResult, StereoIsUsedInPlaceAndAnOddLastSampleDropped) {
    float samples[7] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f};
    StereoFloatTrack track = makeStereoFloatTrack(samples, 7, 2);
    EXPECT_EQ(track.samples, samples);
    EXPECT_EQ(track.frames, 3);
}

TEST(DecoderResult, ChannelCountOfZeroOrLessIsStereo) {
    float samples[8] = {};
    StereoFloatTrack track = makeStereoFloatTrack(samples, 8, 0);
    EXPECT_EQ(track.samples, samples);
    EXPECT_EQ(track.frames, 4);
    track = makeStereoFloatTrack(samples, 8, -1);
    EXPECT_EQ(track.samples, samples);
    EXPECT_EQ(track.frames, 4);
}

TEST(DecoderResult, MonoAndWiderStreamsTakeTheFirstChannel) {
    float mono[3] = {0.25f, -0.5f, 1.5f};
    StereoFloatTrack track = makeStereoFloatTrack(mono, 3, 1);
    ASSERT_EQ(track.frames, 3);
    EXPECT_NE(track.samples, mono);
    const float expectedMono[6] = {0.25f, 0.25f, -0.5f, -0.5f, 1.5f, 1.5f};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(track.samples[i], expectedMono[i]);

    float three[7] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f};
    track = makeStereoFloatTrack(three, 7, 3);
    ASSERT_EQ(track.frames, 2);
    const float expectedThree[4] = {0.1f, 0.1f, 0.4f, 0.4f};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(track.samples[i], expectedThree[i]);
}

TEST(DecoderResult, TooFewSamplesOrNoBufferGiveTheSilentSecond) {
    float samples[2] = {0.5f, 0.5f};
    expectSilentFallback(makeStereoFloatTrack(samples, 1, 2)); // fewer samples than channels
    expectSilentFallback(makeStereoFloatTrack(samples, 0, 2));
    expectSilentFallback(makeStereoFloatTrack(nullptr, 4, 2)); // the decoder lost its buffer
}

TEST(DecoderResult, MoreThan210SecondsOfStereoKeepsExactlyTheMaximum) {
    float samples[2] = {};
    // Only the first 2 x 9,261,000 values would ever be read; the buffer is used in place.
    StereoFloatTrack track = makeStereoFloatTrack(samples, size_t(MAX_TRACK_FRAMES) * 2 + 2, 2);
    EXPECT_EQ(track.frames, MAX_TRACK_FRAMES);
    EXPECT_EQ(track.samples, samples);
}

TEST(Conversion, ClampsScalesBy32767AndTruncates) {
    float samples[] = {1.0f,
                       1.5f,
                       -1.0f,
                       -1.5f,
                       0.5f,
                       -0.5f,
                       0.00003f,
                       -0.00003f,
                       1e30f,
                       -1e30f,
                       0.25f,
                       -0.25f,
                       std::numeric_limits<float>::quiet_NaN(),
                       0.0f};
    const int16_t expected[] = {32767, 32767, -32767, -32767, 16383, -16383, 0,
                                0,     32767, -32767, 8191,   -8191, 0,      0};
    convertToPcm16({samples, 7});
    ASSERT_EQ(pcmTrack.frames, 7);
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(pcmTrack.samples[i], expected[i]) << "sample " << i << " from " << samples[i];
}

TEST(Conversion, StereoStreamAgreesWithTheIndependentDecoderWithinAFewSteps) {
    std::string path = fixturePath("stereo");
    std::vector<unsigned char> bytes = readFileBytes(path);
    StereoFloatTrack track = decodeSoundtrackBytes(bytes.data(), bytes.size());
    convertToPcm16(track);
    ASSERT_EQ(pcmTrack.frames, track.frames);
    std::vector<float> reference = decodeWithMpg123(path);
    ASSERT_EQ(reference.size(), size_t(pcmTrack.frames) * 2);
    int largest = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
        int theirs = static_cast<int>(std::lround(reference[i] * 32767.0));
        largest = std::max(largest, std::abs(pcmTrack.samples[i] - theirs));
    }
    EXPECT_LE(largest, 4);
}
