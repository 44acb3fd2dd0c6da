// Fly mode: a view flown with raw events through the headless window and keyed with K is the frame that
// doz-capture draws from the tracks folder at that row; Ctrl+Z puts the folder back; a linked editor gets
// SET_KEY commands only when opted in. A window losing focus lets go of the keys and buttons held, and the
// wheel's fractions of a notch add up. Also the roll's unwrapping, the rows holding keys, and the camera
// probe that asks the scene's source for its camera.
#include "app/author_loop.h"
#include "app/fly_keying.h"
#include "app/frame_loop.h"
#include "app/input.h"
#include "app/sync_link.h"
#include "app/transport.h"
#include "platform/headless/headless.h"
#include "platform/window.h"
#include "render/camera_probe.h"
#include "render/scene_program.h"
#include "render/shader_sources.h"
#include "sync/sync_protocol.h"
#include "sync/track_files.h"
#include "tests/capture_tool.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

constexpr int WIDTH = 96, HEIGHT = 54;

RawInputEvent key(RawEventType type, int code, unsigned modifiers = 0) {
    RawInputEvent event;
    event.type = type;
    event.key = code;
    event.modifiers = modifiers;
    return event;
}

void press(int code, unsigned modifiers = 0) {
    queueHeadlessInput(key(RawEventType::KeyDown, code, modifiers));
}

// Holds a movement key for `ms` of the tick count, stepping as author mode's loop does after the messages.
void hold(int code, uint32_t ms, unsigned modifiers = 0) {
    queueHeadlessInput(key(RawEventType::KeyDown, code, modifiers));
    pumpWindowMessages();
    static uint32_t tick = 1000;
    setHeadlessTickCount(tick);
    stepFlyCamera(tick);
    tick += ms;
    setHeadlessTickCount(tick);
    stepFlyCamera(tick);
    queueHeadlessInput(key(RawEventType::KeyUp, code, modifiers));
    pumpWindowMessages();
}

void drag(float dx, float dy) {
    RawInputEvent event;
    event.type = RawEventType::MouseDown;
    event.button = MOUSE_RIGHT;
    queueHeadlessInput(event);
    event.type = RawEventType::MouseMove;
    event.dx = dx;
    event.dy = dy;
    queueHeadlessInput(event);
    event.type = RawEventType::MouseUp;
    queueHeadlessInput(event);
    pumpWindowMessages();
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string cameraFiles(const std::string& folder) {
    std::string all;
    for (int track = TRACK_CAMERA_POS_X; track <= TRACK_CAMERA_FOV; ++track) {
        char name[SYNC_FILE_NAME_ROOM];
        trackFileName(SYNC_FILE_BASE, SYNC_TRACK_NAMES[track], name, sizeof name);
        all += fileBytes(folder + "/" + name) + "|";
    }
    return all;
}

// Share of pixels whose every channel is within `tolerance` of the other picture's.
double shareWithin(const RgbImage& a, const RgbImage& b, int tolerance) {
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty())
        return 0.0;
    size_t close = 0;
    for (size_t i = 0; i < a.rgb.size(); i += 3) {
        bool near = true;
        for (size_t c = 0; c < 3; ++c)
            near = near && std::abs(a.rgb[i + c] - b.rgb[i + c]) <= tolerance;
        close += near ? 1 : 0;
    }
    return static_cast<double>(close) / (a.rgb.size() / 3);
}

} // namespace

TEST(FlyCamera, AFlownViewKeyedAtARowIsTheFrameTheCaptureDrawsThere) {
    ScratchFolder folder;
    const std::string tracks = folder / "tracks";
    std::filesystem::create_directories(tracks);
    prepareReferenceDemo(WIDTH, HEIGHT);
    restartReferenceRun();
    resetInput();
    transport = Transport();
    startFlyMode(tracks.c_str(), false);
    setRawInputHook(handleFlyInput);
    setKeyActions(authorKeyModes, handleAuthorKey);
    setTrackValueOverride(overrideFlownTracks);
    // A key already at a row keeps its interpolation (0 changes nothing in the picture).
    setSyncKey(TRACK_CAMERA_FOV, 1120, 0.f, SYNC_SMOOTH);
    ASSERT_EQ(writeTrackFiles(tracks.c_str(), SYNC_FILE_BASE, nullptr), 0);
    // A damaged file the read refused, and one K has no reason to touch: K writes neither.
    const std::string refused = tracks + "/sync_fog-3Adensity.track",
                      untouched = tracks + "/sync_hero-3Afold.track";
    std::ofstream(refused, std::ios::binary) << std::string("\3\0\0\0\0\0\0\0\0\0\0\0\1", 13);
    char message[512];
    ASSERT_FALSE(readTrackFile(tracks.c_str(), SYNC_FILE_BASE, TRACK_FOG_DENSITY, message, sizeof message));
    const auto longAgo = std::filesystem::last_write_time(untouched) - std::chrono::hours(1);
    std::filesystem::last_write_time(untouched, longAgo);
    std::string beforeLastKey;

    // Whole samples at 16 rows a second: in the pull-out, just before the orbit starts, and trailing.
    for (int32_t row : {320, 828, 1120}) {
        const double seconds = row / 16.0;
        SCOPED_TRACE("row " + std::to_string(row));
        // A fresh run each time: a sound position that stands while the tick count runs on for a second
        // would read as a lost device.
        restartReferenceRun();
        const RgbImage keyedBefore = drawReferenceFrame(seconds);
        press('F');
        drawReferenceFrame(seconds);
        ASSERT_TRUE(flyCamera.flying) << flyCamera.note;
        EXPECT_STREQ(flyTitleNote(), "fly");
        EXPECT_GT(shareWithin(drawReferenceFrame(seconds), keyedBefore, 2), 0.99)
            << "entering fly mode starts from the keyed view";
        hold('W', 400);
        drag(60.f, -25.f);
        hold('D', 150, MODIFIER_SHIFT);
        hold('E', 200);
        const RgbImage flown = drawReferenceFrame(seconds);
        EXPECT_GT(meanAbsoluteDifference(flown, keyedBefore), 4.0) << "the flown view moved";
        EXPECT_EQ(syncTracks.tracks[TRACK_CAMERA_POS_X].count, row == 320 ? 0 : (row == 828 ? 1 : 2))
            << "flying keys nothing";

        beforeLastKey = cameraFiles(tracks);
        press('K');
        pumpWindowMessages();
        EXPECT_EQ(std::string(flyCamera.note), "keyed row " + std::to_string(row));
        EXPECT_EQ(fileBytes(refused).size(), 13u) << "the refused file is the author's to mend";
        EXPECT_EQ(std::filesystem::last_write_time(untouched), longAgo) << "K writes only the camera tracks";
        for (int track = TRACK_CAMERA_POS_X; track <= TRACK_CAMERA_FOV; ++track) {
            int32_t at = -1;
            for (int i = 0; i < syncTracks.tracks[track].count; ++i)
                at = syncTracks.tracks[track].rows[i] == row ? i : at;
            ASSERT_GE(at, 0) << SYNC_TRACK_NAMES[track];
            EXPECT_EQ(syncTracks.tracks[track].interpolations[at],
                      track == TRACK_CAMERA_FOV && row == 1120 ? SYNC_SMOOTH : SYNC_LINEAR);
        }
        ToolRun capture = runCapture({"--at", std::to_string(seconds), "--size", "96x54", "--tracks", tracks,
                                      "-o", folder / "keyed.png"});
        ASSERT_EQ(capture.status, 0) << capture.err;
        EXPECT_GE(shareWithin(loadPng(folder / "keyed.png"), flown, 2), 0.99);

        // Out of fly mode the keyed camera is drawn, and it is the flown view.
        press('F');
        const RgbImage keyedAfter = drawReferenceFrame(seconds);
        EXPECT_FALSE(flyCamera.flying);
        EXPECT_GE(shareWithin(keyedAfter, flown, 2), 0.99);
    }

    // Ctrl+Z takes the last K back, in the table and in the folder; a second has nothing to take back.
    const std::string threeRows = cameraFiles(tracks);
    press('Z', MODIFIER_CTRL);
    pumpWindowMessages();
    EXPECT_EQ(std::string(flyCamera.note), "undone row 1120");
    EXPECT_EQ(syncTracks.tracks[TRACK_CAMERA_POS_X].count, 2);
    EXPECT_NE(cameraFiles(tracks), threeRows);
    EXPECT_EQ(cameraFiles(tracks), beforeLastKey);
    press('Z', MODIFIER_CTRL);
    pumpWindowMessages();
    EXPECT_EQ(std::string(flyCamera.note), "nothing to undo");

    // A full camera track: K keys nothing, and the tracks it had keyed before it are as they were, an
    // author's key at that row kept and no new key left.
    constexpr int32_t FULL_ROW = 600;
    const int fovKeys = syncTracks.tracks[TRACK_CAMERA_FOV].count;
    ASSERT_NE(setSyncKey(TRACK_CAMERA_POS_X, FULL_ROW, 3.f, SYNC_STEP), SYNC_KEY_REFUSED);
    for (int32_t filler = 100000; syncTracks.tracks[TRACK_CAMERA_FOV].count < SYNC_MAX_KEYS; ++filler)
        ASSERT_EQ(setSyncKey(TRACK_CAMERA_FOV, filler, 1.f, SYNC_LINEAR), SYNC_KEY_ADDED);
    const std::string beforeFull = cameraFiles(tracks);
    press('F');
    pumpWindowMessages();
    ASSERT_TRUE(flyCamera.flying);
    EXPECT_FALSE(keyFlownView(FULL_ROW));
    EXPECT_EQ(std::string(flyCamera.note), "K: a camera track is full");
    for (int track = TRACK_CAMERA_POS_X; track < TRACK_CAMERA_FOV; ++track) {
        const SyncTrackKeys& keys = syncTracks.tracks[track];
        int atRow = 0;
        for (int i = 0; i < keys.count; ++i)
            if (keys.rows[i] == FULL_ROW) {
                ++atRow;
                EXPECT_EQ(keys.values[i], 3.f);
                EXPECT_EQ(keys.interpolations[i], SYNC_STEP);
            }
        EXPECT_EQ(atRow, track == TRACK_CAMERA_POS_X ? 1 : 0) << SYNC_TRACK_NAMES[track];
    }
    EXPECT_EQ(cameraFiles(tracks), beforeFull) << "nothing was written";
    press('F');
    pumpWindowMessages();
    for (int32_t filler = 100000 + SYNC_MAX_KEYS - fovKeys - 1; filler >= 100000; --filler)
        ASSERT_TRUE(deleteSyncKey(TRACK_CAMERA_FOV, filler));
    ASSERT_TRUE(deleteSyncKey(TRACK_CAMERA_POS_X, FULL_ROW));

    // Linked without the opt-in: the editor holds the keys, and K changes nothing anywhere.
    const std::string beforeLinked = cameraFiles(tracks);
    startSyncLink("127.0.0.1:9", tracks.c_str());
    press('F');
    press('W');
    pumpWindowMessages();
    press('K');
    pumpWindowMessages();
    EXPECT_NE(std::string(flyTitleNote()).find("the editor holds the keys"), std::string::npos);
    EXPECT_EQ(syncTracks.tracks[TRACK_CAMERA_POS_X].count, 2);
    EXPECT_EQ(cameraFiles(tracks), beforeLinked);

    // Opted in, greeted: K sends eight SET_KEY commands with the keys the table took, and writes no file.
    startFlyMode(tracks.c_str(), true);
    resetSyncClient();
    startSyncConnection(0);
    const char* hello = "hello, demo!";
    feedSyncBytes(reinterpret_cast<const unsigned char*>(hello), 12);
    size_t queued = 0;
    pendingSyncOutput(&queued);
    dropSyncOutput(queued);
    ASSERT_TRUE(startFlying(61.0));
    EXPECT_TRUE(keyFlownView(976));
    const unsigned char* out = pendingSyncOutput(&queued);
    ASSERT_EQ(queued, 8u * 14u);
    for (int t = 0; t < FLY_KEYED_TRACKS; ++t) {
        const unsigned char* c = out + 14 * t;
        uint32_t bits = 0;
        std::memcpy(&bits, &syncTracks.tracks[t].values[0], 4);
        const unsigned char expected[14] = {0,
                                            0,
                                            0,
                                            0,
                                            static_cast<unsigned char>(t),
                                            0,
                                            0,
                                            0x03,
                                            0xD0,
                                            static_cast<unsigned char>(bits >> 24),
                                            static_cast<unsigned char>(bits >> 16),
                                            static_cast<unsigned char>(bits >> 8),
                                            static_cast<unsigned char>(bits),
                                            SYNC_LINEAR};
        EXPECT_EQ(std::memcmp(c, expected, 14), 0) << "SET_KEY for track " << t;
    }
    EXPECT_EQ(cameraFiles(tracks), beforeLinked);

    // Opted in but the link's queue cannot take the whole camera key, or the link is down: K and Ctrl+Z
    // change nothing in the table and send nothing, and say why.
    const SyncTrackKeys keyedOnce = syncTracks.tracks[TRACK_CAMERA_POS_X];
    dropSyncOutput(queued);
    while (sendSyncKey(TRACK_HERO_FOLD, 1, true, 0.f, 0)) {
    }
    pendingSyncOutput(&queued);
    EXPECT_FALSE(keyFlownView(1000));
    EXPECT_NE(std::string(flyCamera.note).find("K: the link is still sending; nothing changed"),
              std::string::npos)
        << flyCamera.note;
    EXPECT_FALSE(undoFlownKeys());
    size_t after = 0;
    pendingSyncOutput(&after);
    EXPECT_EQ(after, queued);
    dropSyncOutput(after);
    endSyncConnection(); // the editor went away
    EXPECT_FALSE(keyFlownView(1000));
    EXPECT_NE(std::string(flyCamera.note).find("K: the editor is not linked now; nothing changed"),
              std::string::npos)
        << flyCamera.note;
    EXPECT_FALSE(undoFlownKeys());
    EXPECT_EQ(syncTracks.tracks[TRACK_CAMERA_POS_X].count, keyedOnce.count);
    EXPECT_EQ(syncTracks.tracks[TRACK_CAMERA_POS_X].rows[0], 976);
    pendingSyncOutput(&after);
    EXPECT_EQ(after, 0u);
    EXPECT_EQ(cameraFiles(tracks), beforeLinked);
    stopSyncLink();
    resetSyncClient();
    setRawInputHook(nullptr);
    setTrackValueOverride(nullptr);
    resetFlyMode();
    resetSyncTracks();
}

