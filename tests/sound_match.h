// Checks of sound that this project made against an independent decoder: the carried track as mpg123
// decodes it, and how closely another decode (of a WAV, of an MP4's AAC, of a recording of a live run)
// follows a stretch of it.
#pragma once
#include <string>
#include <vector>

// Interleaved stereo floats at 44,100 Hz, 1.0 = 16-bit full scale (as both decoders give them).
using StereoSamples = std::vector<float>;

// The 32-bit floats a command writes on its stdout (a decoder's raw output).
std::vector<float> readFloatsFromCommand(const std::string& command);

// `file` decoded by mpg123 (an MP3), or by ffmpeg (anything else ffmpeg reads; its first audio stream).
StereoSamples decodeMp3WithMpg123(const std::string& file);
StereoSamples decodeAudioWithFfmpeg(const std::string& file);

// The carried soundtrack decoded by mpg123, once per process.
const StereoSamples& independentSoundtrack();

// The 16-bit samples of a PCM WAV file with the plain 44-byte header that this project writes.
std::vector<short> readWavSamples(const std::string& path, int* sampleRate, int* channels);

struct SoundMatch {
    int lagFrames = 0;        // where `got` lines up best: track frame = firstFrame + lagFrames + index
    double correlation = 0.0; // normalised, at that lag: 1 is the same wave, 0 nothing alike or silence
    double levelDb = 0.0;     // got's level over the track's, over the same frames
    double trackRmsDb =
        -200.0; // the track's own level there, dB of full scale: a quiet stretch proves little
};

// Slides the whole of `got` over `track` around track frame `firstFrame`, up to `maxLag` frames either way
// (where the track reaches), and returns the best line-up. Long searches go coarse first (blocks of 16
// frames), then exact around the coarse peak.
SoundMatch matchSound(const StereoSamples& got, const StereoSamples& track, long firstFrame, int maxLag);
