// What Ctrl-C, termination and running out of memory do while doz-capture writes: either ask the run to
// stop after the current frame (a video keeps what it has), or abandon it at once, removing every
// temporary it registered.
#pragma once
#include <sys/types.h>

// Catches SIGINT, SIGTERM and SIGHUP. SIGPIPE is ignored: a dead encoder shows as a failed write; so is
// SIGXFSZ: a file past the size limit shows as a failed write. A failed allocation abandons the run,
// removing the unfinished output, with exit status 1; a crash removes it before the signal ends the run.
void installInterruptHandlers();

// While set, the first SIGINT only requests a stop; a second one, or SIGTERM/SIGHUP, abandons the run.
void setGracefulStop(bool allowed);
bool stopRequested();
// The signal number that requested the stop, for the exit status (128 + signal).
int stopSignal();

// Temporary files removed when the run is abandoned (up to two; nullptr clears a slot). The strings must
// stay valid while registered.
void registerAbandonFile(int slot, const char* path);
// A folder of numbered frames (frameFolderName's names) plus loose names, removed on abandon.
void registerAbandonFolder(const char* path, const char* extraFile);
void setAbandonFolderFrames(int framesStarted);
// A child process group killed on abandon; 0 for none.
void registerAbandonChild(pid_t processGroup);

// The name of frame `index` in a frames folder: "frame-000123.png".
void frameFileName(int index, char* buffer, int size);
