// doz-capture's refusals: each bad input names its fault, exits non-zero and leaves no file behind.
#include "tests/capture_tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

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
        BadInput{
            "supersample above 4", {"--at", "3", "--supersample", "5", "-o", "OUT.png"}, "give 1 to 4", 2},
        BadInput{"supersample past the driver's size",
                 {"--at", "3", "--size", "8192x100", "--supersample", "3", "-o", "OUT.png"},
                 "exceed 16384",
                 2},
        BadInput{"plan without chunks", {"--plan", "OUTjob", "-o", "OUT.mp4"}, "needs --chunks", 2},
        BadInput{"plan output not UTF-8",
                 {"--plan", "OUTjob", "--chunks", "2", "--to", "1", "-o", "OUT\xff.mp4"},
                 "is not UTF-8 text",
                 2},
        BadInput{"chunk without its job",
                 {"--at", "3", "--chunk", "1", "-o", "OUT.png"},
                 "--render-chunk only",
                 2},
        BadInput{"more chunks than frames",
                 {"--plan", "OUTjob", "--chunks", "31", "--to", "1", "-o", "OUT.mp4"},
                 "more chunks than frames",
                 2},
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

// Faults of the machine rather than of the input: odd output names, an encoder that dies, the file size
// limit, memory running out. A failed run exits 1, says why and leaves no temporary; an existing output
// stays as it was until a complete one replaces it.
struct IoFault {
    const char* name;
    std::vector<std::string> args; // "OUT" marks a name in the test's folder, the run's working folder
    const char* encoder;           // the body of a fake ffmpeg put first on PATH; nullptr: the real one
    std::vector<std::string> limits;
    const char* existing; // an earlier output at this name in the folder, or nullptr
    int status;
    const char* message; // in stderr
};

static std::ostream& operator<<(std::ostream& out, const IoFault& fault) {
    return out << fault.name;
}

static const char* const EARLIER_TAKE = "an earlier take\n";

static std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A fake ffmpeg that claims an H.264 encoder when asked, and otherwise runs `body`.
static void writeFakeFfmpeg(const std::string& path, const char* body) {
    std::ofstream(path) << "#!/bin/sh\n"
                        << "case \"$*\" in *-encoders*) echo ' V....D libx264  fake H.264'; exit 0;; esac\n"
                        << body << "\n";
    chmod(path.c_str(), 0755);
}

class CaptureIoFault : public testing::TestWithParam<IoFault> {};

