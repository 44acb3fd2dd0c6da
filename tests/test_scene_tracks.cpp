// The sync tracks in the picture: what each track does to the frame, that a frame with keys is the same
// however it was reached, which way each camera track moves the picture, and that a run without keys sends
// the track uniform nothing at all.
#include "audio/loudness_envelope.h"
#include "render/gl_api.h"
#include "render/scene_program.h"
#include "sync/sync_tracks.h"
#include "tests/scene_still.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

constexpr int SIDE = 96; // square, so that a quarter turn of the camera maps the picture onto itself

// The real entry points, counted.
static int locationLookups = 0, trackSends = 0;
static PFNGLGETUNIFORMLOCATIONPROC realGetUniformLocation;
static PFNGLUNIFORM3FVPROC realUniform3fv;
static GLint APIENTRY countedGetUniformLocation(GLuint program, const GLchar* name) {
    ++locationLookups;
    return realGetUniformLocation(program, name);
}
static void APIENTRY countedUniform3fv(GLint location, GLsizei count, const GLfloat* values) {
    ++trackSends;
    realUniform3fv(location, count, values);
}
static void countTrackCalls() {
    realGetUniformLocation = gl.getUniformLocation;
    realUniform3fv = gl.uniform3fv;
    gl.getUniformLocation = countedGetUniformLocation;
    gl.uniform3fv = countedUniform3fv;
    locationLookups = trackSends = 0;
}

// Pixels whose channels differ by more than `tolerance` anywhere, as a share of the picture.
static double changedShare(const Still& a, const Still& b, int tolerance = 0) {
    size_t changed = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4)
        for (int k = 0; k < 3; ++k)
            if (std::abs(a.rgba[i + k] - b.rgba[i + k]) > tolerance) {
                ++changed;
                break;
            }
    return static_cast<double>(changed) / (a.rgba.size() / 4);
}

// Each pixel's red + green + blue.
static std::vector<int> luminance(const Still& s) {
    std::vector<int> sums(static_cast<size_t>(s.width) * s.height);
    for (size_t i = 0; i < sums.size(); ++i)
        sums[i] = s.rgba[4 * i] + s.rgba[4 * i + 1] + s.rgba[4 * i + 2];
    return sums;
}

struct Shift {
    int x = 0, y = 0; // what `a` shows at (x, y) `b` shows at (x + shift.x, y + shift.y); y grows downwards
};

// The whole-picture shift, up to `reach` pixels each way, that lines `b` up best with `a`: a move of the
// picture that every renderer draws alike, where single pixels are not.
static Shift pictureShift(const Still& a, const Still& b, int reach) {
    const std::vector<int> la = luminance(a), lb = luminance(b);
    const int w = a.width, h = a.height;
    Shift best;
    long bestError = -1;
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx) {
            long error = 0;
            for (int y = reach; y < h - reach; ++y)
                for (int x = reach; x < w - reach; ++x)
                    error += std::abs(lb[static_cast<size_t>((y + dy) * w + x + dx)] -
                                      la[static_cast<size_t>(y * w + x)]);
            if (bestError < 0 || error < bestError) {
                bestError = error;
                best = {dx, dy};
            }
        }
    return best;
}

// The magnification about the centre, 0.6 to 1.6, that lines `b` up best with `a`: below 1, what `a` shows
// is smaller in `b`.
static double pictureScale(const Still& a, const Still& b) {
    const std::vector<int> la = luminance(a), lb = luminance(b);
    const int w = a.width, h = a.height;
    double best = 1., bestError = -1.;
    for (int step = 0; step <= 50; ++step) {
        const double scale = .6 + .02 * step;
        long error = 0, count = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const long sx = std::lround((x + .5 - w / 2.) * scale + w / 2. - .5);
                const long sy = std::lround((y + .5 - h / 2.) * scale + h / 2. - .5);
                if (sx < 0 || sy < 0 || sx >= w || sy >= h)
                    continue;
                error += std::abs(lb[static_cast<size_t>(sy * w + sx)] - la[static_cast<size_t>(y * w + x)]);
                ++count;
            }
        if (count > w * h / 4 && (bestError < 0 || double(error) / count < bestError)) {
            bestError = double(error) / count;
            best = scale;
        }
    }
    return best;
}

