// Whether the current context can run the scene program.
#pragma once

// True when the context accepts GLSL 3.30; otherwise false, with the driver's own version strings in `why`.
bool contextRunsGlsl330(char* why, int whySize);
