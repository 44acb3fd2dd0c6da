// The pass of a window with nothing to show (minimised: no client area): no draw and no present, and a
// short wait instead, so that the loop does not spin a core while messages, the clock and the end rule go on.
#pragma once

// Long enough to leave the processor idle, short enough that a restored window redraws at once.
constexpr unsigned IDLE_WAIT_MILLISECONDS = 10;

// True when a client area of this size shows nothing.
bool showsNothing(int width, int height);

// The rest of a pass whose messages are handled and whose client area shows nothing: the end rule on a
// reading of the clock, then the wait.
void finishIdlePass();
