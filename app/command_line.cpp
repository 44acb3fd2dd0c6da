// Parsing and checking the command line before any window opens.
#include "app/command_line.h"

#include "app/option_numbers.h"

#include "app/version.h"
#include "audio/soundtrack.h"
#include "render/auto_scale.h"
#include "render/stage_files.h"
#include "sync/track_files.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

const char* const COMMAND_LINE_USAGE =
    "usage: doz-engine [--scale F|auto] [--no-vsync] [--author [--at SECONDS] [--window WIDTHxHEIGHT] "
    "[--shaders DIR] [--tracks DIR] [--sync [HOST[:PORT]] [--sync-send-keys]]]\n"
    "       doz-engine --help | --version";

static const char* const OPTIONS_HELP =
    "Plays the demo in a borderless window over the screen, with its soundtrack; it ends after 124 s of\n"
    "music, or on Escape.\n"
    "\n"
    "  --scale F|auto   draw the scene at F (0.25 to 1) times the window's size and stretch it; auto\n"
    "                   follows the frame rate to hold about 30 fps\n"
    "  --no-vsync       do not wait for the display between frames\n"
    "  --author         an author's tool: a window, transport keys, the stages reloaded when saved\n"
    "    --at SECONDS     start at that music time (0 to 124)\n"
    "    --window WxH     the window's client size, each side 16 to 16384 (default 1280x720)\n"
    "    --shaders DIR    the folder of scene.vert and scene.frag to watch (default: shaders/ in the\n"
    "                     working directory, written there from the built-in stages when it is missing)\n"
    "    --tracks DIR     the folder of sync track files and rows.txt, read at start and when a file\n"
    "                     changes (default: tracks/ in the working directory; a missing folder is made\n"
    "                     from the built-in tracks)\n"
    "    --sync [HOST[:PORT]]  link to a sync editor (default 127.0.0.1:1338): it drives the transport\n"
    "                     and keys the tracks; its save writes the track files into the tracks folder\n"
    "    --sync-send-keys  K, flying, sends the flown view's keys to the linked editor, for editors that\n"
    "                     take keys from the demo (the GNU Rocket editor does not: unlinked, K writes the\n"
    "                     tracks folder and its tracks.rocket, which that editor opens); without it the\n"
    "                     editor holds the keys and K writes none\n"
    "  -h, --help       this text\n"
    "  --version        the version and the commit it was built from\n"
    "\n"
    "A command line it cannot use ends the run with exit code 2 before any window opens.";

void commandLineText(CommandLineRequest request, char* text, int size) {
    if (request == CommandLineRequest::Version)
        std::snprintf(text, static_cast<size_t>(size), "doz-engine %s (commit %s)", PROGRAM_VERSION,
                      PROGRAM_COMMIT);
    else
        std::snprintf(text, static_cast<size_t>(size), "%s\n\n%s", COMMAND_LINE_USAGE, OPTIONS_HELP);
}

static bool refuse(char* why, size_t whySize, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int used = std::vsnprintf(why, whySize, format, arguments);
    va_end(arguments);
    if (used >= 0 && static_cast<size_t>(used) < whySize)
        std::snprintf(why + used, whySize - static_cast<size_t>(used), "\n%s", COMMAND_LINE_USAGE);
    return false;
}

static bool readSide(const char** cursor, int* side) {
    if (**cursor < '0' || **cursor > '9')
        return false;
    char* stop = nullptr;
    errno = 0;
    long value = std::strtol(*cursor, &stop, 10);
    if (errno != 0 || value < MIN_WINDOW_SIDE || value > MAX_WINDOW_SIDE)
        return false;
    *side = static_cast<int>(value);
    *cursor = stop;
    return true;
}

static bool readScale(const char* value, CommandLine* out, char* why, size_t whySize) {
    if (std::strcmp(value, "auto") == 0) {
        out->scale = 0.0;
        out->scaleAuto = true;
        return true;
    }
    double scale = 0.0;
    if (!readOptionNumber(value, &scale) || !(scale >= MIN_RENDER_SCALE && scale <= MAX_RENDER_SCALE))
        return refuse(why, whySize, "--scale takes a number from 0.25 to 1, or auto, not \"%s\".", value);
    out->scale = scale;
    out->scaleAuto = false;
    return true;
}

// HOST, HOST:PORT or :PORT, into "HOST:PORT".
static bool readSyncAddress(const char* text, char* out, size_t outSize) {
    const char* colon = std::strrchr(text, ':');
    size_t hostSize = colon != nullptr ? static_cast<size_t>(colon - text) : std::strlen(text);
    long port = DEFAULT_SYNC_PORT;
    // A sign or space before the digits is no port.
    if (colon != nullptr && (colon[1] < '0' || colon[1] > '9' || !readOptionInteger(colon + 1, &port) ||
                             port < 1 || port > 65535))
        return false;
    for (size_t i = 0; i < hostSize; ++i)
        if (text[i] <= ' ' || text[i] == '/')
            return false;
    int used = hostSize == 0
                   ? std::snprintf(out, outSize, "%s:%ld", DEFAULT_SYNC_HOST, port)
                   : std::snprintf(out, outSize, "%.*s:%ld", static_cast<int>(hostSize), text, port);
    return used > 0 && static_cast<size_t>(used) < outSize;
}

