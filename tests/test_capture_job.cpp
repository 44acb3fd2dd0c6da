// Capture job files: a plan reads back as it was written, and what the JSON standard refuses is refused,
// with the file and the reason.
#include "capture/capture_job.h"
#include "tests/capture_tool.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

CaptureOptions planOptions() {
    CaptureOptions o;
    o.mode = CaptureMode::Video;
    o.width = 320;
    o.height = 180;
    o.fps = 29.97;
    o.from = 1.5;
    o.to = 4.25;
    o.scale = 0.5;
    o.supersample = 2;
    o.chunks = 3;
    o.output = "/tmp/a \"quoted\" d\xC3\xA9mo\\take.mp4"; // quotes, a backslash and UTF-8 to escape
    return o;
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
}

} // namespace

TEST(CaptureJobFile, APlanReadsBackAsItWasWritten) {
    ScratchFolder scratch;
    const CaptureJob job = makeJob(planOptions(), scratch.path);
    const std::string text = jobJson(job);
    writeFile(scratch.path + "/job.json", text);
    CaptureJob read;
    std::string why;
    ASSERT_TRUE(readJob(scratch.path, &read, &why)) << why << "\n" << text;
    EXPECT_EQ(read.options.width, 320);
    EXPECT_EQ(read.options.height, 180);
    EXPECT_EQ(read.options.fps, 29.97); // doubles come back bit for bit
    EXPECT_EQ(read.options.from, 1.5);
    EXPECT_EQ(read.options.to, 4.25);
    EXPECT_EQ(read.options.scale, 0.5);
    EXPECT_EQ(read.options.supersample, 2);
    EXPECT_EQ(read.options.output, planOptions().output);
    EXPECT_EQ(read.frames, job.frames);
    ASSERT_EQ(read.chunks.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(read.chunks[i].first, job.chunks[i].first);
        EXPECT_EQ(read.chunks[i].count, job.chunks[i].count);
    }
    EXPECT_TRUE(sameRenderer(read.renderer, currentRenderer()));
    // The same job is the same text: a second --plan recognises its own.
    EXPECT_EQ(jobJson(read), text);
}

TEST(CaptureJobFile, WhatJsonRefusesIsRefusedWithTheFileAndTheReason) {
    ScratchFolder scratch;
    const std::string good = jobJson(makeJob(planOptions(), scratch.path));
    const std::string path = scratch.path + "/job.json";
    // Each fault is one edit of the good plan; every one of them was read as a number or a text before.
    const std::vector<std::pair<std::string, std::string>> faults = {
        {"\"supersample\": 2", "\"supersample\": 0x2"},
        {"\"supersample\": 2", "\"supersample\": 02"},
        {"\"from\": 1.5", "\"from\": 1."},
        {"\"output\": \"", "\"output\": \"\\ud800"},
        {"\"output\": \"", "\"output\": \"\\udc00\\ud800"},
        {"\n  ]\n}", "\n  ],\n}"},
        {"\"chunks\": [", "\"chunks\": [ /* three */"},
        {"{\n", "// a plan\n{\n"},
        {"\"to\": 4.25", "\"to\": +4.25"},
        {"\"to\": 4.25", "\"to\": NaN"},
        {"\"format\"", "'format'"},
    };
    for (const auto& [from, to] : faults) {
        const size_t at = good.find(from);
        ASSERT_NE(at, std::string::npos) << "the plan has no '" << from << "':\n" << good;
        std::string text = good;
        text.replace(at, from.size(), to);
        writeFile(path, text);
        CaptureJob job;
        std::string why;
        EXPECT_FALSE(readJob(scratch.path, &job, &why)) << "accepted '" << to << "'";
        EXPECT_EQ(why.rfind("'" + path + "' is not a usable plan: parse error at line ", 0), 0u)
            << "for '" << to << "': " << why;
    }

    // A plan the standard takes but this build cannot use names the field and why, as before.
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"\"fps\": 29.97", "\"fps\": \"29.97\""},
        {"\"supersample\": 2", "\"supersample\": 2.5"},
        {"\"size\": [", "\"size\": [321, "},
    };
    const std::vector<std::string> reasons = {"line 14: \"fps\" is missing or out of range",
                                              "line 18: \"supersample\" is missing or out of range",
                                              "line 10: \"size\" is not an even [width, height]"};
    for (size_t i = 0; i < fields.size(); ++i) {
        std::string text = good;
        const size_t at = text.find(fields[i].first);
        ASSERT_NE(at, std::string::npos) << fields[i].first;
        text.replace(at, fields[i].first.size(), fields[i].second);
        writeFile(path, text);
        CaptureJob job;
        std::string why;
        EXPECT_FALSE(readJob(scratch.path, &job, &why));
        EXPECT_EQ(why, "'" + path + "' is not a usable plan: " + reasons[i]);
    }
}

