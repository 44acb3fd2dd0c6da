// The picture budget a faster stage is held to against the straight stage: the share of pixels with a
// channel more than a few levels off.
#pragma once
#include <vector>

// A pixel differs when one of its colour channels is more than this many levels off; at most this share may.
constexpr int DIFFERENT_LEVELS = 2;
constexpr double DIFFERENT_SHARE = .01;

struct PictureDifference {
    double share; // of the pixels, beyond DIFFERENT_LEVELS
    int worst;    // levels, the largest channel difference
};

// Two RGBA8 pictures of the same size.
PictureDifference comparePictures(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b);
