// Author mode's hot reload of the two stages from a watched folder: wait until writes settle, recompile
// only changed content, keep the last good program on a failure and say why.
#pragma once
#include "render/scene_program.h"

#include <cstdint>
#include <string>

constexpr uint32_t RELOAD_SETTLE_MS = 200;
constexpr int RELOAD_FOLDER_SIZE = 1024;
constexpr int RELOAD_FAILURE_SIZE = 160;

struct StageReloader {
    char folder[RELOAD_FOLDER_SIZE]; // empty: nothing watched
    bool pending;                    // a change was seen and has not settled yet
    uint32_t lastChangeTick;
    // The texts of the running program, and of the latest pair tried (good or not).
    std::string runningVertex, runningFragment, triedVertex, triedFragment;
    int reloadCounter;
    // What the title shows instead of the author title: a problem with the folder (gone, incomplete,
    // unreadable), cleared by the next complete read, before a build failure of the tried pair, cleared by
    // the next build that works.
    bool failed;
    char failure[RELOAD_FAILURE_SIZE];
    bool folderProblem;
    char folderFailure[RELOAD_FAILURE_SIZE]; // "stages missing: ..." or "reload failed: ... cannot be read"
    bool buildFailed;
    char buildFailure[RELOAD_FAILURE_SIZE]; // "reload failed: " and the log's first error line
    std::string buildLog;                   // the whole log of that failure
};

extern StageReloader stageReloader;

// Watches `folder` (nullptr: nothing), whose stages are compared with the running program's texts, and
// loads them at once when they differ (without counting that as a reload).
void startStageReloader(const char* folder, const char* runningVertex, const char* runningFragment);

// Once per frame: notes changes in the folder, and `RELOAD_SETTLE_MS` after the last one reloads: the first
// complete pair after the folder was gone too. Returns true when the title should change (a new program,
// a failure, a missing folder or file, or one of them cleared).
bool pollStageReloader(uint32_t now);

// R: reads and builds the stages at once, changed or not. Returns true as pollStageReloader does.
bool reloadStagesNow();

// Builds a pair of texts handed over (the page's editor) as a reload of the folder's would be: it counts,
// or it fails and the last good program runs on. A compiler's line L is reported as `authorLine(L)`
// (nullptr: as it is), for texts that were converted before they were compiled. Returns true when it built.
bool reloadStagesFromTexts(const std::string& vertex, const std::string& fragment, int (*authorLine)(int));
// A fragment text refused before it reached the compiler, said as a failed build with this log.
void refuseFragmentText(const char* log);