TEST_P(CaptureIoFault, ExitsWithItsReasonAndLeavesNoTemporary) {
    const IoFault& fault = GetParam();
    if (!fault.limits.empty() && !commandExists("prlimit"))
        GTEST_SKIP() << "prlimit is not installed";
    const bool limitsMemory =
        std::any_of(fault.limits.begin(), fault.limits.end(),
                    [](const std::string& limit) { return limit.rfind("--as=", 0) == 0; });
    if (limitsMemory && DOZ_SANITIZED)
        GTEST_SKIP() << "a sanitized build cannot run within an address space limit";
    const bool video = std::find(fault.args.begin(), fault.args.end(), "--video") != fault.args.end();
    const bool frames = std::find(fault.args.begin(), fault.args.end(), "--frames") != fault.args.end();
    if (video && !frames && fault.encoder == nullptr && !commandExists("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    ScratchFolder folder, tools;
    std::ofstream(folder / "file") << "x";
    std::vector<std::string> expected = {"file"};
    if (fault.existing != nullptr) {
        std::ofstream(folder / fault.existing) << EARLIER_TAKE;
        expected.push_back(fault.existing);
    }
    // Run in the folder with names relative to it: ffmpeg reads "take2:" at the start of a name as a
    // protocol, and only a relative name starts with it.
    std::vector<std::string> args, environment, wrapper = {"env", "-C", folder.path};
    for (const std::string& a : fault.args)
        args.push_back(a.rfind("OUT", 0) == 0 ? a.substr(3) : a);
    if (fault.encoder != nullptr) {
        writeFakeFfmpeg(tools / "ffmpeg", fault.encoder);
        environment.push_back("PATH=" + tools.path + ":" + std::getenv("PATH"));
    }
    if (!fault.limits.empty()) {
        // llvmpipe's threads each reserve a stack: their number must not depend on the machine.
        environment.push_back("LP_NUM_THREADS=2");
        wrapper.push_back("prlimit");
        wrapper.insert(wrapper.end(), fault.limits.begin(), fault.limits.end());
        wrapper.push_back("--");
    }
    ToolRun run = runCapture(args, environment, wrapper);

    EXPECT_EQ(run.status, fault.status) << run.err;
    EXPECT_NE(run.err.find(fault.message), std::string::npos) << run.err;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder.list(), expected);
    if (fault.status != 0) {
        EXPECT_EQ(run.out, "");
        if (fault.existing != nullptr) {
            EXPECT_EQ(readFile(folder / fault.existing), EARLIER_TAKE);
        }
    } else if (fault.existing != nullptr) {
        EXPECT_EQ(run.out, fault.existing + std::string("\n"));
        std::string written = readFile(folder / fault.existing);
        EXPECT_GT(written.size(), 1000u);
        EXPECT_EQ(written.substr(0, 8), video ? std::string("\0\0\0\x20"
                                                            "ftyp",
                                                            8)
                                              : "\x89PNG\r\n\x1a\n");
    }
}

static const std::vector<std::string> SHORT_VIDEO = {"--video", "--from", "20",     "--to", "20.5",
                                                     "--fps",   "4",      "--size", "32x18"};

static std::vector<std::string> shortVideo(std::vector<std::string> more) {
    more.insert(more.begin(), SHORT_VIDEO.begin(), SHORT_VIDEO.end());
    return more;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CaptureIoFault,
    testing::Values(IoFault{"colon in the video's name",
                            shortVideo({"-o", "OUTtake2:final.mp4"}),
                            nullptr,
                            {},
                            "take2:final.mp4",
                            0,
                            "wrote 2 frames"},
                    IoFault{"colon in the still's name",
                            {"--at", "20", "--size", "32x18", "-o", "OUTtake2:still.png"},
                            nullptr,
                            {},
                            "take2:still.png",
                            0,
                            "wrote the still"},
                    IoFault{"unwritable folder",
                            shortVideo({"-o", "OUTfile/take2:final.mp4"}),
                            nullptr,
                            {},
                            nullptr,
                            1,
                            "cannot write"},
                    IoFault{"encoder crashes",
                            shortVideo({"-o", "OUTtake.mp4"}),
                            "kill -SEGV $$",
                            {},
                            "take.mp4",
                            1,
                            "ffmpeg was ended by signal 11"},
                    IoFault{"encoder fails",
                            shortVideo({"-o", "OUTtake.mp4"}),
                            "echo 'fake ffmpeg: no' >&2; exit 1",
                            {},
                            "take.mp4",
                            1,
                            "ffmpeg failed with exit status 1"},
                    IoFault{"still past the file size limit",
                            {"--at", "20", "--size", "160x90", "-o", "OUTstill.png"},
                            nullptr,
                            {"--fsize=1024"},
                            "still.png",
                            1,
                            "File too large"},
                    IoFault{"frames past the file size limit",
                            shortVideo({"--frames", "-o", "OUTframes"}),
                            nullptr,
                            {"--fsize=1024"},
                            nullptr,
                            1,
                            "File too large"},
                    IoFault{"sheet without the memory for it",
                            {"--sheet", "4x4", "--size", "4096x4096", "-o", "OUTsheet.png"},
                            nullptr,
                            // Start-up and the first cells need well under 1.1 GB (about 0.6 GB with two
                            // llvmpipe threads), the 16384x16384 sheet another 0.8 GB. The CPU limit ends the
                            // run should the allocation succeed after all.
                            {"--as=1100000000", "--cpu=120"},
                            "sheet.png",
                            1,
                            "out of memory"}),
    [](const testing::TestParamInfo<IoFault>& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });
