// Test helpers for the soundtrack: the MP3 fixtures made at build time, the carried soundtrack file, and
// an independent decoder (mpg123) to compare ours with.
#pragma once
#include <string>
#include <vector>

// Path of a fixture made by tests/CMakeLists.txt ("stereo", "mono", "long").
std::string fixturePath(const char* name);
// The soundtrack file the executables carry.
std::string soundtrackPath();

std::vector<unsigned char> readFileBytes(const std::string& path);

// Number of MPEG-1 Layer III frames in a bare stream (no tags), walking the frame headers; -1 when the
// bytes are not such a stream.
int countMpegFrames(const std::vector<unsigned char>& bytes);

// Decodes `path` with mpg123 into interleaved 32-bit floats in the file's own channel count.
std::vector<float> decodeWithMpg123(const std::string& path);
