// The Windows executable: the options come from the C runtime's parsed command line (none: the release run).
#include "app/startup.h"

#include <stdlib.h>
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return runDemo(__argc, __argv);
}
