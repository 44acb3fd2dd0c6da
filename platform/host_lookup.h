// Finding the IPv4 address of a socket's "HOST:PORT" without holding up a frame: the address is split here,
// a name is looked up on a thread of its own, and a name found once is kept. The socket backends share this
// rule; each supplies only the blocking lookup itself.
#pragma once
#include <cstddef>
#include <cstdint>

enum HostLookupState {
    HOST_FOUND,   // the address is known
    HOST_PENDING, // being looked up: ask again on a later frame
    HOST_FAILED,  // no address, or the lookup could not start; `why` said why
};

// "HOST:PORT" into the host and the port; false, saying why, when it is not that.
bool splitHostAndPort(const char* address, char* host, size_t hostSize, uint16_t* port, char* why,
                      size_t whySize);
// The address of the named `host` (network byte order) when it was found before; otherwise starts looking it
// up off this thread (HOST_PENDING), or fails to start (HOST_FAILED).
HostLookupState startHostLookup(const char* host, uint32_t* address, char* why, size_t whySize);
// Where the lookup started last stands; on HOST_FOUND its address, on HOST_FAILED why it found none.
HostLookupState pollHostLookup(uint32_t* address, char* why, size_t whySize);

// Each backend: looks `host` up, blocking, into `address` (network byte order); false, with the reason
// worded as the system words it, when there is none.
bool resolveHostAddress(const char* host, uint32_t* address, char* why, size_t whySize);
