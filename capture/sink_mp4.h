// A video as an MP4 with its sound: H.264 and the soundtrack's span as AAC, encoded by ffmpeg from the
// frames it is sent, the video mode's and a joined job's alike.
#pragma once
#include "capture/encoded_video.h"
#include "capture/frame_sink.h"

struct Mp4Output {
    CaptureOptions options; // size, frame rate, start and the output
    std::string ffmpeg, encoder;
    int frames = 0; // the range's, for the span of sound
    EncodedVideo video;
};

FrameSink mp4Sink(Mp4Output* mp4);
