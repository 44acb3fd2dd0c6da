// The system's socket calls on POSIX systems, for the shared connection: a non-blocking TCP connection to an
// IPv4 address, and getaddrinfo for the host lookup.
#include "platform/host_lookup.h"
#include "platform/socket_calls.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

static int connection = -1;

static void say(char* why, size_t whySize, const char* what, int error) {
    if (why != nullptr && whySize > 0)
        std::snprintf(why, whySize, "%s: %s", what, std::strerror(error));
}

static bool pending(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

bool startSocketSystem(char*, size_t) {
    return true;
}

bool readNumericAddress(const char* host, uint32_t* address) {
    in_addr numeric{};
    if (inet_pton(AF_INET, host, &numeric) != 1)
        return false;
    *address = numeric.s_addr;
    return true;
}

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

void closeConnection() {
    if (connection >= 0)
        close(connection);
    connection = -1;
}

SocketCall startConnecting(uint32_t address, uint16_t port, char* why, size_t whySize) {
    connection = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (connection < 0) {
        say(why, whySize, "socket", errno);
        return SOCKET_CALL_FAILED;
    }
    // Rows and keys are a few bytes each: they go at once rather than wait to fill a segment.
    int on = 1;
    setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;
    if (connect(connection, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0)
        return SOCKET_CALL_DONE;
    if (errno == EINPROGRESS)
        return SOCKET_CALL_WAIT;
    say(why, whySize, "connect", errno);
    return SOCKET_CALL_FAILED;
}

SocketCall pollConnecting(char* why, size_t whySize) {
    pollfd entry{connection, POLLOUT, 0};
    if (poll(&entry, 1, 0) <= 0)
        return SOCKET_CALL_WAIT;
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(connection, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    if (error == 0)
        return SOCKET_CALL_DONE;
    say(why, whySize, "connect", error);
    return SOCKET_CALL_FAILED;
}

long receiveBytes(unsigned char* out, size_t capacity, char* why, size_t whySize) {
    ssize_t got = recv(connection, out, capacity, MSG_DONTWAIT);
    if (got > 0)
        return static_cast<long>(got);
    if (got == 0)
        return SOCKET_PEER_CLOSED;
    if (pending(errno))
        return 0;
    say(why, whySize, "recv", errno);
    return -1;
}

long sendBytes(const unsigned char* bytes, size_t size, char* why, size_t whySize) {
    // MSG_NOSIGNAL: a closed peer is an error here, not a signal that ends the run.
    ssize_t sent = send(connection, bytes, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent >= 0)
        return static_cast<long>(sent);
    if (pending(errno))
        return 0;
    say(why, whySize, "send", errno);
    return -1;
}
