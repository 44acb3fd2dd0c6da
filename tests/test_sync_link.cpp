// The live link over a real loopback socket, its time given as tick counts: the retry about once a second,
// the greeting's 2 s and a slow frame after it, the track requests after the editor's greeting, keys and a
// save into the folder, and the editor going away; keys set after a save into author mode's tracks folder;
// a host name looked up off the frame loop.
#include "app/author_tracks.h"
#include "app/sync_link.h"
#include "sync/sync_tracks.h"
#include "sync/track_files.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

int listenOn(uint16_t port, uint16_t* chosen) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4) != 0) {
        close(fd);
        return -1;
    }
    socklen_t size = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    *chosen = ntohs(address.sin_port);
    return fd;
}

bool readable(int fd, int milliseconds) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, milliseconds) > 0;
}

// Polls the link at the tick `now` until `done` holds, for up to two seconds of real time (the socket's
// own work); the tick stands still meanwhile.
template <typename Done> bool pollUntil(uint32_t now, Done done) {
    for (int i = 0; i < 200; ++i) {
        pollSyncLink(now);
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string note() {
    return syncLinkNote();
}

std::vector<unsigned char> readFor(int fd, size_t size) {
    std::vector<unsigned char> bytes;
    while (bytes.size() < size && readable(fd, 2000)) {
        unsigned char chunk[4096];
        ssize_t got = recv(fd, chunk, std::min(sizeof chunk, size - bytes.size()), 0);
        if (got <= 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return bytes;
}

bool closedByDemo(int fd) {
    unsigned char byte;
    return readable(fd, 2000) && recv(fd, &byte, 1, 0) == 0;
}

// A name server the test holds: the lookup of HELD_NAME waits until released (5 s at most), then finds
// nothing; every other name is looked up by the system's resolver as usual.
const char HELD_NAME[] = "held.doz-test.invalid";
std::mutex heldLock;
std::condition_variable heldChanged;
bool heldReleased = false;
int heldLookups = 0, heldWaiting = 0;

} // namespace

extern "C" int getaddrinfo(const char* name, const char* service, const addrinfo* hints,
                           addrinfo** found) noexcept {
    using Resolver = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const Resolver system = reinterpret_cast<Resolver>(dlsym(RTLD_NEXT, "getaddrinfo"));
    if (name == nullptr || std::strcmp(name, HELD_NAME) != 0)
        return system(name, service, hints, found);
    std::unique_lock<std::mutex> hold(heldLock);
    ++heldLookups;
    ++heldWaiting;
    heldChanged.notify_all();
    heldChanged.wait_for(hold, std::chrono::seconds(5), [] { return heldReleased; });
    --heldWaiting;
    heldChanged.notify_all();
    return EAI_NONAME;
}

namespace {
// Waits (5 s at most) until `count` lookups of the held name have begun; how many are waiting then.
int heldLookupsWaiting(int count) {
    std::unique_lock<std::mutex> hold(heldLock);
    heldChanged.wait_for(hold, std::chrono::seconds(5), [&] { return heldLookups >= count; });
    return heldLookups >= count ? heldWaiting : -1;
}

void releaseHeldLookups(bool released) {
    std::lock_guard<std::mutex> hold(heldLock);
    heldReleased = released;
    heldChanged.notify_all();
}
} // namespace

TEST(SyncLink, RetriesEachSecondTimesTheGreetingAndTalksToAnEditor) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("doz-sync-link-test-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    resetSyncTracks();
    uint16_t port = 0;
    int reserved = listenOn(0, &port);
    ASSERT_GE(reserved, 0);
    close(reserved); // nothing listens there now
    std::string address = "127.0.0.1:" + std::to_string(port);
    startSyncLink(address.c_str(), folder.string().c_str());
    EXPECT_EQ(note(), "sync: connecting to " + address);

    // Refused: said, and tried again a second of ticks later, not before.
    ASSERT_TRUE(pollUntil(1000, [] { return note().find("no editor at") != std::string::npos; })) << note();
    int editor = listenOn(port, &port);
    ASSERT_GE(editor, 0);
    for (int i = 0; i < 20; ++i)
        pollSyncLink(1999);
    EXPECT_FALSE(readable(editor, 100)) << "tried again before a second had passed";
    pollSyncLink(2000);
    ASSERT_TRUE(readable(editor, 2000)) << "not tried again after a second";
    int demo = accept(editor, nullptr, nullptr);
    ASSERT_GE(demo, 0);
    ASSERT_TRUE(pollUntil(2000, [&] { return readFor(demo, 19).size() == 19; }));

    // No greeting: dropped once more than 2 s of ticks have passed since the connection opened.
    for (int i = 0; i < 20; ++i)
        pollSyncLink(4000);
    EXPECT_EQ(note(), "sync: no editor at " + address + " (connect: Connection refused); trying again")
        << "the last failure stands while the editor has not greeted";
    pollSyncLink(4001);
    EXPECT_EQ(note(), "sync editor: no greeting within 2 s; trying again");
    EXPECT_TRUE(closedByDemo(demo));
    close(demo);

    // Greeted: every track is asked for, in order, and keys and a save follow.
    pollSyncLink(5000);
    EXPECT_FALSE(readable(editor, 100));
    pollSyncLink(5001);
    ASSERT_TRUE(readable(editor, 2000));
    demo = accept(editor, nullptr, nullptr);
    ASSERT_GE(demo, 0);
    ASSERT_TRUE(pollUntil(5001, [&] { return readable(demo, 0); }));
    std::vector<unsigned char> greeting = readFor(demo, 19);
    EXPECT_EQ(std::string(greeting.begin(), greeting.end()), "hello, synctracker!");
    ASSERT_EQ(send(demo, "hello, demo!", 12, 0), 12);
    // The next frame comes 3 s of ticks later: the greeting waiting since is read, and the link holds.
    size_t requests = 0;
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track)
        requests += 5 + std::strlen(SYNC_TRACK_NAMES[track]);
    std::vector<unsigned char> asked;
    ASSERT_TRUE(pollUntil(8001, [&] {
        std::vector<unsigned char> more = readFor(demo, requests - asked.size());
        asked.insert(asked.end(), more.begin(), more.end());
        return asked.size() == requests;
    }));
    EXPECT_EQ(asked[0], 2);
    EXPECT_EQ(std::string(asked.begin() + 5, asked.begin() + 5 + 12), "camera:pos.x");
    EXPECT_EQ(note(), "sync " + address);

    // SET_KEY camera:fov (7) at row 3, 1.5, smooth; then SAVE_TRACKS.
    const unsigned char keyAndSave[] = {0, 0, 0, 0, 7, 0, 0, 0, 3, 0x3F, 0xC0, 0, 0, 2, 5};
    ASSERT_EQ(send(demo, keyAndSave, sizeof keyAndSave, 0), static_cast<ssize_t>(sizeof keyAndSave));
    char name[SYNC_FILE_NAME_ROOM];
    ASSERT_TRUE(trackFileName(SYNC_FILE_BASE, "camera:fov", name, sizeof name));
    const std::filesystem::path file = folder / name;
    ASSERT_TRUE(pollUntil(8002, [&] { return std::filesystem::exists(file); }));
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(saved, (std::vector<unsigned char>{1, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0xC0, 0x3F, 2}));
    EXPECT_FLOAT_EQ(trackValueAt(TRACK_CAMERA_FOV, 3.0), 1.5f);

    // The editor goes: said, the key stays, and the next try comes a second later.
    close(demo);
    ASSERT_TRUE(pollUntil(9000, [] { return note().find("lost the editor") != std::string::npos; }))
        << note();
    EXPECT_FLOAT_EQ(trackValueAt(TRACK_CAMERA_FOV, 3.0), 1.5f);
    for (int i = 0; i < 20; ++i)
        pollSyncLink(9999);
    EXPECT_FALSE(readable(editor, 100));
    pollSyncLink(10000);
    EXPECT_TRUE(readable(editor, 2000));

    stopSyncLink();
    EXPECT_EQ(note(), "");
    close(editor);
    std::filesystem::remove_all(folder);
    resetSyncTracks();
}

// Author mode looks at the tracks folder that the editor's save writes: the save is the demo's own, and a
// key the editor sets 0.1 s after it is still there a second later, when a read of the folder would have
// replaced it. A change by someone else is still read.
TEST(SyncLink, KeysSetAfterASaveOutliveAuthorModesLookAtTheFolder) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("doz-sync-save-test-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    resetSyncTracks();
    startAuthorTracks(folder.string().c_str());
    ASSERT_EQ(authorTracks.reads, 1);
    uint16_t port = 0;
    int editor = listenOn(0, &port);
    ASSERT_GE(editor, 0);
    std::string address = "127.0.0.1:" + std::to_string(port);
    startSyncLink(address.c_str(), folder.string().c_str());
    pollSyncLink(0);
    ASSERT_TRUE(readable(editor, 2000));
    int demo = accept(editor, nullptr, nullptr);
    ASSERT_GE(demo, 0);
    ASSERT_TRUE(pollUntil(0, [&] { return readFor(demo, 19).size() == 19; }));
    ASSERT_EQ(send(demo, "hello, demo!", 12, 0), 12);
    ASSERT_TRUE(pollUntil(0, [] { return note().find("sync 127.0.0.1") == 0; })) << note();

    // SET_KEY camera:pos.x (0) row 0 = 1.0, SAVE_TRACKS; 0.1 s later SET_KEY camera:pos.x row 0 = 3.0.
    const unsigned char keyAndSave[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x3F, 0x80, 0, 0, 0, 5};
    ASSERT_EQ(send(demo, keyAndSave, sizeof keyAndSave, 0), static_cast<ssize_t>(sizeof keyAndSave));
    uint32_t now = 1000;
    ASSERT_TRUE(pollUntil(now, [] { return note().find("saved the tracks") != std::string::npos; }))
        << note();
    const int readsBefore = authorTracks.reads;
    const unsigned char later[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x40, 0, 0, 0};
    bool sent = false;
    for (; now <= 2100; now += 10) {
        if (now >= 1100 && !sent) {
            ASSERT_EQ(send(demo, later, sizeof later, 0), static_cast<ssize_t>(sizeof later));
            ASSERT_TRUE(pollUntil(now, [] { return trackValueAt(TRACK_CAMERA_POS_X, 0.0) == 3.0f; }));
            sent = true;
        }
        pollSyncLink(now);
        pollAuthorTracks(now);
    }
    EXPECT_FLOAT_EQ(trackValueAt(TRACK_CAMERA_POS_X, 0.0), 3.0f) << "the save was read back over the key";
    EXPECT_EQ(authorTracks.reads, readsBefore);

    // Someone else writes a track's file: read, as before.
    char name[SYNC_FILE_NAME_ROOM];
    ASSERT_TRUE(trackFileName(SYNC_FILE_BASE, "camera:pos.y", name, sizeof name));
    {
        const unsigned char file[] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA0, 0x40, 0};
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(file), sizeof file);
    }
    for (; now <= 3200; now += 10)
        pollAuthorTracks(now);
    EXPECT_EQ(authorTracks.reads, readsBefore + 1);
    EXPECT_FLOAT_EQ(trackValueAt(TRACK_CAMERA_POS_Y, 0.0), 5.0f);

    stopSyncLink();
    close(demo);
    close(editor);
    std::filesystem::remove_all(folder);
    resetSyncTracks();
}

