// The socket service for the native backends: one connection's road from "HOST:PORT" through the name's
// look-up (off the frame thread, a name found once kept) and the non-blocking connect to open or failed.
// Each backend supplies only the system's calls (platform/socket_calls.h).
#include "platform/host_lookup.h"
#include "platform/socket.h"
#include "platform/socket_calls.h"

#include <cstdio>

namespace {
struct Connection {
    SocketState state = SOCKET_CLOSED;
    bool systemStarted = false;
    bool waitingForName = false; // connecting, once the host's name has been looked up
    uint16_t port = 0;
};
Connection connection;
} // namespace

void closeSocket() {
    closeConnection();
    connection.state = SOCKET_CLOSED;
    connection.waitingForName = false;
}

static bool connectTo(uint32_t address, char* why, size_t whySize) {
    switch (startConnecting(address, connection.port, why, whySize)) {
    case SOCKET_CALL_DONE:
        connection.state = SOCKET_OPEN;
        return true;
    case SOCKET_CALL_WAIT:
        connection.state = SOCKET_CONNECTING;
        return true;
    case SOCKET_CALL_FAILED:
        break;
    }
    closeConnection();
    connection.state = SOCKET_FAILED;
    return false;
}

bool openSocket(const char* address, char* why, size_t whySize) {
    closeSocket();
    if (!connection.systemStarted && !startSocketSystem(why, whySize))
        return false;
    connection.systemStarted = true;
    char host[256];
    if (!splitHostAndPort(address, host, sizeof host, &connection.port, why, whySize))
        return false;
    uint32_t found = 0;
    if (readNumericAddress(host, &found))
        return connectTo(found, why, whySize);
    switch (startHostLookup(host, &found, why, whySize)) {
    case HOST_FOUND:
        return connectTo(found, why, whySize);
    case HOST_PENDING:
        connection.waitingForName = true;
        connection.state = SOCKET_CONNECTING;
        return true;
    case HOST_FAILED:
        break;
    }
    return false;
}

SocketState pollSocket(char* why, size_t whySize) {
    if (connection.state != SOCKET_CONNECTING)
        return connection.state;
    if (connection.waitingForName) {
        uint32_t found = 0;
        const HostLookupState name = pollHostLookup(&found, why, whySize);
        if (name == HOST_PENDING)
            return connection.state;
        connection.waitingForName = false;
        if (name == HOST_FAILED) {
            connection.state = SOCKET_FAILED;
            return connection.state;
        }
        if (!connectTo(found, why, whySize) || connection.state != SOCKET_CONNECTING)
            return connection.state;
    }
    switch (pollConnecting(why, whySize)) {
    case SOCKET_CALL_DONE:
        connection.state = SOCKET_OPEN;
        break;
    case SOCKET_CALL_WAIT:
        break;
    case SOCKET_CALL_FAILED:
        connection.state = SOCKET_FAILED;
        break;
    }
    return connection.state;
}

long readSocket(unsigned char* out, size_t capacity, char* why, size_t whySize) {
    if (connection.state != SOCKET_OPEN)
        return 0;
    const long got = receiveBytes(out, capacity, why, whySize);
    if (got >= 0)
        return got;
    if (got == SOCKET_PEER_CLOSED)
        std::snprintf(why, whySize, "the editor closed the connection");
    connection.state = SOCKET_FAILED;
    return -1;
}

long writeSocket(const unsigned char* bytes, size_t size, char* why, size_t whySize) {
    if (connection.state != SOCKET_OPEN || size == 0)
        return 0;
    const long sent = sendBytes(bytes, size, why, whySize);
    if (sent < 0)
        connection.state = SOCKET_FAILED;
    return sent;
}

bool writeSocketGreeting(const char* text, size_t size, char* why, size_t whySize) {
    const long sent = writeSocket(reinterpret_cast<const unsigned char*>(text), size, why, whySize);
    if (sent == static_cast<long>(size))
        return true;
    if (sent >= 0)
        std::snprintf(why, whySize, "the greeting did not go whole");
    return false;
}
