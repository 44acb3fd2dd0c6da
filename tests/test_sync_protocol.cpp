// The editor protocol as bytes: the greeting and track requests, an editor's session split every way, the
// demo's rows, a new connection, and every kind of bad input failing the connection.
#include "sync/sync_protocol.h"
#include "sync/sync_tracks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {
using Bytes = std::vector<unsigned char>;

// The editor's side, written out here byte by byte: a command's byte, its big-endian words, and a last byte
// where it has one.
Bytes& command(Bytes& out, unsigned char code, std::initializer_list<uint32_t> words, int last = -1) {
    out.push_back(code);
    for (uint32_t word : words)
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<unsigned char>(word >> shift));
    if (last >= 0)
        out.push_back(static_cast<unsigned char>(last));
    return out;
}
Bytes greeting() {
    return Bytes{'h', 'e', 'l', 'l', 'o', ',', ' ', 'd', 'e', 'm', 'o', '!'};
}
const uint32_t ONE = 0x3F800000, TWO = 0x40000000, MINUS_FOUR = 0xC0800000;

Bytes takeAllOutput() {
    Bytes out(SYNC_OUTPUT_ROOM);
    out.resize(takeSyncOutput(out.data(), out.size()));
    return out;
}

std::string describe(const SyncEvent& event) {
    switch (event.kind) {
    case SYNC_EVENT_ROW:
        return "row " + std::to_string(event.row);
    case SYNC_EVENT_PAUSE:
        return event.paused ? "pause" : "play";
    case SYNC_EVENT_SAVE:
        return "save";
    default:
        return "refused " + std::to_string(event.track) + "/" + std::to_string(event.row);
    }
}

// Feeds the chunks as a service would: again until each is taken, handling events between calls. A save is
// recorded with the keys of camera:pos.x as they stood.
std::vector<std::string> feedChunks(const Bytes& stream, const std::vector<size_t>& cuts) {
    std::vector<std::string> events;
    size_t from = 0;
    for (size_t i = 0; i <= cuts.size(); ++i) {
        size_t to = i < cuts.size() ? cuts[i] : stream.size();
        while (from < to) {
            from += feedSyncBytes(stream.data() + from, to - from);
            SyncEvent event;
            while (takeSyncEvent(&event)) {
                events.push_back(describe(event));
                if (event.kind == SYNC_EVENT_SAVE)
                    events.back() += " with " + std::to_string(syncTracks.tracks[TRACK_CAMERA_POS_X].count);
            }
        }
    }
    return events;
}
} // namespace

