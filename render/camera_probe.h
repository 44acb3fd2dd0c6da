// The scene's own camera at a music time, asked of the scene program's fragment source: a small pass of the
// same source, its entry point renamed, whose own entry calls camera() and writes the eye and the point
// looked at to a float target. The camera path thus lives only in the scene's source.
#pragma once

struct SceneCamera {
    float eye[3];
    float target[3];
};

// The scene camera at `seconds` (iTime as the frame pass sets it), from a probe built out of these stage
// texts; the probe is rebuilt when they change. False when it cannot be built or drawn (a source without
// camera(), a driver with no float target). Leaves the scene program current and the framebuffer, viewport
// and program as they were.
bool probeSceneCamera(const char* vertexSource, const char* fragmentSource, double seconds, SceneCamera* out);

// Drops the probe (a new context, or a test starting over).
void forgetCameraProbe();
