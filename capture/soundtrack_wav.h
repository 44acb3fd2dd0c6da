// The soundtrack as the demo plays it, cut to a video's time range, as a 16-bit stereo WAV file.
#pragma once
#include <cstdint>
#include <string>

// Writes `frames` sample frames of the looping PcmTrack from sample frame `first` on; false with the reason,
// also when the track has not been prepared (audio/soundtrack_preparation.h).
bool writeSoundtrackWav(const std::string& path, uint32_t first, uint32_t frames, std::string* why);
