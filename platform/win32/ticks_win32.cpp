// The system tick count.
#include "platform/ticks.h"

#include <windows.h>

uint32_t readTickCount() {
    return GetTickCount();
}
