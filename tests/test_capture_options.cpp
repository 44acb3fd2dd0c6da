// doz-capture's command line: each option given outside the modes it belongs to is refused with its own
// reason, the first such rule in a fixed order deciding when several are broken; a mode's own options pass.
#include "capture/capture_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The reason the command line is refused with, or "" when it is taken.
std::string refusal(std::vector<const char*> args) {
    args.insert(args.begin(), "doz-capture");
    CaptureOptions options;
    std::string error;
    bool taken = parseCaptureOptions(static_cast<int>(args.size()), args.data(), &options, &error);
    return taken ? "" : error;
}

} // namespace

TEST(CaptureOptions, EachOptionOutsideItsModesIsRefusedWithItsReason) {
    const struct {
        std::vector<const char*> args;
        const char* reason;
    } cases[] = {
        {{"--at", "3", "--chunks", "2", "-o", "a.png"}, "--chunks applies to --plan only"},
        {{"--plan", "j", "-o", "a.mp4"}, "--plan needs --chunks N"},
        {{"--render-chunk", "j", "--chunks", "2"}, "--chunks applies to --plan only"},
        {{"--render-chunk", "j"}, "--render-chunk needs --chunk I"},
        {{"--video", "--chunk", "0", "-o", "a.mp4"}, "--chunk applies to --render-chunk only"},
        {{"--plan", "j", "--chunks", "2", "--frames", "-o", "a.mp4"},
         "--frames applies to --video only (a job's chunks are its frames until they are joined)"},
        {{"--at", "3", "--fps", "25", "-o", "a.png"},
         "--fps, --from and --to apply to --video and capture jobs only"},
        {{"--sheet", "2x2", "--to", "5", "-o", "a.png"},
         "--fps, --from and --to apply to --video and capture jobs only"},
        {{"--benchmark", "--supersample", "2"}, "--supersample does not apply to --benchmark"},
        {{"--assemble", "j", "-o", "a.mp4"}, "the output was named by --plan: -o applies to --plan only"},
        {{"--render-chunk", "j", "--chunk", "1", "-o", "a.mp4"},
         "the output was named by --plan: -o applies to --plan only"},
        {{"--video", "--bench-frames", "4", "-o", "a.mp4"}, "--bench-frames applies to --benchmark only"},
        {{"--benchmark", "--size", "64x36"},
         "--benchmark takes no --size or --output: it measures fixed sizes and writes nothing"},
        {{"--benchmark", "-o", "b.txt"},
         "--benchmark takes no --size or --output: it measures fixed sizes and writes nothing"},
        // Several broken at once: the first rule decides.
        {{"--at", "3", "--frames", "--fps", "25", "--bench-frames", "4", "-o", "a.png"},
         "--frames applies to --video only (a job's chunks are its frames until they are joined)"},
        {{"--benchmark", "--fps", "25", "--supersample", "2", "--bench-frames", "4"},
         "--fps, --from and --to apply to --video and capture jobs only"},
        // Each mode with its own options.
        {{"--video", "--frames", "--fps", "25", "--from", "1", "--to", "2", "--supersample", "2", "-o", "a"},
         ""},
        {{"--plan", "j", "--chunks", "2", "--fps", "25", "--scale", "0.5", "-o", "a.mp4"}, ""},
        {{"--render-chunk", "j", "--chunk", "1", "--fps", "25", "--size", "64x36"}, ""},
        {{"--assemble", "j", "--from", "1"}, ""},
        {{"--benchmark", "--bench-frames", "4"}, ""},
        {{"--sheet", "2x2", "--supersample", "2", "-o", "s.png"}, ""},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const char* a : c.args)
            line += std::string(a) + " ";
        EXPECT_EQ(refusal(c.args), c.reason) << line;
    }
}