TEST(FlyCamera, AWindowLosingFocusLetsGoOfWhatIsHeldAndWheelFractionsAddUp) {
    prepareReferenceDemo(WIDTH, HEIGHT);
    resetInput();
    startFlyMode("", false);
    setRawInputHook(handleFlyInput);
    setKeyActions(authorKeyModes, handleAuthorKey);
    ASSERT_TRUE(startFlying(61.0)) << flyCamera.note;
    RawInputEvent button;
    button.type = RawEventType::MouseDown;
    button.button = MOUSE_RIGHT;
    RawInputEvent motion;
    motion.type = RawEventType::MouseMove;
    motion.dx = 40.f;

    // A button and a movement key held, then the focus goes to another window, which gets their releases.
    queueHeadlessInput(button);
    queueHeadlessInput(key(RawEventType::KeyDown, 'W'));
    queueHeadlessInput(key(RawEventType::KeyDown, 'D'));
    queueHeadlessInput(key(RawEventType::KeyUp, 'D'));
    queueHeadlessInput(motion);
    pumpWindowMessages();
    const double turned = flyCamera.yaw;
    ASSERT_NE(turned, 0.0);
    uint32_t tick = flyCamera.lastStepTick + FLY_LONGEST_STEP_MS;
    stepFlyCamera(tick);
    const double moved[3] = {flyCamera.eye[0], flyCamera.eye[1], flyCamera.eye[2]};
    queueHeadlessFocusLoss();
    queueHeadlessInput(motion);
    pumpWindowMessages();
    for (int i = 0; i < 3; ++i)
        stepFlyCamera(tick += FLY_LONGEST_STEP_MS);
    EXPECT_EQ(flyCamera.yaw, turned) << "the view turns no more";
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(flyCamera.eye[k], moved[k]) << "the camera stops, axis " << k;
    // Back in the window, a new press acts as before.
    queueHeadlessInput(key(RawEventType::KeyDown, 'W'));
    pumpWindowMessages();
    stepFlyCamera(tick += FLY_LONGEST_STEP_MS);
    EXPECT_NE(flyCamera.eye[0] - moved[0], 0.0);

    // Quarter notches (a smooth wheel), Windows' thirds (40 of 120, in floats), and back.
    auto wheel = [](float notches, int times) {
        RawInputEvent event;
        event.type = RawEventType::MouseWheel;
        event.wheel = notches;
        for (int i = 0; i < times; ++i)
            queueHeadlessInput(event);
        pumpWindowMessages();
        return flyCamera.speedStep;
    };
    EXPECT_EQ(wheel(0.25f, 3), 0);
    EXPECT_EQ(wheel(0.25f, 1), 1) << "four quarters make a step";
    EXPECT_EQ(wheel(40.f / 120.f, 3), 2);
    EXPECT_EQ(wheel(-0.25f, 3), 2);
    EXPECT_EQ(wheel(-0.25f, 5), 0) << "backwards likewise: eight quarters, two steps";
    EXPECT_EQ(wheel(0.5f, 1), 0);
    EXPECT_EQ(wheel(-3.f, 1), -2) << "whole notches stay whole";
    EXPECT_EQ(wheel(-0.75f, 1), -3) << "the half left over counts";
    setRawInputHook(nullptr);
    resetFlyMode();
}

