// doz-capture's refusals: each bad input names its fault, exits non-zero and leaves no file behind.
#include "tests/capture_tool.h"

#include <gtest/gtest.h>

#include <fstream>

struct BadInput {
    const char* name;
    std::vector<std::string> args; // "OUT" stands for a path in the test's folder
    const char* message;
    int status;
};

static std::ostream& operator<<(std::ostream& out, const BadInput& input) {
    return out << input.name;
}

class CaptureRefuses : public testing::TestWithParam<BadInput> {};

TEST_P(CaptureRefuses, WithItsReasonAndNoOutput) {
    const BadInput& input = GetParam();
    ScratchFolder folder;
    // A plain file where a folder is expected makes a path that even root cannot write.
    std::ofstream(folder / "file") << "x";
    std::vector<std::string> args;
    for (const std::string& a : input.args)
        args.push_back(a.rfind("OUT", 0) == 0 ? folder / a.substr(3) : a);
    ToolRun run =
        runCapture(args, input.name == std::string("no EGL device")
                             ? std::vector<std::string>{"__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json"}
                             : std::vector<std::string>{});
    EXPECT_EQ(run.status, input.status) << run.err;
    EXPECT_NE(run.err.find(input.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(folder.list(), std::vector<std::string>{"file"});
}

INSTANTIATE_TEST_SUITE_P(
    BadInputs, CaptureRefuses,
    testing::Values(
        BadInput{"unknown option",
                 {"--at", "3", "--colour", "red", "-o", "OUT.png"},
                 "unknown option '--colour'",
                 2},
        BadInput{"zero size", {"--at", "3", "--size", "0x90", "-o", "OUT.png"}, "must be 1 to 16384", 2},
        BadInput{"size above 16384",
                 {"--at", "3", "--size", "16385x90", "-o", "OUT.png"},
                 "must be 1 to 16384",
                 2},
        BadInput{"malformed size", {"--at", "3", "--size", "160by90", "-o", "OUT.png"}, "WIDTHxHEIGHT", 2},
        BadInput{"zero fps", {"--video", "--fps", "0", "-o", "OUT.mp4"}, "frame rate must be above 0", 2},
        BadInput{
            "negative fps", {"--video", "--fps", "-30", "-o", "OUT.mp4"}, "frame rate must be above 0", 2},
        BadInput{"time past the end", {"--at", "124.01", "-o", "OUT.png"}, "outside the run", 2},
        BadInput{"negative time", {"--at", "-1", "-o", "OUT.png"}, "outside the run", 2},
        BadInput{"start past the end", {"--video", "--from", "130", "-o", "OUT.mp4"}, "outside the run", 2},
        BadInput{"empty range", {"--video", "--from", "20", "--to", "20", "-o", "OUT.mp4"}, "before --to", 2},
        BadInput{"odd size for H.264", {"--video", "--size", "161x90", "-o", "OUT.mp4"}, "even width", 2},
        BadInput{
            "sheet too large", {"--sheet", "8x4", "--size", "4000x100", "-o", "OUT.png"}, "exceed 16384", 2},
        BadInput{"two modes", {"--at", "3", "--video", "-o", "OUT.png"}, "choose one", 2},
        BadInput{"scale too small", {"--at", "3", "--scale", "0.2", "-o", "OUT.png"}, "from 0.25 to 1", 2},
        BadInput{"automatic scale", {"--at", "3", "--scale", "auto", "-o", "OUT.png"}, "live run", 2},
        BadInput{"no output", {"--at", "3"}, "no output path", 2},
        BadInput{"unwritable still",
                 {"--at", "3", "--size", "16x8", "-o", "OUTfile/still.png"},
                 "cannot write",
                 1},
        BadInput{"unwritable sheet",
                 {"--sheet", "2x2", "--size", "16x8", "-o", "OUTmissing/sheet.png"},
                 "cannot write",
                 1},
        BadInput{"unwritable video",
                 {"--video", "--to", "1", "--size", "16x8", "-o", "OUTfile/v.mp4"},
                 "cannot write",
                 1},
        BadInput{"existing frames folder",
                 {"--video", "--frames", "--to", "1", "--size", "16x8", "-o", "OUTfile"},
                 "already exists",
                 1},
        BadInput{"no EGL device", {"--at", "3", "--size", "16x8", "-o", "OUT.png"}, "no EGL device", 1}),
    [](const testing::TestParamInfo<BadInput>& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

TEST(CaptureHelp, ExplainsTheModesAndTheBeatRule) {
    ToolRun run = runCapture({"--help"});
    EXPECT_EQ(run.status, 0);
    for (const char* text : {"--at SECONDS", "--sheet COLSxROWS", "--video", "--benchmark", "--fps",
                             "iBeatHalf", "frame rate", "first frame"})
        EXPECT_NE(run.out.find(text), std::string::npos) << text;
}
