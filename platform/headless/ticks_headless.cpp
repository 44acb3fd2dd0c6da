// A tick count that moves only when the caller sets it, or when the program waits: a wait takes no real
// time and moves the count on by its length.
#include "platform/headless/headless.h"
#include "platform/ticks.h"

static uint32_t ticks = 0;
static uint64_t slept = 0;

void setHeadlessTickCount(uint32_t value) {
    ticks = value;
}
uint32_t readTickCount() {
    return ticks;
}

void sleepMilliseconds(uint32_t milliseconds) {
    ticks += milliseconds;
    slept += milliseconds;
}

uint64_t headlessSleptMilliseconds() {
    return slept;
}

void resetHeadlessTicks() {
    ticks = 0;
    slept = 0;
}