TEST(SyncProtocol, EachConnectionGreetsThenAsksForEveryTrackInOrder) {
    unsigned char row[5];
    ASSERT_EQ(encodeSetRow(0x01020304, row, sizeof row), 5u);
    EXPECT_EQ(Bytes(row, row + 5), (Bytes{3, 1, 2, 3, 4}));
    EXPECT_EQ(encodeSetRow(1, row, 4), 0u);

    ASSERT_EQ(setSyncKey(TRACK_FOG_DENSITY, 3, 1.0f, SYNC_STEP), SYNC_KEY_ADDED);
    for (int connection = 0; connection < 2; ++connection) {
        SCOPED_TRACE(connection);
        startSyncConnection(500);
        Bytes hello = takeAllOutput();
        EXPECT_EQ(std::string(hello.begin(), hello.end()), "hello, synctracker!");
        EXPECT_EQ(syncClient.phase, SYNC_GREETING);
        // Nothing is asked, and the keys stand, until the editor has greeted.
        const Bytes hi = greeting();
        Bytes half(hi.begin(), hi.begin() + 7);
        EXPECT_EQ(feedSyncBytes(half.data(), half.size()), half.size());
        EXPECT_TRUE(takeAllOutput().empty());
        EXPECT_EQ(syncTracks.tracks[TRACK_FOG_DENSITY].count, 1);
        Bytes rest(hi.begin() + 7, hi.end());
        EXPECT_EQ(feedSyncBytes(rest.data(), rest.size()), rest.size());
        EXPECT_EQ(syncClient.phase, SYNC_TALKING);
        EXPECT_EQ(syncTracks.tracks[TRACK_FOG_DENSITY].count, 0) << "the editor's keys replace the demo's";

        // Read back as the editor reads: GET_TRACK, a big-endian length, the name.
        Bytes asked = takeAllOutput();
        size_t at = 0;
        for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
            ASSERT_LE(at + 5, asked.size());
            EXPECT_EQ(asked[at], 2);
            size_t length = size_t(asked[at + 1]) << 24 | size_t(asked[at + 2]) << 16 |
                            size_t(asked[at + 3]) << 8 | asked[at + 4];
            ASSERT_LE(at + 5 + length, asked.size());
            EXPECT_EQ(std::string(asked.begin() + long(at) + 5, asked.begin() + long(at + 5 + length)),
                      SYNC_TRACK_NAMES[track]);
            at += 5 + length;
        }
        EXPECT_EQ(at, asked.size());

        // The editor's key stays when the editor goes; with no connection, bytes are taken and ignored.
        Bytes key, late;
        command(key, SYNC_SET_KEY, {TRACK_FOG_DENSITY, 4, TWO}, SYNC_STEP);
        EXPECT_EQ(feedSyncBytes(key.data(), key.size()), key.size());
        endSyncConnection();
        EXPECT_EQ(syncClient.phase, SYNC_IDLE);
        command(late, SYNC_SET_KEY, {TRACK_FOG_DENSITY, 9, ONE}, SYNC_STEP);
        EXPECT_EQ(feedSyncBytes(late.data(), late.size()), late.size());
        EXPECT_EQ(trackValueAt(TRACK_FOG_DENSITY, 20.0), 2.0f);
    }
}

TEST(SyncProtocol, OneSessionDecodesAlikeInEverySplit) {
    Bytes stream = greeting();
    command(stream, SYNC_SET_KEY, {TRACK_CAMERA_POS_X, 0, ONE}, SYNC_LINEAR);
    command(stream, SYNC_SET_KEY, {TRACK_CAMERA_POS_X, 32, MINUS_FOUR}, SYNC_STEP);
    command(stream, SYNC_SET_KEY, {TRACK_GRADE_WARMTH, 7, TWO}, SYNC_RAMP);
    command(stream, SYNC_SET_KEY, {TRACK_CAMERA_POS_X, 0, TWO}, SYNC_LINEAR); // replaces row 0
    command(stream, SYNC_SET_KEY, {TRACK_CAMERA_POS_X, 64, ONE}, SYNC_STEP);
    command(stream, SYNC_PAUSE, {}, 1);
    command(stream, SYNC_SET_ROW, {48});
    command(stream, SYNC_DELETE_KEY, {TRACK_CAMERA_POS_X, 64});
    command(stream, SYNC_DELETE_KEY, {TRACK_CAMERA_POS_X, 65}); // no key there: nothing happens
    stream.push_back(5);                                        // save
    command(stream, SYNC_SET_KEY, {TRACK_CAMERA_POS_X, 80, ONE}, SYNC_STEP);
    command(stream, SYNC_PAUSE, {}, 0);
    const std::vector<std::string> expected = {"pause", "row 48", "save with 2", "play"};

    auto check = [&](const std::vector<size_t>& cuts) {
        resetSyncTracks();
        startSyncConnection(0);
        std::vector<std::string> events = feedChunks(stream, cuts);
        std::string where = "cuts:";
        for (size_t cut : cuts)
            where += " " + std::to_string(cut);
        ASSERT_EQ(events, expected) << where;
        ASSERT_EQ(syncClient.phase, SYNC_TALKING) << where;
        const SyncTrackKeys& x = syncTracks.tracks[TRACK_CAMERA_POS_X];
        ASSERT_EQ(x.count, 3) << where;
        ASSERT_EQ(trackValueAt(TRACK_CAMERA_POS_X, 8.0), 0.5f) << where; // 2 -> -4, a quarter of the way
        ASSERT_EQ(trackValueAt(TRACK_CAMERA_POS_X, 40.0), -4.0f) << where;
        ASSERT_EQ(trackValueAt(TRACK_CAMERA_POS_X, 90.0), 1.0f) << where;
        ASSERT_EQ(trackValueAt(TRACK_GRADE_WARMTH, 0.0), 2.0f) << where;
        ASSERT_EQ(syncClient.commandBytes, 0u) << where;
    };
    check({});
    std::vector<size_t> everyByte;
    for (size_t i = 1; i < stream.size(); ++i)
        everyByte.push_back(i);
    check(everyByte);
    for (size_t i = 1; i < stream.size(); ++i)
        for (size_t j = i; j < stream.size(); ++j)
            check({i, j});
}

