// The socket service on POSIX systems: a non-blocking TCP connection to a numeric or named IPv4 host. A name
// is looked up off the frame thread by the shared host lookup; getaddrinfo is asked here.
#include "platform/host_lookup.h"
#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
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

static sockaddr_in target;

bool resolveHostAddress(const char* host, uint32_t* address, char* why, size_t whySize) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int error = getaddrinfo(host, nullptr, &hints, &found);
    bool any = error == 0 && found != nullptr;
    if (any) {
        *address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    } else {
        std::snprintf(why, whySize, "no address for %s: %s", host,
                      error == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(error));
    }
    if (found != nullptr)
        freeaddrinfo(found);
    return any;
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
    if (!splitHostAndPort(address, host, sizeof host, &port, why, whySize))
        return false;
    std::memset(&target, 0, sizeof target);
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    if (inet_pton(AF_INET, host, &target.sin_addr) == 1)
        return connectToTarget(why, whySize);
    uint32_t found = 0;
    switch (startHostLookup(host, &found, why, whySize)) {
    case HOST_FOUND:
        target.sin_addr.s_addr = found;
        return connectToTarget(why, whySize);
    case HOST_PENDING:
        waitingForName = true;
        state = SOCKET_CONNECTING;
        return true;
    case HOST_FAILED:
        break;
    }
    return false;
}

SocketState pollSocket(char* why, size_t whySize) {
    if (state != SOCKET_CONNECTING)
        return state;
    if (waitingForName) {
        uint32_t found = 0;
        HostLookupState name = pollHostLookup(&found, why, whySize);
        if (name == HOST_PENDING)
            return state;
        waitingForName = false;
        if (name == HOST_FAILED) {
            state = SOCKET_FAILED;
            return state;
        }
        target.sin_addr.s_addr = found;
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
