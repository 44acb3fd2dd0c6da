// The frame-rate title rule.
#include "app/frame_rate_title.h"

#include "app/input.h"
#include "platform/window.h"
#include "render/scene_program.h"
#include "render/stage_reloader.h"

FrameRateTitle frameRateTitle = {0, 0, 0, 0};

void countFrameForTitle(uint32_t now) {
    FrameRateTitle& t = frameRateTitle;
    if (t.windowStartTick == 0)
        t.windowStartTick = now;
    t.frameCounter += 1;
    uint32_t elapsed = now - t.windowStartTick; // unsigned: survives the tick count's wrap
    if (elapsed < TITLE_INTERVAL_MS)
        return;
    t.fps = t.frameCounter * 1000u / elapsed;
    writeFrameRateTitle();
    t.windowStartTick = now;
    t.frameCounter = 0;
}

void writeFrameRateTitle() {
    if (stageReloader.failed) {
        setWindowTitle(stageReloader.failure);
    } else if (!shaderErrorFlag) {
        char title[64];
        formatWindowTitle(title, FRAME_RATE_TITLE_FORMAT, frameRateTitle.fps, fracCounter(),
                          frameRateTitle.reloadCounter);
        setWindowTitle(title);
    }
}

void holdFrameRateTitle() {
    frameRateTitle.windowStartTick = 0;
}

void setTitleReloadCount(int32_t reloads) {
    frameRateTitle.reloadCounter = reloads;
}

void showCompileLogInTitle() {
    if (shaderErrorFlag && windowExists())
        setWindowTitle(compileLog);
}
