// Stills of the whole scene as the executable draws them, and their comparison with reference PNGs kept in
// tests/reference (DOZ_UPDATE_REFERENCES=1 rewrites those instead of comparing).
#pragma once
#include <string>
#include <vector>

struct Still {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba; // top row first

    const unsigned char* at(int x, int y) const {
        return rgba.data() + (static_cast<size_t>(y) * width + x) * 4;
    }
};

// Opens the headless context at the given size, builds the credits texture and the scene program; fails the
// test fatally when the context cannot be made.
void openSceneForStills(int width, int height);
// Draws one frame through the frame loop with the sound device at `seconds` of music.
Still renderSceneAt(double seconds);

// Compares with tests/reference/<name>.png within a tolerance for rasteriser differences, or rewrites the
// reference when DOZ_UPDATE_REFERENCES is set. The frame is also written to the build tree for inspection.
void expectMatchesReference(const Still& still, const std::string& name);

// Fraction of the pixels in the rectangle [x0, x1) x [y0, y1), given as fractions of the picture, that pass.
template <typename Test>
double fractionWhere(const Still& s, double x0, double y0, double x1, double y1, Test test) {
    int count = 0, passed = 0;
    for (int y = static_cast<int>(y0 * s.height); y < static_cast<int>(y1 * s.height); ++y)
        for (int x = static_cast<int>(x0 * s.width); x < static_cast<int>(x1 * s.width); ++x) {
            const unsigned char* p = s.at(x, y);
            ++count;
            passed += test(p[0], p[1], p[2]) ? 1 : 0;
        }
    return count > 0 ? static_cast<double>(passed) / count : 0.;
}
