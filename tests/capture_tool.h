// Helpers for the doz-capture tests: running the real tool, reading what it wrote, and the reference frames
// drawn in-process by the demo's own start-up and frame pass.
#pragma once
#include <string>
#include <vector>

struct ToolRun {
    int status; // exit status, or 128 + signal
    std::string out, err;
};

// Names in the folder, sorted, without "." and "..".
std::vector<std::string> listFolder(const std::string& path);

// A fresh empty folder for one test, removed when the object goes.
struct ScratchFolder {
    ScratchFolder();
    ~ScratchFolder();
    std::string path;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::vector<std::string> list() const { return listFolder(path); }
};

// Starts doz-capture with `args` and extra "NAME=value" environment entries; its stdout and stderr go to
// files in `logs`. A `wrapper` command (such as prlimit and its limits) runs it, when given.
int startCapture(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                 const std::string& logs, const std::vector<std::string>& wrapper = {});
ToolRun waitCapture(int pid, const std::string& logs);
ToolRun runCapture(const std::vector<std::string>& args, const std::vector<std::string>& environment = {},
                   const std::vector<std::string>& wrapper = {});

// Runs a command to completion and returns its stdout (for ffprobe and ffmpeg).
std::string commandOutput(const std::vector<std::string>& argv);
bool commandExists(const char* name);

struct RgbImage {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
};
RgbImage loadPng(const std::string& path);
// The region of `image` at (x, y), `width` x `height`.
RgbImage cropImage(const RgbImage& image, int x, int y, int width, int height);
// Each `block` x `block` square averaged into one pixel (a partial block at the edge is dropped).
RgbImage averageBlocks(const RgbImage& image, int block);
double meanAbsoluteDifference(const RgbImage& a, const RgbImage& b);
// More than a few colours and some spread of luminance: a picture, not a black or flat frame.
bool showsAPicture(const RgbImage& image);

// Prepares the demo on the test's headless context at the given size, as the executables do.
void prepareReferenceDemo(int width, int height);
// Starts a run as the demo starts it: clock from 0, onset rule from its first frame.
void restartReferenceRun();
// Draws the frame whose music time is `seconds` with runFramePass, checks that iTime got exactly that time,
// and reads it back as RGB.
RgbImage drawReferenceFrame(double seconds);
