// The system tick count, and a wait on it.
#include "platform/ticks.h"

#include <windows.h>

uint32_t readTickCount() {
    return GetTickCount();
}

void sleepMilliseconds(uint32_t milliseconds) {
    Sleep(milliseconds);
}
