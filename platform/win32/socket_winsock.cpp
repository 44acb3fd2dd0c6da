// The socket service on Windows: a non-blocking Winsock TCP connection to a numeric or named IPv4 host. A
// name is looked up on a thread of its own, so that a slow or failing name server never holds up a frame.
#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

static SOCKET connection = INVALID_SOCKET;
static SocketState state = SOCKET_CLOSED;
static bool started = false;
static bool waitingForName = false; // connecting, once the host's name has been looked up

static void say(char* why, size_t whySize, const char* what, int error) {
    if (why != nullptr && whySize > 0)
        std::snprintf(why, whySize, "%s: Winsock error %d", what, error);
}

static bool pending(int error) {
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS || error == WSAEINTR;
}

void closeSocket() {
    if (connection != INVALID_SOCKET)
        closesocket(connection);
    connection = INVALID_SOCKET;
    state = SOCKET_CLOSED;
    waitingForName = false;
}

namespace {
// One name's lookup, shared with the thread that does it: the thread may outlive the connection, the run's
// end included, so it holds its own reference.
struct NameLookup {
    std::mutex lock;
    bool done = false;
    bool found = false;
    in_addr address{};
    char why[200] = "";
};
} // namespace

static char lookupHost[256] = "";
static std::shared_ptr<NameLookup> lookup;
static sockaddr_in target;

static void lookUpName(std::shared_ptr<NameLookup> into, std::string host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    std::lock_guard<std::mutex> hold(into->lock);
    if (error == 0 && found != nullptr) {
        into->address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
        into->found = true;
    } else {
        std::snprintf(into->why, sizeof into->why, "no address for %s (Winsock error %d)", host.c_str(),
                      error);
    }
    if (found != nullptr)
        freeaddrinfo(found);
    into->done = true;
}

// "HOST:PORT" into the host and the port; false, saying why, when it is not that.
static bool splitAddress(const char* address, char* host, size_t hostSize, u_short* port, char* why,
                         size_t whySize) {
    const char* colon = std::strrchr(address, ':');
    if (colon == nullptr || colon == address || colon[1] == '\0') {
        std::snprintf(why, whySize, "\"%s\" is not HOST:PORT", address);
        return false;
    }
    char* end = nullptr;
    long number = std::strtol(colon + 1, &end, 10);
    if (*end != '\0' || number < 1 || number > 65535) {
        std::snprintf(why, whySize, "\"%s\" has no port from 1 to 65535", address);
        return false;
    }
    size_t length = static_cast<size_t>(colon - address);
    if (length >= hostSize) {
        std::snprintf(why, whySize, "the host name is too long");
        return false;
    }
    std::memcpy(host, address, length);
    host[length] = '\0';
    *port = static_cast<u_short>(number);
    return true;
}