// Every limit is taken at its edge and refused, with its number, one past it; the refusals and the help
// say the same numbers.
TEST(CaptureOptions, EachLimitHoldsAtItsEdgeAndIsSaidWithItsNumber) {
    const std::string side = std::to_string(MAX_CAPTURE_SIDE), over = std::to_string(MAX_CAPTURE_SIDE + 1);
    const std::string sheet = std::to_string(MAX_SHEET_SIDE), samples = std::to_string(MAX_SUPERSAMPLE);
    const std::string chunks = std::to_string(MAX_JOB_CHUNKS), bench = std::to_string(MAX_BENCH_FRAMES);
    const struct {
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {{"--at", "3", "--size", side + "x1", "-o", "a.png"}, ""},
        {{"--at", "3", "--size", over + "x1", "-o", "a.png"},
         "--size " + over + "x1: width and height must be 1 to " + side},
        {{"--sheet", sheet + "x1", "--size", "1x1", "-o", "a.png"}, ""},
        {{"--sheet", "1x" + std::to_string(MAX_SHEET_SIDE + 1), "-o", "a.png"},
         "--sheet takes COLUMNSxROWS, each 1 to " + sheet + ", not '1x" + std::to_string(MAX_SHEET_SIDE + 1) +
             "'"},
        {{"--at", "3", "--supersample", samples, "--size", "2x2", "-o", "a.png"}, ""},
        {{"--at", "3", "--supersample", std::to_string(MAX_SUPERSAMPLE + 1), "-o", "a.png"},
         "--supersample " + std::to_string(MAX_SUPERSAMPLE + 1) + ": give 1 to " + samples +
             " (samples per pixel: its square)"},
        {{"--at", "3", "--supersample", "2", "--size", std::to_string(MAX_CAPTURE_SIDE / 2 + 1) + "x2", "-o",
          "a.png"},
         "--supersample draws at N times the size, which would exceed " + side + " pixels a side"},
        {{"--render-chunk", "j", "--chunk", std::to_string(MAX_JOB_CHUNKS - 1)}, ""},
        {{"--render-chunk", "j", "--chunk", chunks}, "--chunk " + chunks + ": give a chunk number from 0"},
        {{"--plan", "j", "--chunks", std::to_string(MAX_JOB_CHUNKS + 1), "-o", "a.mp4"},
         "--chunks " + std::to_string(MAX_JOB_CHUNKS + 1) + ": give 1 to " + chunks + " chunks"},
        {{"--benchmark", "--bench-frames", bench}, ""},
        {{"--benchmark", "--bench-frames", std::to_string(MAX_BENCH_FRAMES + 1)},
         "--bench-frames " + std::to_string(MAX_BENCH_FRAMES + 1) + ": give 1 to " + bench + " frames"},
        {{"--at", "3", "--scale", "0.25", "-o", "a.png"}, ""},
        // The size a kind of video can take is the kind's: odd sides only as PNG frames.
        {{"--video", "--size", "161x90", "-o", "a.mp4"},
         "H.264 in yuv420p needs an even width and height (or use --frames)"},
        {{"--video", "--frames", "--size", "161x91", "-o", "a"}, ""},
        {{"--at", "124", "-o", "a.png"}, ""},
        {{"--at", "124.001", "-o", "a.png"},
         "--at 124.001 is outside the run: times go from 0 to 124 seconds"},
    };
    for (const auto& c : cases) {
        std::vector<const char*> args;
        std::string line;
        for (const std::string& a : c.args) {
            args.push_back(a.c_str());
            line += a + " ";
        }
        EXPECT_EQ(refusal(args), c.reason) << line;
    }
    const std::string help = captureHelp();
    EXPECT_NE(help.find("1 to " + side + " each way"), std::string::npos);
    EXPECT_NE(help.find("(N 1 to " + samples + ", default 1)"), std::string::npos);
}

// Each option and mode that --help lists is one the command line takes by that name.
TEST(CaptureOptions, EveryNameTheHelpListsIsTaken) {
    const std::string help = captureHelp();
    int listed = 0;
    for (size_t at = help.find("\n  -"); at != std::string::npos; at = help.find("\n  -", at + 1)) {
        const size_t end = help.find_first_of(" \n", at + 3);
        std::string name = help.substr(at + 3, end - at - 3);
        if (name.back() == ',') // "-o, --output": both names
            name.pop_back();
        std::string error = refusal({name.c_str()});
        EXPECT_EQ(error.find("unknown option"), std::string::npos) << name << ": " << error;
        listed += 1;
    }
    EXPECT_EQ(listed, 20); // 8 modes and 12 options (the second names of -o and -h are taken below)
    EXPECT_EQ(refusal({"--output", "a.png", "--at", "3"}), "");
    EXPECT_EQ(refusal({"--help"}), "");
}
