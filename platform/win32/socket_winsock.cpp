// The socket service on Windows: a non-blocking Winsock TCP connection to a numeric or named IPv4 host. A
// name is looked up off the frame thread by the shared host lookup; getaddrinfo is asked here.
#include "platform/host_lookup.h"
#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>

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

static sockaddr_in target;

bool resolveHostAddress(const char* host, uint32_t* address, char* why, size_t whySize) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int error = getaddrinfo(host, nullptr, &hints, &found);
    bool any = error == 0 && found != nullptr;
    if (any)
        *address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    else
        std::snprintf(why, whySize, "no address for %s (Winsock error %d)", host, error);
    if (found != nullptr)
        freeaddrinfo(found);
    return any;
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
