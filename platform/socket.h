// One outgoing stream connection, for the live link to a sync editor: connecting, reading and writing never
// wait, so the frame loop polls it once per frame. Native builds speak TCP to "HOST:PORT"; the page opens a
// WebSocket to "ws://HOST:PORT", reads its messages as one byte stream, however they are split, and sends
// each write as one message (the caller writes one command at a time).
#pragma once
#include <cstddef>

enum SocketState {
    SOCKET_CLOSED,     // none open
    SOCKET_CONNECTING, // asked for, not yet answered
    SOCKET_OPEN,       // bytes flow
    SOCKET_FAILED,     // refused, unreachable or gone: close it; `why` said why
};

// Starts connecting to `address` (closing any connection before). False, with the reason in `why`, when the
// address cannot be used or the attempt cannot even start.
bool openSocket(const char* address, char* why, size_t whySize);
// Where the connection stands now; on SOCKET_FAILED the reason goes into `why`.
SocketState pollSocket(char* why, size_t whySize);
// Copies up to `capacity` bytes that have arrived into `out`; returns how many (0 when none), or -1 when the
// other end closed or the connection broke (the reason in `why`).
long readSocket(unsigned char* out, size_t capacity, char* why, size_t whySize);
// Hands bytes to the connection (on the page: as one message, whole); returns how many it took now (0 when
// none fit), or -1 on failure.
long writeSocket(const unsigned char* bytes, size_t size, char* why, size_t whySize);
// Sends a short greeting whole, as text where the transport tells text from bytes (a WebSocket's text
// message); false when it could not go whole.
bool writeSocketGreeting(const char* text, size_t size, char* why, size_t whySize);
void closeSocket();
