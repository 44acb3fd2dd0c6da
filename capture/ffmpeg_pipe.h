// The encoder process: ffmpeg reading raw RGB frames on its stdin and writing H.264 + AAC in MP4.
#pragma once
#include <string>
#include <sys/types.h>

// The path of ffmpeg on PATH with an H.264 encoder ("libx264" preferred); empty when there is none, with
// the reason in `why`.
std::string findFfmpeg(std::string* encoder, std::string* why);

struct FfmpegPipe {
    pid_t pid = 0;  // also its process group: a Ctrl-C at the terminal reaches only doz-capture
    int input = -1; // the pipe's end in this process: ffmpeg's stdin, or its stdout for a reader
    bool feeds = true;
};

struct VideoFormat {
    int width, height;
    double fps;
    std::string encoder;
    std::string audioWav; // empty: no audio stream
    std::string output;   // written as MP4 whatever its name
};

bool startFfmpeg(const std::string& ffmpeg, const VideoFormat& format, FfmpegPipe* pipe, std::string* why);
// ffmpeg on PATH, whatever its encoders; empty, with the reason, when there is none.
std::string findFfmpegProgram(std::string* why);
// ffmpeg writing the RGB frames it is sent losslessly (FFV1 in Matroska) to `output`.
bool startLosslessWriter(const std::string& ffmpeg, int width, int height, double fps,
                         const std::string& output, FfmpegPipe* pipe, std::string* why);
// ffmpeg decoding the video of `input` into RGB frames read with readFrame.
bool startFrameReader(const std::string& ffmpeg, const std::string& input, FfmpegPipe* pipe,
                      std::string* why);
// Reads one whole frame: 1; 0 at the end; -1 for a partial frame or a read error.
int readFrame(FfmpegPipe* pipe, unsigned char* rgb, size_t size);
// Ends a reader before its end of stream.
void stopFrameReader(FfmpegPipe* pipe);
// Writes one frame; false when ffmpeg has gone.
bool sendFrame(FfmpegPipe* pipe, const unsigned char* rgb, size_t size);
// Closes ffmpeg's input so that it finishes the file, and waits; false, with the reason, unless it
// exits with 0.
bool finishFfmpeg(FfmpegPipe* pipe, std::string* why);