// A name server that does not answer holds up no frame: the lookup waits on its own thread while frames
// go on, its failure is in the title, and the next attempt a second later looks it up again, off the loop.
TEST(SyncLink, AHostNameIsLookedUpOffTheFrameLoop) {
    releaseHeldLookups(false);
    const std::string address = std::string(HELD_NAME) + ":1338";
    startSyncLink(address.c_str(), nullptr);
    pollSyncLink(0);
    EXPECT_EQ(heldLookupsWaiting(1), 1) << "the frame waited for the lookup";
    for (uint32_t now = 10; now < 900; now += 10)
        pollSyncLink(now);
    EXPECT_EQ(note(), "sync: connecting to " + address);
    releaseHeldLookups(true);
    ASSERT_TRUE(pollUntil(900, [] { return note().find("no editor") != std::string::npos; })) << note();
    EXPECT_EQ(note().rfind("sync: no editor at " + address + " (no address for " + HELD_NAME + ": ", 0), 0u)
        << note();

    releaseHeldLookups(false);
    pollSyncLink(1899);
    pollSyncLink(1900);
    EXPECT_EQ(heldLookupsWaiting(2), 1) << "not looked up again off the frame loop";
    releaseHeldLookups(true);
    stopSyncLink();
    std::unique_lock<std::mutex> hold(heldLock);
    heldChanged.wait_for(hold, std::chrono::seconds(5), [] { return heldWaiting == 0; });
}
