// The socket service on POSIX systems: a non-blocking TCP connection to a numeric or named IPv4 host.
#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

static void say(char* why, size_t whySize, const char* what, int error) {
    if (why != nullptr && whySize > 0)
        std::snprintf(why, whySize, "%s: %s", what, std::strerror(error));
}

void closeSocket() {
    if (connection >= 0)
        close(connection);
    connection = -1;
    state = SOCKET_CLOSED;
}

// "HOST:PORT" into an IPv4 address; a name is looked up (a loopback or local name answers at once).
static bool resolve(const char* address, sockaddr_in* out, char* why, size_t whySize) {
    const char* colon = std::strrchr(address, ':');
    if (colon == nullptr || colon == address || colon[1] == '\0') {
        std::snprintf(why, whySize, "\"%s\" is not HOST:PORT", address);
        return false;
    }
    char* end = nullptr;
    long port = std::strtol(colon + 1, &end, 10);
    if (*end != '\0' || port < 1 || port > 65535) {
        std::snprintf(why, whySize, "\"%s\" has no port from 1 to 65535", address);
        return false;
    }
    char host[256];
    size_t hostSize = static_cast<size_t>(colon - address);
    if (hostSize >= sizeof host) {
        std::snprintf(why, whySize, "the host name is too long");
        return false;
    }
    std::memcpy(host, address, hostSize);
    host[hostSize] = '\0';
    std::memset(out, 0, sizeof *out);
    out->sin_family = AF_INET;
    out->sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host, &out->sin_addr) == 1)
        return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int error = getaddrinfo(host, nullptr, &hints, &found);
    if (error != 0 || found == nullptr) {
        std::snprintf(why, whySize, "no address for %s: %s", host, gai_strerror(error));
        return false;
    }
    out->sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

bool openSocket(const char* address, char* why, size_t whySize) {
    closeSocket();
    // A name is looked up once, at the first attempt; the retries each second reuse it and never wait.
    static char resolvedAddress[320] = "";
    static sockaddr_in target;
    if (std::strcmp(address, resolvedAddress) != 0) {
        if (!resolve(address, &target, why, whySize))
            return false;
        std::snprintf(resolvedAddress, sizeof resolvedAddress, "%s", address);
    }
    connection = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (connection < 0) {
        say(why, whySize, "socket", errno);
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
        return false;
    }
    state = SOCKET_CONNECTING;
    return true;
}

SocketState pollSocket(char* why, size_t whySize) {
    if (state != SOCKET_CONNECTING)
        return state;
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
