// The socket service on POSIX systems: a non-blocking TCP connection to a numeric or named IPv4 host. A name
// is looked up on a thread of its own, so that a slow or failing name server never holds up a frame.
#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

static int connection = -1;
static SocketState state = SOCKET_CLOSED;
static bool waitingForName = false; // connecting, once the host's name has been looked up

static void say(char* why, size_t whySize, const char* what, int error) {
    if (why != nullptr && whySize > 0)
        std::snprintf(why, whySize, "%s: %s", what, std::strerror(error));
}

void closeSocket() {
    if (connection >= 0)
        close(connection);
    connection = -1;
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
        std::snprintf(into->why, sizeof into->why, "no address for %s: %s", host.c_str(),
                      error == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(error));
    }
    if (found != nullptr)
        freeaddrinfo(found);
    into->done = true;
}

// "HOST:PORT" into the host and the port; false, saying why, when it is not that.
static bool splitAddress(const char* address, char* host, size_t hostSize, uint16_t* port, char* why,
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
    *port = static_cast<uint16_t>(number);
    return true;
}

// Starts connecting to `target`.
static bool connectToTarget(char* why, size_t whySize) {
    connection = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (connection < 0) {
        say(why, whySize, "socket", errno);
        state = SOCKET_FAILED;
        return false;
    }
    // Rows and keys are a few bytes each: they go at once rather than wait to fill a segment.
    int on = 1;
    setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (connect(connection, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) {
        state = SOCKET_OPEN;
        return true;
    }
    if (errno != EINPROGRESS) {
        say(why, whySize, "connect", errno);
        closeSocket();
        state = SOCKET_FAILED;
        return false;
    }
    state = SOCKET_CONNECTING;
    return true;
}

bool openSocket(const char* address, char* why, size_t whySize) {
    closeSocket();
    waitingForName = false;
    char host[256];
    uint16_t port = 0;
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
    pollfd entry{connection, POLLOUT, 0};
    if (poll(&entry, 1, 0) <= 0)
        return state;
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(connection, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    if (error != 0) {
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
    ssize_t got = recv(connection, out, capacity, MSG_DONTWAIT);
    if (got > 0)
        return static_cast<long>(got);
    if (got == 0) {
        std::snprintf(why, whySize, "the editor closed the connection");
    } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        return 0;
    } else {
        say(why, whySize, "recv", errno);
    }
    state = SOCKET_FAILED;
    return -1;
}

long writeSocket(const unsigned char* bytes, size_t size, char* why, size_t whySize) {
    if (state != SOCKET_OPEN || size == 0)
        return 0;
    // MSG_NOSIGNAL: a closed peer is an error here, not a signal that ends the run.
    ssize_t sent = send(connection, bytes, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent >= 0)
        return static_cast<long>(sent);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return 0;
    say(why, whySize, "send", errno);
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