static double meanLevel(const Still& s) {
    double sum = 0.;
    for (size_t i = 0; i < s.rgba.size(); i += 4)
        sum += s.rgba[i] + s.rgba[i + 1] + s.rgba[i + 2];
    return sum / (s.rgba.size() / 4 * 3);
}

TEST(SceneTracks, WithoutKeysNothingIsSentAndAKeyIsSentOnce) {
    openSceneForStills(SIDE, SIDE);
    countTrackCalls();
    resetSyncTracks();
    Still keyless = renderSceneAt(57.);
    renderSceneAt(20.);
    EXPECT_EQ(locationLookups, 0);
    EXPECT_EQ(trackSends, 0);

    // A held value: looked up and sent on the first pass, then nothing while it stays.
    ASSERT_EQ(setSyncKey(TRACK_CAMERA_POS_Z, 0, 4.f, SYNC_STEP), SYNC_KEY_ADDED);
    Still keyed = renderSceneAt(57.);
    renderSceneAt(58.);
    EXPECT_EQ(locationLookups, 1);
    EXPECT_EQ(trackSends, 1);
    EXPECT_GT(changedShare(keyless, keyed), .3);

    // Keys gone: zeros go once, and the picture is the keyless one again, bit for bit.
    resetSyncTracks();
    Still back = renderSceneAt(57.);
    renderSceneAt(57.);
    EXPECT_EQ(trackSends, 2);
    EXPECT_EQ(back.rgba, keyless.rgba);

    // A new program holds zeros and its own location: a key is looked up and sent afresh.
    setSyncKey(TRACK_CAMERA_POS_Z, 0, 4.f, SYNC_STEP);
    renderSceneAt(57.);
    buildSceneProgram();
    Still rebuilt = renderSceneAt(57.);
    EXPECT_EQ(locationLookups, 1 + UNIFORM_COUNT + 1) << "the table's lookups, then the track's";
    EXPECT_EQ(trackSends, 4);
    EXPECT_EQ(rebuilt.rgba, keyed.rgba);
}

TEST(SceneTracks, AFrameWithKeysIsTheSameHoweverItIsReached) {
    // Keys that move, read at a fractional row between them.
    setSyncKey(TRACK_CAMERA_TARGET_X, 0, -3.f, SYNC_LINEAR);
    setSyncKey(TRACK_CAMERA_TARGET_X, 1000, 3.f, SYNC_STEP);
    setSyncKey(TRACK_LIGHT_EXPOSURE, 900, .5f, SYNC_SMOOTH);
    setSyncKey(TRACK_LIGHT_EXPOSURE, 1000, 1.5f, SYNC_STEP);
    openSceneForStills(SIDE, SIDE);
    Still direct = renderSceneAt(60.3);
    // The same time after other frames of the run, on another context.
    openSceneForStills(SIDE, SIDE);
    for (double t : {12., 45., 61.})
        renderSceneAt(t);
    Still later = renderSceneAt(60.3);
    EXPECT_EQ(later.rgba, direct.rgba);
}

TEST(SceneTracks, EachTrackChangesThePictureAsItsNameSays) {
    // Loud throughout, so that the beat glows.
    for (float& value : loudnessEnvelope.values)
        value = 1.f;
    loudnessEnvelope.blockCount = MAX_ENVELOPE_BLOCKS;
    openSceneForStills(SIDE, SIDE);
    const double at = 35.;
    Still keyless = renderSceneAt(at);
    const float values[SYNC_TRACK_COUNT] = {1.f, 1.f, 1.f, 1.f, 1.f,  1.f, 30.f, 25.f,
                                            1.f, 4.f, 2.f, 1.f, -.8f, .5f, .15f};
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        // The hero's fractal shows best from close by.
        double time = track == TRACK_HERO_FOLD ? 15. : at;
        resetSyncTracks();
        Still before = time == at ? keyless : renderSceneAt(time);
        setSyncKey(track, 0, values[track], SYNC_STEP);
        Still s = renderSceneAt(time);
        EXPECT_GT(changedShare(before, s, 2), .02) << SYNC_TRACK_NAMES[track];
    }

    // Exposure: one stop brighter is brighter everywhere that is not already white.
    resetSyncTracks();
    setSyncKey(TRACK_LIGHT_EXPOSURE, 0, 1.f, SYNC_STEP);
    EXPECT_GT(meanLevel(renderSceneAt(at)), meanLevel(keyless) * 1.3);

    // Saturation -1 is grey.
    resetSyncTracks();
    setSyncKey(TRACK_GRADE_SATURATION, 0, -1.f, SYNC_STEP);
    Still grey = renderSceneAt(at);
    for (size_t i = 0; i < grey.rgba.size(); i += 4) {
        ASSERT_LE(std::abs(grey.rgba[i] - grey.rgba[i + 1]), 1) << i / 4;
        ASSERT_LE(std::abs(grey.rgba[i + 1] - grey.rgba[i + 2]), 1) << i / 4;
    }

    // A quarter turn clockwise of the camera turns the picture a quarter anticlockwise: what was at the
    // right edge is at the top.
    resetSyncTracks();
    setSyncKey(TRACK_CAMERA_ROLL, 0, 90.f, SYNC_STEP);
    Still rolled = renderSceneAt(at);
    Still turned = keyless;
    for (int row = 0; row < SIDE; ++row)
        for (int col = 0; col < SIDE; ++col)
            for (int k = 0; k < 4; ++k)
                turned.rgba[(static_cast<size_t>(row) * SIDE + col) * 4 + k] =
                    *(keyless.at(SIDE - 1 - row, col) + k);
    EXPECT_LT(changedShare(rolled, turned, 24), .02);
    EXPECT_GT(changedShare(rolled, keyless, 24), .2);
}