TEST(SyncProtocol, DemoRowsQueueOnceAndTheNewestWins) {
    sendSyncRow(5); // no connection: nothing
    startSyncConnection(0);
    sendSyncRow(5); // not greeted yet
    EXPECT_EQ(takeAllOutput().size(), SYNC_CLIENT_GREETING_SIZE);
    Bytes hello = greeting();
    feedSyncBytes(hello.data(), hello.size());
    takeAllOutput();

    sendSyncRow(16);
    sendSyncRow(17);
    sendSyncRow(0x00010203);
    EXPECT_EQ(takeAllOutput(), (Bytes{3, 0, 1, 2, 3}));
    // A row partly sent is left whole; the next follows it.
    sendSyncRow(1);
    unsigned char part[2];
    EXPECT_EQ(takeSyncOutput(part, sizeof part), 2u);
    sendSyncRow(2);
    sendSyncRow(3);
    EXPECT_EQ(takeAllOutput(), (Bytes{0, 0, 1, 3, 0, 0, 0, 3}));
    size_t size = 1;
    pendingSyncOutput(&size);
    EXPECT_EQ(size, 0u);
}

// The editor's WebSocket port reads one command per message: the queue says where each one ends, also
// after part of one went and after a queued row was replaced.
TEST(SyncProtocol, QueuedOutputKeepsEachCommandsEnd) {
    startSyncConnection(0);
    EXPECT_EQ(pendingSyncCommandSize(), SYNC_CLIENT_GREETING_SIZE);
    takeAllOutput();
    EXPECT_EQ(pendingSyncCommandSize(), 0u);
    Bytes hello = greeting();
    feedSyncBytes(hello.data(), hello.size());
    sendSyncRow(7);
    sendSyncRow(8);
    std::vector<Bytes> messages;
    size_t size = 0;
    for (const unsigned char* bytes = pendingSyncOutput(&size); size > 0; bytes = pendingSyncOutput(&size)) {
        size_t first = pendingSyncCommandSize();
        ASSERT_GT(first, 0u);
        ASSERT_LE(first, size);
        // A cut: the rest of the command is still one message's worth.
        size_t part = messages.size() == 3 ? 2 : first;
        messages.emplace_back(bytes, bytes + part);
        dropSyncOutput(part);
        if (part < first) {
            EXPECT_EQ(pendingSyncCommandSize(), first - part);
            messages.back().insert(messages.back().end(), bytes, bytes + (first - part));
            dropSyncOutput(first - part);
        }
    }
    ASSERT_EQ(messages.size(), size_t(SYNC_TRACK_COUNT) + 1);
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        const Bytes& m = messages[size_t(track)];
        EXPECT_EQ(m.size(), 5 + std::strlen(SYNC_TRACK_NAMES[track])) << track;
        EXPECT_EQ(m[0], SYNC_GET_TRACK);
        EXPECT_EQ(std::string(m.begin() + 5, m.end()), SYNC_TRACK_NAMES[track]);
    }
    EXPECT_EQ(messages.back(), (Bytes{SYNC_SET_ROW, 0, 0, 0, 8}));
    EXPECT_EQ(pendingSyncCommandSize(), 0u);
}

