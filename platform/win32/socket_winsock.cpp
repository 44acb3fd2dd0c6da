// The system's socket calls on Windows, for the shared connection: a non-blocking Winsock TCP connection to
// an IPv4 address, and getaddrinfo for the host lookup.
#include "platform/host_lookup.h"
#include "platform/socket_calls.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>

static SOCKET connection = INVALID_SOCKET;

static void say(char* why, size_t whySize, const char* what, int error) {
    if (why != nullptr && whySize > 0)
        std::snprintf(why, whySize, "%s: Winsock error %d", what, error);
}

static bool pending(int error) {
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS || error == WSAEINTR;
}

// Winsock takes at most an int's worth at a time; a frame's commands are far fewer.
static int chunk(size_t size) {
    return size > 65536 ? 65536 : static_cast<int>(size);
}

bool startSocketSystem(char* why, size_t whySize) {
    WSADATA data;
    int error = WSAStartup(MAKEWORD(2, 2), &data);
    if (error != 0)
        say(why, whySize, "WSAStartup", error);
    return error == 0;
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
    if (any)
        *address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    else
        std::snprintf(why, whySize, "no address for %s (Winsock error %d)", host, error);
    if (found != nullptr)
        freeaddrinfo(found);
    return any;
}

void closeConnection() {
    if (connection != INVALID_SOCKET)
        closesocket(connection);
    connection = INVALID_SOCKET;
}

SocketCall startConnecting(uint32_t address, uint16_t port, char* why, size_t whySize) {
    connection = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (connection == INVALID_SOCKET) {
        say(why, whySize, "socket", WSAGetLastError());
        return SOCKET_CALL_FAILED;
    }
    u_long nonBlocking = 1;
    if (ioctlsocket(connection, FIONBIO, &nonBlocking) != 0) {
        say(why, whySize, "ioctlsocket", WSAGetLastError());
        return SOCKET_CALL_FAILED;
    }
    // Rows and keys are a few bytes each: they go at once rather than wait to fill a segment.
    BOOL on = TRUE;
    setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;
    if (connect(connection, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0)
        return SOCKET_CALL_DONE;
    int error = WSAGetLastError();
    if (pending(error))
        return SOCKET_CALL_WAIT;
    say(why, whySize, "connect", error);
    return SOCKET_CALL_FAILED;
}

SocketCall pollConnecting(char* why, size_t whySize) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(connection, &writable);
    FD_SET(connection, &failed);
    timeval now = {0, 0};
    if (select(0, nullptr, &writable, &failed, &now) <= 0)
        return SOCKET_CALL_WAIT;
    if (!FD_ISSET(connection, &failed))
        return SOCKET_CALL_DONE;
    int error = 0;
    int size = sizeof error;
    getsockopt(connection, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
    say(why, whySize, "connect", error);
    return SOCKET_CALL_FAILED;
}

long receiveBytes(unsigned char* out, size_t capacity, char* why, size_t whySize) {
    int got = recv(connection, reinterpret_cast<char*>(out), chunk(capacity), 0);
    if (got > 0)
        return got;
    if (got == 0)
        return SOCKET_PEER_CLOSED;
    int error = WSAGetLastError();
    if (pending(error))
        return 0;
    say(why, whySize, "recv", error);
    return -1;
}

long sendBytes(const unsigned char* bytes, size_t size, char* why, size_t whySize) {
    int sent = send(connection, reinterpret_cast<const char*>(bytes), chunk(size), 0);
    if (sent >= 0)
        return sent;
    int error = WSAGetLastError();
    if (pending(error))
        return 0;
    say(why, whySize, "send", error);
    return -1;
}