// Which way each camera track moves the picture. From 74 s on the camera trails the truck from 60 units
// behind, looking along -y at a point 12 units past it: +x is to the right in the picture, +z up, and the
// truck is nearer than the point looked at. So, as the tracks' names say: moving the point looked at pans
// (+x: the picture slides left) and tilts (+z: down; +y, towards the eye and below it: up); moving the
// eye while that point stays put swings the nearer truck the other way (+x: left, +z: down) or, backing
// off along +y, shrinks it; a wider field of view shows everything smaller. Each both ways, so that a
// swapped or negated track fails where a changed picture alone would pass.
TEST(SceneTracks, EachCameraTrackMovesThePictureTheWayItsNameSays) {
    openSceneForStills(SIDE, SIDE);
    const double at = 80.;
    resetSyncTracks();
    const Still keyless = renderSceneAt(at);
    auto keyed = [&](int track, float value) {
        resetSyncTracks();
        setSyncKey(track, 0, value, SYNC_STEP);
        return renderSceneAt(at);
    };
    struct Move {
        int track;
        float value;
        int x, y; // the sign of the shift expected along each axis; 0: none
    };
    const Move moves[] = {
        {TRACK_CAMERA_TARGET_X, 2.f, -1, 0},  {TRACK_CAMERA_TARGET_X, -2.f, 1, 0},
        {TRACK_CAMERA_TARGET_Z, 2.f, 0, 1},   {TRACK_CAMERA_TARGET_Z, -2.f, 0, -1},
        {TRACK_CAMERA_TARGET_Y, 40.f, 0, -1}, {TRACK_CAMERA_POS_X, 2.f, -1, 0},
        {TRACK_CAMERA_POS_X, -2.f, 1, 0},     {TRACK_CAMERA_POS_Z, 2.f, 0, 1},
        {TRACK_CAMERA_POS_Z, -2.f, 0, -1},
    };
    for (const Move& move : moves) {
        const Shift shift = pictureShift(keyless, keyed(move.track, move.value), 12);
        const int along = move.x != 0 ? shift.x * move.x : shift.y * move.y;
        const int across = move.x != 0 ? shift.y : shift.x;
        EXPECT_GE(along, 1) << SYNC_TRACK_NAMES[move.track] << " " << move.value << ": shift " << shift.x
                            << ", " << shift.y;
        EXPECT_LT(std::abs(across), along) << SYNC_TRACK_NAMES[move.track] << " " << move.value;
    }
    EXPECT_LT(pictureScale(keyless, keyed(TRACK_CAMERA_POS_Y, 2.f)), .97);
    EXPECT_GT(pictureScale(keyless, keyed(TRACK_CAMERA_POS_Y, -2.f)), 1.03);
    EXPECT_LT(pictureScale(keyless, keyed(TRACK_CAMERA_FOV, 20.f)), .8);
    EXPECT_GT(pictureScale(keyless, keyed(TRACK_CAMERA_FOV, -20.f)), 1.25);
}