TEST(SyncProtocol, FullEventQueueOrFullTrackHoldsNoBytesBack) {
    Bytes stream = greeting();
    for (size_t i = 0; i < SYNC_MAX_EVENTS + 6; ++i)
        command(stream, SYNC_PAUSE, {}, static_cast<unsigned char>(i % 2));
    startSyncConnection(0);
    size_t taken = feedSyncBytes(stream.data(), stream.size());
    EXPECT_EQ(taken, 12 + 2 * SYNC_MAX_EVENTS);
    EXPECT_EQ(feedSyncBytes(stream.data() + taken, stream.size() - taken), 0u) << "the queue is full";
    SyncEvent event;
    size_t events = 0;
    while (takeSyncEvent(&event))
        ++events;
    EXPECT_EQ(events, SYNC_MAX_EVENTS);
    EXPECT_EQ(feedSyncBytes(stream.data() + taken, stream.size() - taken), stream.size() - taken);

    // A key for a full track is refused and reported; the connection goes on.
    for (int row = 0; row < SYNC_MAX_KEYS; ++row)
        ASSERT_NE(setSyncKey(TRACK_HERO_FOLD, row, 1.0f, SYNC_STEP), SYNC_KEY_REFUSED);
    Bytes more;
    command(more, SYNC_SET_KEY, {TRACK_HERO_FOLD, SYNC_MAX_KEYS + 5, ONE}, SYNC_STEP);
    command(more, SYNC_SET_KEY, {TRACK_HERO_FOLD, 3, TWO}, SYNC_STEP);
    while (takeSyncEvent(&event)) {
    }
    EXPECT_EQ(feedSyncBytes(more.data(), more.size()), more.size());
    ASSERT_TRUE(takeSyncEvent(&event));
    EXPECT_EQ(describe(event),
              "refused " + std::to_string(TRACK_HERO_FOLD) + "/" + std::to_string(SYNC_MAX_KEYS + 5));
    EXPECT_EQ(syncClient.phase, SYNC_TALKING);
    EXPECT_EQ(trackValueAt(TRACK_HERO_FOLD, 3.0), 2.0f);
}

