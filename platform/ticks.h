// The system's millisecond tick count: unsigned 32 bits, wrapping.
#pragma once
#include <cstdint>

uint32_t readTickCount();
