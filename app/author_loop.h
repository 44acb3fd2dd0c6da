// Author mode: the frame loop with the transport around each pass, hot reload and the author title.
#pragma once
#include "app/command_line.h"

// The shaders folder to watch: the one asked for, else the source tree's where it is complete, else none
// (nullptr, with a line on stderr saying that the built-in stages run and nothing is watched).
const char* chooseShadersFolder(const CommandLine& options);

// Runs passes while the running flag is set; the music wraps instead of ending the run.
void runAuthorLoop(const CommandLine& options);
