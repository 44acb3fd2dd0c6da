// The web page's address parameters: the moment to start at, the paused flag, and what a bad link gets.
#include "app/page_address.h"

#include <gtest/gtest.h>

#include <string>

namespace {
struct Read {
    PageAddress address;
    std::string warnings;
};

Read read(const char* query) {
    char warnings[256];
    PageAddress address = readPageAddress(query, warnings, sizeof warnings);
    return {address, warnings};
}
} // namespace

TEST(PageAddress, ReadsTheStartTimeAndThePausedFlag) {
    Read plain = read("");
    EXPECT_EQ(plain.address.atSeconds, 0.0);
    EXPECT_FALSE(plain.address.paused);
    EXPECT_EQ(plain.warnings, "");

    Read linked = read("?at=44.4&paused");
    EXPECT_DOUBLE_EQ(linked.address.atSeconds, 44.4);
    EXPECT_TRUE(linked.address.paused);
    EXPECT_EQ(linked.warnings, "");

    // Order, a missing '?', other keys, escapes and the flag's own values.
    Read reordered = read("zoom=2&paused=1&at=%37%30");
    EXPECT_DOUBLE_EQ(reordered.address.atSeconds, 70.0);
    EXPECT_TRUE(reordered.address.paused);
    EXPECT_FALSE(read("?at=3&paused=0").address.paused);
    EXPECT_FALSE(read("?at=3&paused=false").address.paused);
    EXPECT_FALSE(read("?pausedx&at=3").address.paused);
    EXPECT_DOUBLE_EQ(read("?at=5&at=6").address.atSeconds, 6.0); // the last one counts
    EXPECT_DOUBLE_EQ(read("?at=124").address.atSeconds, 124.0);
}

TEST(PageAddress, MalformedTimesAreIgnoredAndOutOfRangeOnesClamped) {
    for (const char* query : {"?at=abc", "?at=", "?at", "?at=12x", "?at=nan", "?at=inf", "?at=1..2"}) {
        Read bad = read(query);
        EXPECT_EQ(bad.address.atSeconds, 0.0) << query;
        EXPECT_NE(bad.warnings.find("is not a time in seconds; starting at 0"), std::string::npos)
            << query << ": " << bad.warnings;
    }
    Read early = read("?at=-3&paused");
    EXPECT_EQ(early.address.atSeconds, 0.0);
    EXPECT_TRUE(early.address.paused);
    EXPECT_EQ(early.warnings, "doz-engine: at=-3 is outside 0 to 124 s; starting at 0\n");
    Read late = read("?at=1e9");
    EXPECT_EQ(late.address.atSeconds, 124.0);
    EXPECT_EQ(late.warnings, "doz-engine: at=1e9 is outside 0 to 124 s; starting at 124\n");
}

TEST(PageAddress, WarningsStayWithinTheirBuffer) {
    char small[24];
    PageAddress address = readPageAddress("?at=x&at=y&at=-1", small, sizeof small);
    EXPECT_EQ(address.atSeconds, 0.0);
    EXPECT_LT(std::string(small).size(), sizeof small);
    PageAddress none = readPageAddress(nullptr, small, sizeof small);
    EXPECT_EQ(none.atSeconds, 0.0);
    EXPECT_FALSE(none.paused);
}

TEST(PageAddress, APausedMomentReadsBackToTheSameSample) {
    char query[64];
    formatPausedMoment(31.25, query, sizeof query);
    EXPECT_STREQ(query, "?at=31.25&paused");
    formatPausedMoment(0.0, query, sizeof query);
    EXPECT_STREQ(query, "?at=0&paused");
    formatPausedMoment(124.0, query, sizeof query);
    EXPECT_STREQ(query, "?at=124&paused");
    // Every sample the transport may hold, across the run, comes back as itself.
    for (long long frame = 0; frame <= 124LL * 44100; frame += 7919) {
        double held = static_cast<double>(frame) / 44100;
        formatPausedMoment(held, query, sizeof query);
        Read back = read(query);
        EXPECT_TRUE(back.address.paused);
        EXPECT_EQ(static_cast<long long>(back.address.atSeconds * 44100 + 0.5), frame) << query;
    }
}

TEST(PageAddress, SyncNamesAWebSocketOnly) {
    EXPECT_STREQ(read("?at=3").address.sync, "");
    Read linked = read("?at=3&sync=ws://127.0.0.1:1339");
    EXPECT_STREQ(linked.address.sync, "ws://127.0.0.1:1339");
    EXPECT_DOUBLE_EQ(linked.address.atSeconds, 3.0);
    EXPECT_EQ(linked.warnings, "");
    EXPECT_STREQ(read("sync=wss%3A%2F%2Feditor.example%3A443%2Fsync").address.sync,
                 "wss://editor.example:443/sync");

    for (const char* bad : {"?sync=http://host:1338", "?sync=127.0.0.1:1338", "?sync=", "?sync=ws://a%22b"}) {
        Read refused = read(bad);
        EXPECT_STREQ(refused.address.sync, "") << bad;
        EXPECT_NE(refused.warnings.find("no sync editor"), std::string::npos)
            << bad << ": " << refused.warnings;
    }
}
