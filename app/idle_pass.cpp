// The idle pass of a minimised window.
#include "app/idle_pass.h"

#include "app/run_state.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "platform/ticks.h"

bool showsNothing(int width, int height) {
    return width <= 0 || height <= 0;
}

void finishIdlePass() {
    // The music plays on while nothing is shown, and the run still ends with it.
    if (readMusicTime() > END_TIME)
        stopRunning();
    sleepMilliseconds(IDLE_WAIT_MILLISECONDS);
}
