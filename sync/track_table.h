// Every sync track, one line each: the one place a track is declared. Included with SYNC_TRACK defined; the
// build reads it too (cmake/TrackTable.cmake), so keep each entry on one line in this exact form.
//
//   SYNC_TRACK(ID, "name", slot, default, "meaning")
//
// The line order is the order the tracks are asked of an editor, and so their indices on a connection: add
// a track at the end. ID names it in C++ (TRACK_ID) and in the scene's stages, where TRACK_ID stands for its
// value in the track uniform. slot is its place among the uniform's values, three to a vector (slot 7 is
// iTrack[2].y); slots are 0 to count - 1, none twice. default is its value while it holds no keys. The
// meaning is what the scene does with the value.
// clang-format off
SYNC_TRACK(CAMERA_POS_X,     "camera:pos.x",      0, 0.0, "eye moved by this many scene units along x")
SYNC_TRACK(CAMERA_POS_Y,     "camera:pos.y",      1, 0.0, "eye moved by this many scene units along y")
SYNC_TRACK(CAMERA_POS_Z,     "camera:pos.z",      2, 0.0, "eye moved by this many scene units along z (up)")
SYNC_TRACK(CAMERA_TARGET_X,  "camera:target.x",   3, 0.0, "the point looked at moved along x")
SYNC_TRACK(CAMERA_TARGET_Y,  "camera:target.y",   4, 0.0, "the point looked at moved along y")
SYNC_TRACK(CAMERA_TARGET_Z,  "camera:target.z",   5, 0.0, "the point looked at moved along z")
SYNC_TRACK(CAMERA_ROLL,      "camera:roll",       6, 0.0, "turn about the line of sight, degrees, clockwise as seen")
SYNC_TRACK(CAMERA_FOV,       "camera:fov",        7, 0.0, "field of view widened by this many degrees")
SYNC_TRACK(LIGHT_EXPOSURE,   "light:exposure",    8, 0.0, "exposure in stops: the lit colour times 2^value")
SYNC_TRACK(FOG_DENSITY,      "fog:density",       9, 0.0, "fog thickened by this many stops")
SYNC_TRACK(BEAT_STRENGTH,    "beat:strength",    10, 0.0, "the beat's glow times (1 + value)")
SYNC_TRACK(HERO_FOLD,        "hero:fold",        11, 0.0, "added to the fold scale of the hero's fractal")
SYNC_TRACK(GRADE_SATURATION, "grade:saturation", 12, 0.0, "colour saturation times (1 + value)")
SYNC_TRACK(GRADE_CONTRAST,   "grade:contrast",   13, 0.0, "contrast about mid grey times (1 + value)")
SYNC_TRACK(GRADE_WARMTH,     "grade:warmth",     14, 0.0, "red raised and blue lowered by value")
// clang-format on
