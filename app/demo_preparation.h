// The one start-up path of the demo, between a current context and the first frame, shared by the release
// run, author mode, the page and every capture mode.
#pragma once
#include <cstddef>

// In the order of the system: GL entry points, the GLSL 3.30 check, the credits texture, the scene program
// (a failed build shows its report in the title), the built-in sync tracks, the decoded track with its
// envelope and 16-bit track, and the looping playback on the sound device. Returns false, with the reason in
// `why`, when the context cannot run the scene. Offline renderers call it on their own context, so they draw
// exactly what the demo draws.
bool prepareDemo(char* why, size_t whySize);