TEST(FlyCamera, RollIsUnwrappedTowardsItsNeighbourAndKeyRowsAreFoundOnAnyTrack) {
    resetSyncTracks();
    EXPECT_FLOAT_EQ(unwrapRoll(-175.f, 40), -175.f) << "no roll keys: as it is";
    setSyncKey(TRACK_CAMERA_ROLL, 100, 170.f, SYNC_LINEAR);
    setSyncKey(TRACK_CAMERA_ROLL, 300, -530.f, SYNC_LINEAR);
    EXPECT_FLOAT_EQ(unwrapRoll(-175.f, 200), 185.f) << "across +-180 from the key before";
    EXPECT_FLOAT_EQ(unwrapRoll(-175.f, 50), 185.f) << "before every key: the key after";
    EXPECT_FLOAT_EQ(unwrapRoll(20.f, 400), -700.f) << "more than one turn";
    EXPECT_FLOAT_EQ(unwrapRoll(10.f, 200), 10.f) << "already near";

    setSyncKey(TRACK_FOG_DENSITY, 250, 1.f, SYNC_STEP);
    setSyncKey(TRACK_CAMERA_POS_Y, 90, 1.f, SYNC_STEP);
    EXPECT_EQ(neighbourKeyRow(200, +1), 250);
    EXPECT_EQ(neighbourKeyRow(200, -1), 100);
    EXPECT_EQ(neighbourKeyRow(100, -1), 90) << "not the row itself";
    EXPECT_EQ(neighbourKeyRow(300, +1), -1);
    EXPECT_EQ(neighbourKeyRow(90, -1), -1);
    EXPECT_EQ(rowOfTime(51.75 - 0.4 / 44100.0), 828) << "a seek lands up to half a sample early";
    resetSyncTracks();
}

