// doz-capture --benchmark with a working ffmpeg, with the real ffmpeg unable to finish its file (a file size
// limit: it still exits with 0), and with an ffmpeg that takes no frames: a figure only when ffmpeg did its
// work, otherwise a failure and a non-zero exit.
#include "tests/capture_tool.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

const std::vector<std::string> ONE_FRAME = {"--benchmark", "--bench-frames", "1"};

bool hasPipeFigure(const ToolRun& run, const char* size) {
    return run.out.find(std::string(size) + "    + ffmpeg pipe") != std::string::npos;
}

} // namespace

TEST(CaptureBenchmark, PipeFiguresOnlyWhenFfmpegWroteItsFile) {
    if (!commandExists("ffmpeg") || !commandExists("prlimit"))
        GTEST_SKIP() << "ffmpeg or prlimit is not installed";
    ToolRun run = runCapture(ONE_FRAME);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(hasPipeFigure(run, "320x180") && hasPipeFigure(run, "640x360")) << run.out;

    // ffmpeg cannot write past 1 KB, says so, and still exits with 0.
    run = runCapture(ONE_FRAME, {}, {"prlimit", "--fsize=1024", "--"});
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.err.find("File too large"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("the MP4 it wrote is incomplete"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("+ PNG encode"), std::string::npos) << run.out; // the figures before it stand
    EXPECT_FALSE(hasPipeFigure(run, "320x180")) << run.out;
}

// An ffmpeg that exits at once, without reading a frame: the real one cannot be made to.
TEST(CaptureBenchmark, FailsWhenFfmpegTakesNoFrames) {
    ScratchFolder tools;
    for (const char* ending : {"exit 0", "exit 3"}) {
        std::ofstream(tools / "ffmpeg")
            << "#!/bin/sh\n"
            << "case \"$*\" in *-encoders*) echo ' V..... libx264  H.264'; exit 0;; esac\n"
            << ending << "\n";
        chmod((tools / "ffmpeg").c_str(), 0755);
        ToolRun run = runCapture(ONE_FRAME, {"PATH=" + tools.path + ":" + std::getenv("PATH")});
        EXPECT_EQ(run.status, 1) << ending << ": " << run.out;
        EXPECT_NE(run.err.find("after taking 0 of 1 frames: no pipe figure"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("exit status 3") != std::string::npos, ending == std::string("exit 3"))
            << run.err;
        EXPECT_FALSE(hasPipeFigure(run, "320x180")) << run.out;
    }
}
