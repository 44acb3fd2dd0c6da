// The system's millisecond tick count: unsigned 32 bits, wrapping; and a wait measured in it.
#pragma once
#include <cstdint>

uint32_t readTickCount();

// Gives the processor away for about this long.
void sleepMilliseconds(uint32_t milliseconds);