TEST(FlyCamera, AnOptedInKeyIsASetKeyAndARemovalADeleteKeyOnlyWhileGreeted) {
    resetSyncClient();
    EXPECT_FALSE(sendSyncKey(3, 7, false, 1.5f, SYNC_SMOOTH)) << "nothing before the greeting";
    startSyncConnection(0);
    const char* hello = "hello, demo!";
    feedSyncBytes(reinterpret_cast<const unsigned char*>(hello), 12);
    size_t queued = 0;
    pendingSyncOutput(&queued);
    dropSyncOutput(queued);
    ASSERT_TRUE(sendSyncKey(3, 0x01020304, false, 1.5f, SYNC_SMOOTH));
    ASSERT_TRUE(sendSyncKey(14, 2, true, 0.f, 0));
    const unsigned char expected[] = {0, 0, 0, 0, 3, 1, 2,  3, 4, 0x3F, 0xC0, 0,
                                      0, 2, 1, 0, 0, 0, 14, 0, 0, 0,    2};
    const unsigned char* out = pendingSyncOutput(&queued);
    ASSERT_EQ(queued, sizeof expected);
    EXPECT_EQ(std::memcmp(out, expected, sizeof expected), 0);
    resetSyncClient();
}

TEST(FlyCamera, TheCameraProbeAnswersFromTheSourceItIsGivenAndLeavesTheStateAsItWas) {
    prepareReferenceDemo(WIDTH, HEIGHT);
    GLint framebuffer = 0, program = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    SceneCamera camera;
    ASSERT_TRUE(probeSceneCamera(SCENE_VERTEX_SOURCE, SCENE_FRAGMENT_SOURCE, 62.0, &camera));
    const float eye[3] = {0.f, -478.f, 9.2f}, target[3] = {0.f, -496.f, 3.2f};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(camera.eye[k], eye[k], 1e-4) << k;
        EXPECT_NEAR(camera.target[k], target[k], 1e-4) << k;
    }
    // An edited stage (author mode's folder): the probe follows it.
    std::string edited = SCENE_FRAGMENT_SOURCE;
    const std::string orbit = "#define ORBIT_Z 6.0";
    ASSERT_NE(edited.find(orbit), std::string::npos);
    edited.replace(edited.find(orbit), orbit.size(), "#define ORBIT_Z 9.0");
    ASSERT_TRUE(probeSceneCamera(SCENE_VERTEX_SOURCE, edited.c_str(), 62.0, &camera));
    EXPECT_NEAR(camera.eye[2], 12.2f, 1e-4);
    // Blank lines and comments before the version line, as GLSL allows: the same stage, the same camera.
    const std::string led = "\n// the scene, edited\n/* by hand\n */ \n" + edited;
    SceneCamera ledCamera;
    ASSERT_TRUE(probeSceneCamera(SCENE_VERTEX_SOURCE, led.c_str(), 62.0, &ledCamera));
    EXPECT_EQ(std::memcmp(&ledCamera, &camera, sizeof camera), 0);
    EXPECT_FALSE(
        probeSceneCamera(SCENE_VERTEX_SOURCE, "#version 330\nout vec4 O;\nvoid main() {}\n", 1.0, &camera))
        << "a source without camera()";
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(static_cast<GLuint>(program), sceneProgram);
    GLint after = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &after);
    EXPECT_EQ(after, framebuffer);
}

