// Windows GUI entry point; the command line comes split by the C runtime.
#include "app/startup.h"

#include <stdlib.h>
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return runDemo(__argc, __argv);
}
