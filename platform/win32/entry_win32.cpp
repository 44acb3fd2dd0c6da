// Windows GUI entry point; its four arguments are ignored.
#include "app/startup.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return runDemo();
}
