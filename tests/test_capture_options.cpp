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