// Starts connecting to `target`.
static bool connectToTarget(char* why, size_t whySize) {
    connection = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (connection == INVALID_SOCKET) {
        say(why, whySize, "socket", WSAGetLastError());
        state = SOCKET_FAILED;
        return false;
    }
    u_long nonBlocking = 1;
    BOOL on = TRUE;
    if (ioctlsocket(connection, FIONBIO, &nonBlocking) != 0) {
        say(why, whySize, "ioctlsocket", WSAGetLastError());
        closeSocket();
        state = SOCKET_FAILED;
        return false;
    }
    // Rows and keys are a few bytes each: they go at once rather than wait to fill a segment.
    setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    if (connect(connection, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) {
        state = SOCKET_OPEN;
        return true;
    }
    int error = WSAGetLastError();
    if (!pending(error)) {
        say(why, whySize, "connect", error);
        closeSocket();
        state = SOCKET_FAILED;
        return false;
    }
    state = SOCKET_CONNECTING;
    return true;
}

bool openSocket(const char* address, char* why, size_t whySize) {
    closeSocket();
    if (!started) {
        WSADATA data;
        int error = WSAStartup(MAKEWORD(2, 2), &data);
        if (error != 0) {
            say(why, whySize, "WSAStartup", error);
            return false;
        }
        started = true;
    }
    char host[256];
    u_short port = 0;
    if (!splitAddress(address, host, sizeof host, &port, why, whySize))
        return false;
    std::memset(&target, 0, sizeof target);
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    if (inet_pton(AF_INET, host, &target.sin_addr) == 1)
        return connectToTarget(why, whySize);
    // A name found once is kept; one not found (or not yet) is looked up again, off this thread, and the
    // connection waits for it in SOCKET_CONNECTING.
    if (lookup && std::strcmp(host, lookupHost) == 0) {
        std::lock_guard<std::mutex> hold(lookup->lock);
        if (lookup->found) {
            target.sin_addr = lookup->address;
            return connectToTarget(why, whySize);
        }
        if (!lookup->done) {
            waitingForName = true;
            state = SOCKET_CONNECTING;
            return true;
        }
    }
    std::snprintf(lookupHost, sizeof lookupHost, "%s", host);
    lookup = std::make_shared<NameLookup>();
    try {
        std::thread(lookUpName, lookup, std::string(host)).detach();
    } catch (const std::system_error& error) {
        std::snprintf(why, whySize, "cannot look up %s: %s", host, error.what());
        lookup.reset();
        return false;
    }
    waitingForName = true;
    state = SOCKET_CONNECTING;
    return true;
}

SocketState pollSocket(char* why, size_t whySize) {
    if (state != SOCKET_CONNECTING)
        return state;
    if (waitingForName) {
        std::unique_lock<std::mutex> hold(lookup->lock);
        if (!lookup->done)
            return state;
        waitingForName = false;
        if (!lookup->found) {
            std::snprintf(why, whySize, "%s", lookup->why);
            state = SOCKET_FAILED;
            return state;
        }
        target.sin_addr = lookup->address;
        hold.unlock();
        connectToTarget(why, whySize);
        if (state != SOCKET_CONNECTING)
            return state;
    }
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(connection, &writable);
    FD_SET(connection, &failed);
    timeval now = {0, 0};
    if (select(0, nullptr, &writable, &failed, &now) <= 0)
        return state;
    if (FD_ISSET(connection, &failed)) {
        int error = 0;
        int size = sizeof error;
        getsockopt(connection, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
        say(why, whySize, "connect", error);
        state = SOCKET_FAILED;
    } else {
        state = SOCKET_OPEN;
    }
    return state;
}

long readSocket(unsigned char* out, size_t capacity, char* why, size_t whySize) {
    if (state != SOCKET_OPEN)
        return 0;
    int room = capacity > 65536 ? 65536 : static_cast<int>(capacity);
    int got = recv(connection, reinterpret_cast<char*>(out), room, 0);
    if (got > 0)
        return got;
    if (got == 0) {
        std::snprintf(why, whySize, "the editor closed the connection");
    } else {
        int error = WSAGetLastError();
        if (pending(error))
            return 0;
        say(why, whySize, "recv", error);
    }
    state = SOCKET_FAILED;
    return -1;
}

long writeSocket(const unsigned char* bytes, size_t size, char* why, size_t whySize) {
    if (state != SOCKET_OPEN || size == 0)
        return 0;
    int count = size > 65536 ? 65536 : static_cast<int>(size);
    int sent = send(connection, reinterpret_cast<const char*>(bytes), count, 0);
    if (sent >= 0)
        return sent;
    int error = WSAGetLastError();
    if (pending(error))
        return 0;
    say(why, whySize, "send", error);
    state = SOCKET_FAILED;
    return -1;
}

bool writeSocketGreeting(const char* text, size_t size, char* why, size_t whySize) {
    long sent = writeSocket(reinterpret_cast<const unsigned char*>(text), size, why, whySize);
    if (sent == static_cast<long>(size))
        return true;
    if (sent >= 0)
        std::snprintf(why, whySize, "the greeting did not go whole");
    return false;
}
