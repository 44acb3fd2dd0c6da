// The author-mode title: frame rate, frac, reload counter and music time, with the transport's state,
// written at least four times a second and at once after a key; or the latest reload failure.
#pragma once
#include <cstdint>

// The time is "%.2f" while playing; a held time has as many decimals as name its sample (at most five).
constexpr const char* AUTHOR_TITLE_FORMAT = "doz-engine  %u fps  frac %d  [reload %d]  %s s";
constexpr uint32_t AUTHOR_TITLE_INTERVAL_MS = 250;
constexpr int AUTHOR_TITLE_SIZE = 448;

struct AuthorTitle {
    uint32_t windowStartTick; // frame-rate window, as in the release title
    uint32_t frameCounter;
    unsigned fps;
    uint32_t lastWriteTick;
    bool written; // at least once
};

extern AuthorTitle authorTitle;

// A music time as the title shows it: while paused, the fewest decimals from two that round back to the
// same sample, so that `doz-capture --at` that text draws the held frame.
void formatTitleTime(char* text, int size, double seconds, bool paused);

// The title for the given state, into `text`.
void formatAuthorTitle(char* text, int size, unsigned fps, int frac, int reloads, double seconds, bool paused,
                       bool loop, double loopStart, double loopEnd);

// Counts the frame that ended at `now`, drawn at music time `seconds`; writes the title when `now` is due
// or `force` is set.
void updateAuthorTitle(uint32_t now, bool force, double seconds);
