// The progress report: frames done, frames per second and the time left.
#include "capture/progress.h"

#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

struct Progress {
    const char* what;
    const char* unit;
    int total;
    bool terminal;
    Clock::time_point start;
    Clock::time_point lastDraw;
    int lastPercent;
    bool drawn;
};
} // namespace

static Progress progress;

constexpr int BAR_WIDTH = 30;
constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(100);

void formatDuration(double seconds, char* buffer, int size) {
    long s = seconds > 0.0 ? static_cast<long>(seconds + 0.5) : 0;
    if (s >= 3600)
        std::snprintf(buffer, static_cast<size_t>(size), "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buffer, static_cast<size_t>(size), "%ld:%02ld", s / 60, s % 60);
}

void startProgress(const char* what, const char* unit, int total) {
    progress = {what, unit, total, isatty(STDERR_FILENO) != 0, Clock::now(), Clock::now(), -1, false};
}

void reportProgress(int done) {
    Clock::time_point now = Clock::now();
    double elapsed = std::chrono::duration<double>(now - progress.start).count();
    double rate = elapsed > 0.0 ? done / elapsed : 0.0;
    char left[32] = "?";
    if (rate > 0.0)
        formatDuration((progress.total - done) / rate, left, sizeof left);
    int percent = progress.total > 0 ? static_cast<int>(100LL * done / progress.total) : 100;

    if (progress.terminal) {
        // Redrawing costs little, but not on every frame of a fast capture.
        if (done < progress.total && progress.drawn && now - progress.lastDraw < REDRAW_INTERVAL)
            return;
        char bar[BAR_WIDTH + 1];
        int filled =
            progress.total > 0 ? static_cast<int>(1LL * BAR_WIDTH * done / progress.total) : BAR_WIDTH;
        for (int i = 0; i < BAR_WIDTH; ++i)
            bar[i] = i < filled ? '#' : '.';
        bar[BAR_WIDTH] = '\0';
        std::fprintf(stderr, "\r%s [%s] %d/%d %s  %.1f fps  %s left \x1b[K", progress.what, bar, done,
                     progress.total, progress.unit, rate, left);
        std::fflush(stderr);
        progress.lastDraw = now;
        progress.drawn = true;
        return;
    }
    if (percent == progress.lastPercent)
        return;
    progress.lastPercent = percent;
    std::fprintf(stderr, "doz-capture: %s %d%% (%d/%d %s, %.1f fps, %s left)\n", progress.what, percent, done,
                 progress.total, progress.unit, rate, left);
}

void finishProgress() {
    if (progress.terminal && progress.drawn)
        std::fputc('\n', stderr);
    progress.drawn = false;
}
