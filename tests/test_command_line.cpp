// The command line: release defaults, author options, and every refusal with its message.
#include "app/command_line.h"
#include "app/version.h"
#include "tests/build_paths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

struct Parsed {
    bool ok;
    CommandLine options;
    std::string why;
};

Parsed parse(std::vector<std::string> words) {
    words.insert(words.begin(), "doz-engine");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    Parsed result;
    char why[512] = "";
    result.ok =
        parseCommandLine(static_cast<int>(argv.size()), argv.data(), &result.options, why, sizeof why);
    result.why = why;
    return result;
}

void expectRefused(const std::vector<std::string>& words, const std::string& message) {
    Parsed p = parse(words);
    EXPECT_FALSE(p.ok) << words.back();
    EXPECT_NE(p.why.find(message), std::string::npos) << p.why;
    EXPECT_NE(p.why.find("usage: doz-engine"), std::string::npos) << p.why;
}

} // namespace

TEST(CommandLine, NoOptionIsTheReleaseRun) {
    Parsed p = parse({});
    ASSERT_TRUE(p.ok);
    EXPECT_FALSE(p.options.author);
    EXPECT_EQ(p.options.atSeconds, 0.0);
    EXPECT_EQ(p.options.windowWidth, 1280);
    EXPECT_EQ(p.options.windowHeight, 720);
    EXPECT_STREQ(p.options.shadersDir, "");
}

TEST(CommandLine, AuthorOptionsAreRead) {
    std::string folder = std::string(sourceDir()) + "/shaders";
    Parsed p = parse({"--at", "61.25", "--author", "--window", "160x90", "--shaders", folder});
    ASSERT_TRUE(p.ok) << p.why;
    EXPECT_TRUE(p.options.author);
    EXPECT_EQ(p.options.atSeconds, 61.25);
    EXPECT_EQ(p.options.windowWidth, 160);
    EXPECT_EQ(p.options.windowHeight, 90);
    EXPECT_EQ(folder, p.options.shadersDir);
    // The ends of the ranges are allowed.
    EXPECT_TRUE(parse({"--author", "--at", "0", "--window", "16x16384"}).ok);
    EXPECT_TRUE(parse({"--author", "--at", "124"}).ok);
}

TEST(CommandLine, BadInputIsRefusedWithItsReason) {
    expectRefused({"--authr"}, "Unknown option \"--authr\"");
    expectRefused({"/at", "3"}, "Unknown option \"/at\"");
    expectRefused({"--author", "--at"}, "--at needs a value");
    expectRefused({"--author", "--at", "12s"}, "--at takes a number of seconds, not \"12s\"");
    expectRefused({"--author", "--at", "nan"}, "--at takes a number");
    expectRefused({"--author", "--at", "-0.5"}, "outside 0 to 124");
    expectRefused({"--author", "--at", "124.01"}, "outside 0 to 124");
    expectRefused({"--author", "--window", "1280*720"}, "--window takes WIDTHxHEIGHT");
    expectRefused({"--author", "--window", "1280x"}, "--window takes WIDTHxHEIGHT");
    expectRefused({"--author", "--window", "x720"}, "--window takes WIDTHxHEIGHT");
    expectRefused({"--author", "--window", "-1280x720"}, "--window takes WIDTHxHEIGHT");
    expectRefused({"--author", "--window", "1280x720x2"}, "--window takes WIDTHxHEIGHT");
    expectRefused({"--author", "--window", "15x720"}, "--window takes WIDTHxHEIGHT");
    expectRefused({"--author", "--window", "99999999999x720"}, "--window takes WIDTHxHEIGHT");
    expectRefused({"--at", "3"}, "--at is an author option: add --author");
    expectRefused({"--window", "320x200"}, "--window is an author option");
}

