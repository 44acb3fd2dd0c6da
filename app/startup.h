// Start-up: window and context, entry points, credits, scene program, soundtrack, playback, frame loop.
#pragma once

// Runs the whole demo with the executable's command line (app/command_line.h); returns the process exit
// code: 2 for a command line it cannot use, before any window opens.
int runDemo(int argc, char** argv);

// Everything between a current context and the first frame: entry points, credits texture, scene program,
// the built-in tracks, soundtrack, envelope and playback. Returns false, with the reason in `why`, when the
// context cannot run the scene. Offline renderers call it on their own context, so they draw exactly what the
// demo draws.
bool prepareDemo(char* why, int whySize);
