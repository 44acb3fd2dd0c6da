// The author-mode title rule.
#include "app/author_title.h"

#include "app/author_tracks.h"
#include "app/fly_camera.h"
#include "app/input.h"
#include "app/sync_link.h"
#include "app/transport.h"
#include "audio/soundtrack.h"
#include "platform/window.h"
#include "render/stage_reloader.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

AuthorTitle authorTitle = {0, 0, 0, 0, false};

void formatTitleTime(char* text, int size, double seconds, bool paused) {
    long long sample = std::llround(seconds * SAMPLE_RATE);
    for (int decimals = 2; decimals <= 5; ++decimals) {
        std::snprintf(text, static_cast<size_t>(size), "%.*f", decimals, seconds);
        if (!paused || std::llround(std::strtod(text, nullptr) * SAMPLE_RATE) == sample)
            return;
    }
}

void formatAuthorTitle(char* text, int size, unsigned fps, int frac, int reloads, double seconds, bool paused,
                       bool loop, double loopStart, double loopEnd) {
    char time[32];
    formatTitleTime(time, sizeof time, seconds, paused);
    int used = std::snprintf(text, static_cast<size_t>(size), AUTHOR_TITLE_FORMAT, fps, frac, reloads, time);
    if (paused && used >= 0 && used < size)
        used += std::snprintf(text + used, static_cast<size_t>(size - used), "  paused");
    if (loop && used >= 0 && used < size)
        std::snprintf(text + used, static_cast<size_t>(size - used), "  loop %.2f-%.2f", loopStart, loopEnd);
}

void updateAuthorTitle(uint32_t now, bool force, double seconds) {
    AuthorTitle& t = authorTitle;
    if (t.frameCounter == 0 && t.windowStartTick == 0)
        t.windowStartTick = now;
    t.frameCounter += 1;
    uint32_t elapsed = now - t.windowStartTick;
    if (elapsed >= 1000) {
        t.fps = t.frameCounter * 1000u / elapsed;
        t.windowStartTick = now;
        t.frameCounter = 0;
    }
    if (!force && t.written && now - t.lastWriteTick < AUTHOR_TITLE_INTERVAL_MS)
        return;
    t.lastWriteTick = now;
    t.written = true;
    if (stageReloader.failed) {
        setWindowTitle(stageReloader.failure);
        return;
    }
    if (authorTracks.problem) {
        setWindowTitle(authorTracks.problemText);
        return;
    }
    char text[AUTHOR_TITLE_SIZE];
    formatAuthorTitle(text, sizeof text, t.fps, fracCounter(), stageReloader.reloadCounter, seconds,
                      transport.paused, loopActive(), transport.loopStart, transport.loopEnd);
    for (const char* note : {flyTitleNote(), syncLinkNote()}) {
        size_t used = std::strlen(text);
        if (note[0] != '\0' && used < sizeof text)
            std::snprintf(text + used, sizeof text - used, "  %s", note);
    }
    setWindowTitle(text);
}
