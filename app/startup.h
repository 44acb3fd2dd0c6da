// The executables' run: the command line, the window and context, the one start-up path
// (app/demo_preparation.h), then the frame loop or author mode.
#pragma once

// Runs the whole demo with the executable's command line (app/command_line.h); returns the process exit
// code: 2 for a command line it cannot use, before any window opens.
int runDemo(int argc, char** argv);
