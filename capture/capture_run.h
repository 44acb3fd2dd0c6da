// doz-capture's whole run: renders doz-engine offline with no display, to stills, a contact sheet, frames,
// a video or a job's chunks, as the command line asks (capture/capture_options.h).
#pragma once

// Returns the process exit code: 0 done, 1 failed, 2 a command line it cannot use.
int runCapture(int argc, char** argv);
