// What the window's input does: Escape or a close ends the run, a plain left click cycles the frac
// counter, Shift+left and middle drags hold the mouse capture. Platforms translate their messages into
// InputEvent and carry out the InputAction. The author keys mean nothing in a release run; in author mode a
// handler set by the author loop takes them.
#pragma once
#include "platform/input_event.h"

// handleInput (platform/input_event.h) is the table. A held author key's repeats go to the author handler
// with `autoRepeat` set, which acts again only where that means something (seeks and frame steps scrub).

int fracCounter();

// True once Escape or a close or destroy has been seen: the run ends for the user, not for the music.
bool quitRequested();

// Author mode: the author keys go to `handler`, which returns true when the window should then toggle
// fullscreen. Null (the default) leaves them to the system's default handling.
using AuthorKeyHandler = bool (*)(InputEvent event, bool autoRepeat);
void setAuthorKeyHandler(AuthorKeyHandler handler);

// Back to the state of a fresh process: frac 0, no drag, no quit request, no author handler. Tests run many
// cases in one process.
void resetInput();
