// Loudness envelope, beat lookup and the onset rule.
#include "audio/loudness_envelope.h"

#include <cmath>

LoudnessEnvelope loudnessEnvelope;
BeatOnsetState beatOnsetState = {0.0f, 0};

void buildLoudnessEnvelope(const StereoFloatTrack& track) {
    LoudnessEnvelope& env = loudnessEnvelope;
    int32_t frames = track.frames < MAX_TRACK_FRAMES ? track.frames : MAX_TRACK_FRAMES;
    env.blockCount = frames / ENVELOPE_BLOCK_FRAMES; // a trailing partial block is ignored
    float peak = 0.000001f;
    for (int32_t b = 0; b < env.blockCount; ++b) {
        const float* left = track.samples + static_cast<size_t>(b) * ENVELOPE_BLOCK_FRAMES * 2;
        float sum = 0.0f;
        for (int32_t k = 0; k < ENVELOPE_BLOCK_FRAMES; ++k)
            sum += left[2 * k] * left[2 * k];
        float mean = sum * (1.0f / ENVELOPE_BLOCK_FRAMES);
        float value = static_cast<float>(std::sqrt(static_cast<double>(mean)));
        env.values[b] = value;
        if (value > peak)
            peak = value;
    }
    for (int32_t b = 0; b < env.blockCount; ++b)
        env.values[b] = env.values[b] / peak;
}

float beatAt(double t) {
    const LoudnessEnvelope& env = loudnessEnvelope;
    if (env.blockCount <= 0)
        return 0.0f;
    double position = t * static_cast<double>(SAMPLE_RATE) * (1.0 / ENVELOPE_BLOCK_FRAMES);
    // Clamp in double first: a huge or negative time must not overflow the integer conversion.
    int32_t index = 0;
    if (position >= static_cast<double>(env.blockCount))
        index = env.blockCount - 1;
    else if (position > 0.0)
        index = static_cast<int32_t>(position);
    float value = env.values[index];
    return value * value;
}

float nextBeatHalf(float beat) {
    BeatOnsetState& s = beatOnsetState;
    float threshold = s.previousBeat + ONSET_RISE;
    if (beat > threshold)
        s.onsetCount += 1;
    s.previousBeat = beat;
    return (s.onsetCount % 2) != 0 ? beat : 0.0f;
}