// Paused inside a row, K keys the row's start and moves the time there, so that leaving fly mode shows what
// was keyed; [ from inside a row that holds a key goes to that row first, then on to the one before.
TEST(FlyCamera, KeyingInsideARowMovesToItsStartAndBackGoesThereFirst) {
    prepareReferenceDemo(WIDTH, HEIGHT);
    restartReferenceRun();
    resetInput();
    transport = Transport();
    startFlyMode("", false);
    setRawInputHook(handleFlyInput);
    setKeyActions(authorKeyModes, handleAuthorKey);
    setTrackValueOverride(overrideFlownTracks);
    const double inside = (320 + 0.5) / 16.0;
    seekTo(inside);
    togglePause();
    ASSERT_TRUE(transport.paused);
    press('F');
    pumpWindowMessages();
    ASSERT_TRUE(flyCamera.flying) << flyCamera.note;
    hold('W', 300);
    press('K');
    pumpWindowMessages();
    EXPECT_EQ(std::string(flyCamera.note), "keyed row 320 (no tracks folder)");
    EXPECT_DOUBLE_EQ(transportTime(), timeAtRow(320));
    const RgbImage flown = drawReferenceFrame(transportTime());
    press('F');
    pumpWindowMessages();
    EXPECT_GE(shareWithin(drawReferenceFrame(transportTime()), flown, 2), 0.99)
        << "out of fly mode, the keyed view stands";

    setSyncKey(TRACK_HERO_FOLD, 100, 1.f, SYNC_STEP);
    seekTo(inside);
    press(KEY_LEFT_BRACKET);
    pumpWindowMessages();
    EXPECT_DOUBLE_EQ(transportTime(), timeAtRow(320)) << flyCamera.note;
    press(KEY_LEFT_BRACKET);
    pumpWindowMessages();
    EXPECT_DOUBLE_EQ(transportTime(), timeAtRow(100)) << flyCamera.note;
    press(KEY_RIGHT_BRACKET);
    pumpWindowMessages();
    EXPECT_DOUBLE_EQ(transportTime(), timeAtRow(320)) << flyCamera.note;
    setRawInputHook(nullptr);
    setTrackValueOverride(nullptr);
    resetFlyMode();
    resetSyncTracks();
}