TEST(SyncProtocol, BadInputFailsTheConnectionAndTakesNothingMore) {
    struct Bad {
        const char* what;
        Bytes afterGreeting;
        const char* message;
    };
    Bytes b[10];
    const Bad bad[] = {
        {"unknown command", Bytes{6}, "unknown command 6"},
        {"GET_TRACK is the demo's", Bytes{2, 0, 0, 0, 1, 'x'}, "unknown command 2"},
        {"byte 255", Bytes{255}, "unknown command 255"},
        {"track never asked for", command(b[0], SYNC_SET_KEY, {SYNC_TRACK_COUNT, 0, ONE}, 0),
         "SET_KEY for track 15, of 15"},
        {"delete on such a track", command(b[1], SYNC_DELETE_KEY, {0xFFFFFFFF, 0}),
         "DELETE_KEY for track 4294967295"},
        {"interpolation 4", command(b[2], SYNC_SET_KEY, {0, 0, ONE}, 4), "interpolation 4"},
        {"key row too far", command(b[3], SYNC_SET_KEY, {0, SYNC_MAX_ROW + 1, ONE}, 0),
         "SET_KEY at row 1048577, beyond 1048576"},
        {"cursor row too far", command(b[4], SYNC_SET_ROW, {0xFFFFFFFF}), "SET_ROW at row 4294967295"},
        {"delete row too far", command(b[5], SYNC_DELETE_KEY, {1, SYNC_MAX_ROW + 1}), "DELETE_KEY at row"},
        {"value not a number", command(b[6], SYNC_SET_KEY, {0, 0, 0x7FC00001}, 0), "not a finite number"},
        {"infinite value", command(b[7], SYNC_SET_KEY, {0, 0, 0xFF800000}, 0), "not a finite number"},
    };
    for (const Bad& c : bad) {
        resetSyncTracks();
        startSyncConnection(0);
        Bytes stream = greeting();
        command(stream, SYNC_SET_KEY, {TRACK_CAMERA_POS_Z, 0, ONE}, SYNC_STEP);
        stream.insert(stream.end(), c.afterGreeting.begin(), c.afterGreeting.end());
        command(stream, SYNC_SET_KEY, {TRACK_CAMERA_POS_Z, 0, TWO},
                SYNC_STEP); // after the bad command: never taken
        command(stream, SYNC_PAUSE, {}, 1);
        takeAllOutput();
        EXPECT_EQ(feedSyncBytes(stream.data(), stream.size()), stream.size()) << c.what;
        EXPECT_TRUE(syncFailed()) << c.what;
        EXPECT_NE(std::strstr(syncClient.message, c.message), nullptr)
            << c.what << ": " << syncClient.message;
        EXPECT_EQ(trackValueAt(TRACK_CAMERA_POS_Z, 0.0), 1.0f) << c.what;
        SyncEvent event;
        EXPECT_FALSE(takeSyncEvent(&event)) << c.what;
        sendSyncRow(3);
        EXPECT_TRUE(takeAllOutput().empty()) << c.what;
    }

    // A wrong greeting fails at its first wrong byte.
    startSyncConnection(0);
    const char wrong[] = "hello, dEmo!";
    EXPECT_EQ(feedSyncBytes(reinterpret_cast<const unsigned char*>(wrong), 7), 7u);
    EXPECT_FALSE(syncFailed());
    EXPECT_EQ(feedSyncBytes(reinterpret_cast<const unsigned char*>(wrong) + 7, 2), 2u);
    EXPECT_TRUE(syncFailed());
    EXPECT_NE(std::strstr(syncClient.message, "greeting"), nullptr) << syncClient.message;

    // The greeting within 2 s of the start, on a tick count that wraps meanwhile.
    const uint32_t start = 0xFFFFFF00u;
    Bytes hello = greeting();
    startSyncConnection(start);
    feedSyncBytes(hello.data(), 5);
    checkSyncTimeout(start + SYNC_GREETING_TIMEOUT_MS);
    EXPECT_FALSE(syncFailed());
    feedSyncBytes(hello.data() + 5, 7);
    EXPECT_EQ(syncClient.phase, SYNC_TALKING);
    checkSyncTimeout(start + 60000);
    EXPECT_FALSE(syncFailed()) << "greeted: no deadline any more";

    startSyncConnection(start);
    feedSyncBytes(hello.data(), 11);
    checkSyncTimeout(start + SYNC_GREETING_TIMEOUT_MS + 1);
    EXPECT_TRUE(syncFailed());
    EXPECT_NE(std::strstr(syncClient.message, "within 2 s"), nullptr) << syncClient.message;

    // A greeting that waited for a slow frame is read before the deadline is looked at: greeted.
    startSyncConnection(start);
    feedSyncBytes(hello.data(), 11);
    feedSyncBytes(hello.data() + 11, 1);
    checkSyncTimeout(start + 3000);
    EXPECT_EQ(syncClient.phase, SYNC_TALKING);
    feedSyncBytes(hello.data(), 3); // not a command the editor sends
    EXPECT_EQ(syncClient.phase, SYNC_FAILED);
    startSyncConnection(start + 3000);
    EXPECT_EQ(syncClient.phase, SYNC_GREETING) << "a new connection starts afresh";
    EXPECT_FALSE(syncFailed());
}
