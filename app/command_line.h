// The executables' options. Without any, the run is the release run; --author turns the window into an
// author's tool (transport keys, hot reload of the stages); --scale and --no-vsync trade sharpness and
// pacing for speed.
#pragma once
#include "sync/sync_protocol.h"
#include <cstddef>

constexpr int AUTHOR_WINDOW_WIDTH = 1280;
constexpr int AUTHOR_WINDOW_HEIGHT = 720;
constexpr int MIN_WINDOW_SIDE = 16;
constexpr int MAX_WINDOW_SIDE = 16384;
constexpr int SHADERS_DIR_SIZE = 1024;
constexpr int TRACKS_DIR_SIZE = 1024;

// What the command line asks for: the run, or a text to show instead of it.
enum class CommandLineRequest { Run, Help, Version };

struct CommandLine {
    CommandLineRequest request = CommandLineRequest::Run;
    bool author = false;
    double atSeconds = 0.0;
    int windowWidth = AUTHOR_WINDOW_WIDTH;
    int windowHeight = AUTHOR_WINDOW_HEIGHT;
    // Empty: "shaders" in the working directory, seeded with the built-in stages where they are missing.
    char shadersDir[SHADERS_DIR_SIZE] = "";
    // Empty: "tracks" in the working directory; either is made from the built-in tracks when missing.
    char tracksDir[TRACKS_DIR_SIZE] = "";
    double scale = 0.0;     // render scale, a fraction of the client size; 0: none, the window itself
    bool scaleAuto = false; // the scale follows the frame rate
    bool vsync = true;      // a swap interval of 1
    // The sync editor to link to, "HOST:PORT"; empty: none.
    char syncAddress[256] = "";
    // K sends the flown view's keys to the linked editor as SET_KEY commands; without it, linked, the editor
    // holds the keys and K writes nothing.
    bool syncSendKeys = false;
};

// The editor's address when --sync names none, or names a host only.
constexpr const char* DEFAULT_SYNC_HOST = "127.0.0.1";
constexpr int DEFAULT_SYNC_PORT = SYNC_EDITOR_PORT;

// Reads argv[1..argc-1] into `out`. Returns false with a message for the user in `why` on an unknown
// option, a missing or malformed value, a value out of range, a shaders folder that does not exist or lacks
// a stage, a tracks path that is not a folder, or an author option given without --author. -h, --help and
// --version end the reading where they stand: the request is then to show that text (commandLineText) and
// exit with 0.
bool parseCommandLine(int argc, char** argv, CommandLine* out, char* why, size_t whySize);

// The text shown with a refused command line.
extern const char* const COMMAND_LINE_USAGE;

// The text of a Help or Version request: the usage with every option, or "doz-engine VERSION (commit
// COMMIT)" as the build names them (app/version.h).
void commandLineText(CommandLineRequest request, char* text, int size);
