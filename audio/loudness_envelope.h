// The soundtrack's loudness per block of 2,048 frames, and the two beat signals derived from it.
#pragma once
#include "audio/soundtrack.h"

constexpr int32_t ENVELOPE_BLOCK_FRAMES = 2048;
constexpr int32_t MAX_ENVELOPE_BLOCKS = MAX_TRACK_FRAMES / ENVELOPE_BLOCK_FRAMES;
constexpr float ONSET_RISE = 0.3f;

struct LoudnessEnvelope {
    float values[MAX_ENVELOPE_BLOCKS];
    int32_t blockCount;
};

struct BeatOnsetState {
    float previousBeat;
    int32_t onsetCount;
};

extern LoudnessEnvelope loudnessEnvelope;
extern BeatOnsetState beatOnsetState;

// RMS of the left channel per block, normalised so that the loudest block is 1.0.
void buildLoudnessEnvelope(const StereoFloatTrack& track);

// iBeat: the squared envelope value of the block holding music time t (no wrap past the end).
float beatAt(double t);

// iBeatHalf: counts rises of more than 0.3 over the previous frame and passes `beat` through while the
// count is odd. Call exactly once per frame.
float nextBeatHalf(float beat);