TEST(CommandLine, ShadersFolderMustHoldBothStages) {
    namespace fs = std::filesystem;
    fs::path folder = fs::temp_directory_path() / ("doz-command-line-" + std::to_string(getpid()));
    fs::remove_all(folder);
    expectRefused({"--author", "--shaders", folder.string()}, "no such folder");
    fs::create_directories(folder);
    std::FILE* file = std::fopen((folder / "scene.vert").string().c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    expectRefused({"--author", "--shaders", folder.string()}, "the folder has no scene.frag");
    file = std::fopen((folder / "scene.frag").string().c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_TRUE(parse({"--author", "--shaders", folder.string()}).ok);
    expectRefused({"--author", "--shaders", (folder / "scene.frag").string()}, "no such folder");
    fs::remove_all(folder);
}

TEST(CommandLine, HelpAndVersionAreRequestsToShowATextAndExit) {
    for (const char* word : {"-h", "--help"}) {
        Parsed p = parse({word});
        ASSERT_TRUE(p.ok) << word << ": " << p.why;
        EXPECT_EQ(p.options.request, CommandLineRequest::Help) << word;
    }
    Parsed version = parse({"--version"});
    ASSERT_TRUE(version.ok) << version.why;
    EXPECT_EQ(version.options.request, CommandLineRequest::Version);
    // They stand for the whole command line, wherever they come after what it could read.
    Parsed late = parse({"--author", "--at", "3", "--help", "--bogus"});
    ASSERT_TRUE(late.ok) << late.why;
    EXPECT_EQ(late.options.request, CommandLineRequest::Help);
    EXPECT_EQ(parse({}).options.request, CommandLineRequest::Run);
    expectRefused({"--bogus", "--help"}, "Unknown option \"--bogus\"");
    expectRefused({"--help=1"}, "Unknown option \"--help=1\"");

    char text[2048];
    commandLineText(CommandLineRequest::Version, text, sizeof text);
    EXPECT_EQ(std::string(text),
              std::string("doz-engine ") + PROGRAM_VERSION + " (commit " + PROGRAM_COMMIT + ")");
    commandLineText(CommandLineRequest::Help, text, sizeof text);
    std::string help = text;
    EXPECT_EQ(help.rfind("usage: doz-engine", 0), 0u) << help;
    for (const char* option : {"--scale", "--no-vsync", "--author", "--at", "--window", "--shaders",
                               "--tracks", "-h, --help", "--version"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(CommandLine, SyncTakesAnOptionalAddressAndTracksAFolder) {
    Parsed none = parse({"--author"});
    ASSERT_TRUE(none.ok);
    EXPECT_STREQ(none.options.syncAddress, "");
    EXPECT_STREQ(none.options.tracksDir, "");

    // Without an address, or followed by another option, the default editor.
    Parsed bare = parse({"--author", "--sync"});
    ASSERT_TRUE(bare.ok) << bare.why;
    EXPECT_STREQ(bare.options.syncAddress, "127.0.0.1:1338");
    Parsed before = parse({"--sync", "--author", "--at", "3"});
    ASSERT_TRUE(before.ok) << before.why;
    EXPECT_STREQ(before.options.syncAddress, "127.0.0.1:1338");
    EXPECT_DOUBLE_EQ(before.options.atSeconds, 3.0);

    EXPECT_STREQ(parse({"--author", "--sync", "editor.local"}).options.syncAddress, "editor.local:1338");
    EXPECT_STREQ(parse({"--author", "--sync", "10.0.0.2:4000"}).options.syncAddress, "10.0.0.2:4000");
    EXPECT_STREQ(parse({"--author", "--sync", ":1400"}).options.syncAddress, "127.0.0.1:1400");

    Parsed tracks = parse({"--author", "--tracks", "my tracks", "--sync"});
    ASSERT_TRUE(tracks.ok) << tracks.why;
    EXPECT_STREQ(tracks.options.tracksDir, "my tracks");

    for (const char* bad : {"host:0", "host:65536", "host:", "host:12x", "ws://host:1338", "a b"})
        expectRefused({"--author", "--sync", bad}, "--sync takes HOST");
    expectRefused({"--sync"}, "--sync is an author option");
    expectRefused({"--tracks", "t"}, "--tracks is an author option");
    expectRefused({"--author", "--tracks", ""}, "--tracks needs a folder");
}
