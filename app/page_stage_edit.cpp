// Building the editor's text in the page as author mode reloads a stage file.
#include "app/page_stage_edit.h"

#include "app/frame_rate_title.h"
#include "render/glsl_es.h"
#include "render/stage_log_lines.h"
#include "render/stage_reloader.h"

#include <string>

constexpr const char* NOT_DESKTOP_LOG = "ERROR: 0:1: the first line must be '#version 330'\n";

void startPageStageEditing(const char* runningVertex, const char* runningFragment) {
    startStageReloader(nullptr, runningVertex, runningFragment);
}

bool buildPageFragmentStage(const char* authorText) {
    std::string es;
    bool built = false;
    StageReloader& r = stageReloader;
    if (glslEsFromDesktop(authorText, &es)) {
        built = reloadStagesFromTexts(r.runningVertex, es, authorLineOfEsLine);
    } else {
        // Refused as a compiler would refuse it, so that the editor marks the first line.
        refuseFragmentText(NOT_DESKTOP_LOG);
    }
    setTitleReloadCount(r.reloadCounter);
    writeFrameRateTitle();
    return built;
}

std::string pageStageErrorList() {
    std::string list;
    if (!stageReloader.buildFailed)
        return list;
    for (const StageLogError& error : stageLogErrors(stageReloader.buildLog.c_str()))
        list += std::to_string(error.line) + '\t' + error.message + '\n';
    return list;
}

int pageStageReloads() {
    return stageReloader.reloadCounter;
}
