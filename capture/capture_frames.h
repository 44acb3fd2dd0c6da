// Drawing frames at chosen music times through the demo's own start-up and frame pass, on the headless
// context, and reading them back.
#pragma once
#include "capture/capture_options.h"
#include "capture/frame_sink.h"

#include <cstdint>
#include <string>
#include <vector>

// Samples per pixel along each side (1 to 4) for every frame drawn from now on; set before prepareCapture.
// The scene is drawn at N times the picture size and each N*N block is averaged into one pixel.
void setCaptureSupersample(int samples);

// Opens the EGL context at the given size and prepares the demo on it (credits, scene program, soundtrack,
// envelope). Returns false with the reason when there is no EGL device, the context cannot run the scene, or
// the scene program does not build.
bool prepareCapture(int width, int height, std::string* why);

// False, with the reason, when OpenGL has reported an error (such as running out of memory) since the last
// check: the frames drawn since then cannot be trusted.
bool checkOpenGl(std::string* why);

// Starts a new run: the music clock from 0 and the onset rule from its first frame.
void startCaptureRun();

// The sound position that stands for music time `seconds`.
uint32_t soundPositionAt(double seconds);

// Draws one frame at music time `seconds` with the frame loop's pass. Frames of one run must go forwards in
// time: the clock, like the demo's, takes a step back for a wrap of the looping buffer.
void drawFrameAt(double seconds);

// Moves the run on to music time `seconds` as a drawn frame would (the clock's readings and the onset rule),
// without drawing: how a frame of a video has the beat state that the frames before it left.
void skipFrameAt(double seconds);

// The frame just drawn, top row first, 3 bytes (RGB) per pixel, at the picture size.
void readFrameRgb(std::vector<unsigned char>* rgb);

// A fresh run whose only frame is at `seconds`: a still as the demo would show it on its first frame.
void drawStillAt(double seconds);

// The frames a capture draws, in order: a stretch of a video's frames, drawn as a run of the whole video
// draws them (the frames before the stretch stepped through without drawing), or stills, each the first
// frame of a run of its own; and how the range shows its progress and takes a Ctrl-C.
struct FrameRange {
    std::vector<double> skipped; // music times of the video's frames before the stretch
    std::vector<double> times;
    bool stills = false;
    const char* shownAs = nullptr; // the progress report's name ("video"); nullptr: no report
    const char* unit = "frames";
    bool stoppable = false; // a first Ctrl-C ends the range after the current frame, keeping what is done
};
FrameRange videoFrames(const CaptureOptions& options, int first, int count);
FrameRange stillFrames(std::vector<double> times);

// The one loop of every capture: begins the sink, draws the range's frames through the frame pass into it,
// then finishes it. On the first failure (the sink's, or OpenGL's) the sink is discarded and `why` says why;
// a range stopped by Ctrl-C before its first frame is discarded too, leaving `why` empty. Returns how many
// frames the sink took.
int renderFrameRange(const FrameRange& range, const FrameSink& sink, std::string* why);
