// Start-up: window and context, entry points, credits, scene program, soundtrack, playback, frame loop.
#pragma once

// Runs the whole demo; returns the process exit code.
int runDemo();
