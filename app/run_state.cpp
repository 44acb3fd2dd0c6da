// Owns the running flag.
#include "app/run_state.h"

static bool running = true;

bool isRunning() {
    return running;
}
void stopRunning() {
    running = false;
}
void resumeRunning() {
    running = true;
}
