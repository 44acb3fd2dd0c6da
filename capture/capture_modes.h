// The things doz-capture does; each returns the process exit status.
#pragma once
#include "capture/capture_options.h"
#include "capture/report.h"

#include <string>

int captureStill(const CaptureOptions& options);
int captureSheet(const CaptureOptions& options);
int captureVideo(const CaptureOptions& options);
int runCaptureBenchmark(const CaptureOptions& options);
// A capture job: its plan, one of its chunks, and the joined video.
int capturePlan(const CaptureOptions& options);
int renderChunk(const CaptureOptions& options);
int assembleJob(const CaptureOptions& options);
