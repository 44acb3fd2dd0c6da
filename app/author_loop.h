// Author mode: the frame loop with the transport around each pass, hot reload and the author title.
#pragma once
#include "app/command_line.h"
#include "app/input.h"

// The shaders folder to watch: the one asked for, else "shaders" in the working directory, with the
// built-in stages written into it first where they are missing (said on stderr); none (nullptr) only when
// they cannot be written, and then stderr says that the built-in stages run and nothing is watched.
const char* chooseShadersFolder(const CommandLine& options);

// Runs passes while the running flag is set; the music wraps instead of ending the run.
void runAuthorLoop(const CommandLine& options);

// Author mode's key actions (the handler it installs, app/input.h): the transport's, R to reload the
// stages, F11 for fullscreen, and fly mode's.
InputAction handleAuthorKey(KeyAction action, bool down);
// Author mode's key modes: KEY_MODE_AUTHOR, and KEY_MODE_FLY while flying.
unsigned authorKeyModes();
