// The host lookup the socket backends share: a name is looked up on a detached thread, so that a slow or
// failing name server never holds up a frame; the backend's blocking lookup does the asking.
#include "platform/host_lookup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace {
// One name's lookup, shared with the thread that does it: the thread may outlive the connection, the run's
// end included, so it holds its own reference.
struct NameLookup {
    std::mutex lock;
    bool done = false;
    bool found = false;
    uint32_t address = 0;
    char why[200] = "";
};
} // namespace

static char lookupHost[256] = "";
static std::shared_ptr<NameLookup> lookup;

static void lookUpName(std::shared_ptr<NameLookup> into, std::string host) {
    uint32_t address = 0;
    char why[sizeof into->why] = "";
    bool found = resolveHostAddress(host.c_str(), &address, why, sizeof why);
    std::lock_guard<std::mutex> hold(into->lock);
    if (found) {
        into->address = address;
        into->found = true;
    } else {
        std::memcpy(into->why, why, sizeof why);
    }
    into->done = true;
}

bool splitHostAndPort(const char* address, char* host, size_t hostSize, uint16_t* port, char* why,
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

HostLookupState startHostLookup(const char* host, uint32_t* address, char* why, size_t whySize) {
    // A name found once is kept; one not found (or not yet) is looked up again, off this thread, and the
    // caller waits for it.
    if (lookup && std::strcmp(host, lookupHost) == 0) {
        std::lock_guard<std::mutex> hold(lookup->lock);
        if (lookup->found) {
            *address = lookup->address;
            return HOST_FOUND;
        }
        if (!lookup->done)
            return HOST_PENDING;
    }
    std::snprintf(lookupHost, sizeof lookupHost, "%s", host);
    lookup = std::make_shared<NameLookup>();
    try {
        std::thread(lookUpName, lookup, std::string(host)).detach();
    } catch (const std::system_error& error) {
        std::snprintf(why, whySize, "cannot look up %s: %s", host, error.what());
        lookup.reset();
        return HOST_FAILED;
    }
    return HOST_PENDING;
}

HostLookupState pollHostLookup(uint32_t* address, char* why, size_t whySize) {
    if (!lookup) {
        std::snprintf(why, whySize, "no host is being looked up");
        return HOST_FAILED;
    }
    std::lock_guard<std::mutex> hold(lookup->lock);
    if (!lookup->done)
        return HOST_PENDING;
    if (!lookup->found) {
        std::snprintf(why, whySize, "%s", lookup->why);
        return HOST_FAILED;
    }
    *address = lookup->address;
    return HOST_FOUND;
}
