// The executables' run: the command line, the window and context, the one start-up path
// (app/demo_preparation.h), then the frame loop or author mode.
#pragma once

#include "platform/window.h"

// Runs the whole demo with the executable's command line (app/command_line.h); returns the process exit
// code: 2 for a command line it cannot use, before any window opens.
int runDemo(int argc, char** argv);

// The one start-up path of every program with a window: the window (the author's at `authorWidth` x
// `authorHeight` when they are not 0), its input to `callbacks`, then the demo prepared. False when either
// fails, after telling the user ("doz-engine needs OpenGL 3.3" or the platform's like, and why).
bool openPreparedDemo(const WindowCallbacks& callbacks, int authorWidth, int authorHeight);