static bool readWindowSize(const char* text, int* width, int* height) {
    const char* cursor = text;
    if (!readSide(&cursor, width) || (*cursor != 'x' && *cursor != 'X'))
        return false;
    ++cursor;
    return readSide(&cursor, height) && *cursor == '\0';
}

// A folder, or a path with nothing there yet (it is made from the built-in tracks), short enough for the
// longest track file's name beside it.
static bool readTracksFolderOption(const char* value, CommandLine* out, char* why, size_t whySize) {
    if (value[0] == '\0')
        return refuse(why, whySize, "--tracks needs a folder.");
    if (std::strlen(value) + 1 + SYNC_FILE_NAME_ROOM > sizeof out->tracksDir)
        return refuse(why, whySize, "--tracks: the folder name is too long.");
    std::error_code error;
    if (std::filesystem::exists(value, error) && !std::filesystem::is_directory(value, error))
        return refuse(why, whySize, "--tracks %s: not a folder.", value);
    std::snprintf(out->tracksDir, sizeof out->tracksDir, "%s", value);
    return true;
}

bool parseCommandLine(int argc, char** argv, CommandLine* out, char* why, size_t whySize) {
    *out = CommandLine();
    const char* authorOnly = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        bool takesValue = std::strcmp(option, "--at") == 0 || std::strcmp(option, "--window") == 0 ||
                          std::strcmp(option, "--shaders") == 0 || std::strcmp(option, "--tracks") == 0;
        if (std::strcmp(option, "-h") == 0 || std::strcmp(option, "--help") == 0 ||
            std::strcmp(option, "--version") == 0) {
            out->request = option[2] == 'v' ? CommandLineRequest::Version : CommandLineRequest::Help;
            return true;
        }
        if (std::strcmp(option, "--author") == 0) {
            out->author = true;
            continue;
        }
        if (std::strcmp(option, "--sync") == 0) {
            // The address is optional: a next word that is no option is it.
            const char* value = i + 1 < argc && argv[i + 1][0] != '-' ? argv[++i] : "";
            if (!readSyncAddress(value, out->syncAddress, sizeof out->syncAddress))
                return refuse(why, whySize,
                              "--sync takes HOST, HOST:PORT or :PORT (port 1 to 65535), not \"%s\".", value);
            authorOnly = option;
            continue;
        }
        if (std::strcmp(option, "--sync-send-keys") == 0) {
            out->syncSendKeys = true;
            authorOnly = option;
            continue;
        }
        if (std::strcmp(option, "--no-vsync") == 0) {
            out->vsync = false;
            continue;
        }
        if (std::strcmp(option, "--scale") == 0 || std::strncmp(option, "--scale=", 8) == 0) {
            const char* value = option + 7;
            if (*value == '\0') {
                if (i + 1 >= argc)
                    return refuse(why, whySize, "--scale needs a value: a number from 0.25 to 1, or auto.");
                value = argv[++i];
            } else {
                ++value; // past the '='
            }
            if (!readScale(value, out, why, whySize))
                return false;
            continue;
        }
        if (!takesValue)
            return refuse(why, whySize, "Unknown option \"%s\".", option);
        if (i + 1 >= argc)
            return refuse(why, whySize, "%s needs a value.", option);
        const char* value = argv[++i];
        authorOnly = option;
        if (std::strcmp(option, "--at") == 0) {
            if (!readOptionNumber(value, &out->atSeconds))
                return refuse(why, whySize, "--at takes a number of seconds, not \"%s\".", value);
            if (out->atSeconds < 0.0 || out->atSeconds > END_TIME)
                return refuse(why, whySize, "--at %s is outside 0 to %.0f seconds.", value, END_TIME);
        } else if (std::strcmp(option, "--window") == 0) {
            if (!readWindowSize(value, &out->windowWidth, &out->windowHeight))
                return refuse(why, whySize, "--window takes WIDTHxHEIGHT, each %d to %d, not \"%s\".",
                              MIN_WINDOW_SIDE, MAX_WINDOW_SIDE, value);
        } else if (std::strcmp(option, "--tracks") == 0) {
            if (!readTracksFolderOption(value, out, why, whySize))
                return false;
        } else {
            if (std::strlen(value) + 1 > sizeof out->shadersDir - STAGE_NAME_ROOM)
                return refuse(why, whySize, "--shaders: the folder name is too long.");
            char missing[SHADERS_DIR_SIZE + STAGE_NAME_ROOM];
            if (!stageFolderComplete(value, missing, sizeof missing))
                return refuse(why, whySize, "--shaders %s: %s.", value, missing);
            std::snprintf(out->shadersDir, sizeof out->shadersDir, "%s", value);
        }
    }
    if (authorOnly != nullptr && !out->author)
        return refuse(why, whySize, "%s is an author option: add --author.", authorOnly);
    if (out->syncSendKeys && out->syncAddress[0] == '\0')
        return refuse(why, whySize, "--sync-send-keys sends keys to a linked editor: add --sync.");
    return true;
}
