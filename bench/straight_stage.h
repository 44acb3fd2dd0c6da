// The scene's fragment stage as it was before the march was made faster, embedded at build time.
#pragma once

extern const char STRAIGHT_SCENE_FRAGMENT_SOURCE[];
