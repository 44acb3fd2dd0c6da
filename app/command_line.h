// The executables' command line. Without options every field keeps the release default.
#pragma once

// The range of a fixed render scale, and the steps that the automatic scale moves in.
constexpr double MIN_RENDER_SCALE = 0.25;
constexpr double MAX_RENDER_SCALE = 1.0;

struct CommandLine {
    double scale = 0.0;     // render scale, a fraction of the client size; 0: none, the window itself
    bool scaleAuto = false; // the scale follows the frame rate
    bool vsync = true;      // a swap interval of 1
};

// Reads the options; on a mistake returns false with a one-line reason in `why`.
bool parseCommandLine(int argc, char** argv, CommandLine* out, char* why, int whySize);