// Numbers beyond a double, integers beyond an int and values of the wrong kind once threw out of the reader
// and aborted the tool: each is refused with the file, the line it is on and the reason, and exit status 2.
TEST(CaptureJobFile, NumbersOutOfRangeAreRefusedWithTheirLine) {
    ScratchFolder scratch;
    const std::string good = jobJson(makeJob(planOptions(), scratch.path));
    const std::string path = scratch.path + "/job.json";
    struct Fault {
        std::string from, to, reason;
    };
    const std::vector<Fault> faults = {
        {"\"fps\": 29.97", "\"fps\": 1e400", "line 14: number overflow parsing '1e400'"},
        // The last member of its line, where the reader has already looked past the line's end.
        {"\"frames\": 82,", "\"frames\": -1e999\n  ,", "line 20: number overflow parsing '-1e999'"},
        {"\"from\": 1.5", "\"from\": 1e-400",
         "line 20: \"frames\" does not match the time range and frame rate"},
        {"\"frames\": 82", "\"frames\": 18446744073709551616",
         "line 20: \"frames\" does not match the time range and frame rate"},
        {"\"supersample\": 2", "\"supersample\": -9223372036854775809",
         "line 18: \"supersample\" is missing or out of range"},
        {"\"output\": \"", "\"output\": \"\\u0000", "line 19: \"output\" is missing"},
        {"[\n      0,\n      27\n    ]", "[0, 4294967323]",
         "line 22: the chunk ranges do not follow each other"},
        {"[\n      27,\n      27\n    ]", "[27, 2147483647]",
         "line 26: the chunk ranges do not follow each other"},
        {"\"tracks\"", "\"deep\": " + std::string(20, '[') + std::string(20, ']') + ",\n  \"tracks\"",
         "line 9: nested more than 16 deep"},
        {"\"renderer\": {", "\"renderer\": 7,\n  \"was\": {",
         "line 3: \"renderer\" is missing or incomplete"},
    };
    for (const Fault& fault : faults) {
        const size_t at = good.find(fault.from);
        ASSERT_NE(at, std::string::npos) << "the plan has no '" << fault.from << "':\n" << good;
        std::string text = good;
        text.replace(at, fault.from.size(), fault.to);
        writeFile(path, text);
        CaptureJob job;
        std::string why;
        EXPECT_FALSE(readJob(scratch.path, &job, &why)) << "accepted '" << fault.to << "'";
        EXPECT_EQ(why.rfind("'" + path + "' is not a usable plan: " + fault.reason, 0), 0u)
            << "for '" << fault.to << "': " << why;
    }

    // The tool itself: the overflowing rate refused, not thrown.
    std::string text = good;
    text.replace(text.find("\"fps\": 29.97"), 13, "\"fps\": 1e400");
    writeFile(path, text);
    ToolRun run = runCapture({"--render-chunk", scratch.path, "--chunk", "0"});
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.err,
              "doz-capture: '" + path + "' is not a usable plan: line 14: number overflow parsing '1e400'\n");
}
