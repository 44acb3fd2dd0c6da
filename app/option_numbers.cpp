// strtod and strtol held to the whole text and to their range.
#include "app/option_numbers.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

bool readOptionNumber(const char* text, double* value) {
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool readOptionInteger(const char* text, long* value) {
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0)
        return false;
    *value = v;
    return true;
}
