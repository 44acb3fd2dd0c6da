// doz-capture's messages on stderr.
#include "capture/report.h"

#include <cstdio>

void reportNote(const std::string& message) {
    std::fprintf(stderr, "doz-capture: %s\n", message.c_str());
}

int reportFailure(const std::string& message) {
    reportNote(message);
    return 1;
}

int reportRefusal(const std::string& message) {
    reportNote(message);
    return 2;
}

void addReason(std::string* why, const std::string& more) {
    *why = why->empty() ? more : *why + "; " + more;
}
