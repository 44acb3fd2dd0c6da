// A tick count that moves only when the caller sets it.
#include "platform/headless/headless.h"
#include "platform/ticks.h"

static uint32_t ticks = 0;

void setHeadlessTickCount(uint32_t value) {
    ticks = value;
}
uint32_t readTickCount() {
    return ticks;
}
