// The two stages of the scene program, compiled into the executable as text at build time.
#pragma once

extern const char SCENE_VERTEX_SOURCE[];
extern const char SCENE_FRAGMENT_SOURCE[];
