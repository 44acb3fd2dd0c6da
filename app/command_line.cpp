// The executables' options: --scale F|auto and --no-vsync.
#include "app/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static bool fail(char* why, int whySize, const char* text, const char* value) {
    std::snprintf(why, static_cast<size_t>(whySize), text, value);
    return false;
}

static bool readScale(const char* value, CommandLine* out, char* why, int whySize) {
    if (std::strcmp(value, "auto") == 0) {
        out->scale = 0.0;
        out->scaleAuto = true;
        return true;
    }
    char* end = nullptr;
    double scale = std::strtod(value, &end);
    if (end == value || *end != '\0' || !(scale >= MIN_RENDER_SCALE && scale <= MAX_RENDER_SCALE))
        return fail(why, whySize, "--scale takes a number from 0.25 to 1, or auto, not '%s'", value);
    out->scale = scale;
    out->scaleAuto = false;
    return true;
}

bool parseCommandLine(int argc, char** argv, CommandLine* out, char* why, int whySize) {
    *out = CommandLine();
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--no-vsync") == 0) {
            out->vsync = false;
        } else if (std::strcmp(arg, "--scale") == 0) {
            if (i + 1 >= argc)
                return fail(why, whySize, "%s needs a value: a number from 0.25 to 1, or auto", arg);
            if (!readScale(argv[++i], out, why, whySize))
                return false;
        } else if (std::strncmp(arg, "--scale=", 8) == 0) {
            if (!readScale(arg + 8, out, why, whySize))
                return false;
        } else {
            return fail(why, whySize, "unknown option '%s' (the options are --scale F|auto and --no-vsync)",
                        arg);
        }
    }
    return true;
}
