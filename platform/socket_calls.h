// What a native socket backend supplies to the shared connection (platform/shared/socket_connection.cpp):
// the system's own non-blocking calls on one TCP connection, nothing more. Failures are worded as the
// system words them ("connect: Connection refused", "recv: Winsock error 10054").
#pragma once
#include <cstddef>
#include <cstdint>

enum SocketCall {
    SOCKET_CALL_DONE,   // finished
    SOCKET_CALL_WAIT,   // under way: ask again later
    SOCKET_CALL_FAILED, // `why` says why
};

// Readies the system's sockets, once before the first connection; false, saying why, when it cannot.
bool startSocketSystem(char* why, size_t whySize);
// A numeric IPv4 host ("127.0.0.1") as an address in network byte order; false for a name.
bool readNumericAddress(const char* host, uint32_t* address);
// Starts connecting to `address` (network byte order) and `port`, closing nothing: DONE when open at once.
SocketCall startConnecting(uint32_t address, uint16_t port, char* why, size_t whySize);
// Whether the connection started is open now.
SocketCall pollConnecting(char* why, size_t whySize);
// Bytes that have arrived into `out`: how many, 0 when none yet, SOCKET_PEER_CLOSED when the other end
// closed, or -1 when the connection broke.
constexpr long SOCKET_PEER_CLOSED = -2;
long receiveBytes(unsigned char* out, size_t capacity, char* why, size_t whySize);
// Hands bytes to the connection: how many it took now (0 when none fit), or -1 when it broke.
long sendBytes(const unsigned char* bytes, size_t size, char* why, size_t whySize);
// Closes the connection, if one is open.
void closeConnection();
