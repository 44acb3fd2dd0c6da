// Address parameters of the web page: a start time and the paused flag, read leniently so that a bad link
// still shows the demo.
#include "app/page_address.h"

#include "audio/soundtrack.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static void addWarning(char* warnings, size_t warningsSize, const std::string& line) {
    size_t used = std::strlen(warnings);
    if (warningsSize <= 0 || used + 1 >= warningsSize)
        return;
    std::snprintf(warnings + used, warningsSize - used, "%s\n", line.c_str());
}

// A value as written in the address, with its "%xx" escapes and '+' (a space) undone.
static std::string decodeValue(const std::string& text) {
    std::string value;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            value += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            value += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            value += text[i];
        }
    }
    return value;
}

static double readStartTime(const std::string& value, char* warnings, size_t warningsSize) {
    const char* text = value.c_str();
    char* end = nullptr;
    double seconds = std::strtod(text, &end);
    while (end != nullptr && *end == ' ')
        ++end;
    if (value.empty() || end == text || *end != '\0' || !std::isfinite(seconds)) {
        addWarning(warnings, warningsSize,
                   "doz-engine: at=" + value + " is not a time in seconds; starting at 0");
        return 0.0;
    }
    if (seconds < 0.0 || seconds > END_TIME) {
        double clamped = seconds < 0.0 ? 0.0 : END_TIME;
        char line[160];
        std::snprintf(line, sizeof line, "doz-engine: at=%s is outside 0 to %g s; starting at %g",
                      value.c_str(), END_TIME, clamped);
        addWarning(warnings, warningsSize, line);
        return clamped;
    }
    return seconds;
}

static void readSyncAddress(const std::string& value, PageAddress* address, char* warnings,
                            size_t warningsSize) {
    bool webSocket = value.compare(0, 5, "ws://") == 0 || value.compare(0, 6, "wss://") == 0;
    if (!webSocket || value.size() + 1 > sizeof address->sync ||
        value.find_first_of(" \"'<>\\&#%") != std::string::npos) {
        addWarning(warnings, warningsSize,
                   "doz-engine: sync=" + value + " is not a ws:// or wss:// address; no sync editor");
        return;
    }
    std::snprintf(address->sync, sizeof address->sync, "%s", value.c_str());
}

PageAddress readPageAddress(const char* query, char* warnings, size_t warningsSize) {
    PageAddress address = {0.0, false, "", false};
    if (warningsSize > 0)
        warnings[0] = '\0';
    std::string text = query != nullptr ? query : "";
    if (!text.empty() && text[0] == '?')
        text.erase(0, 1);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('&', start);
        if (end == std::string::npos)
            end = text.size();
        std::string pair = text.substr(start, end - start);
        size_t equals = pair.find('=');
        std::string key = decodeValue(pair.substr(0, equals));
        std::string value = equals == std::string::npos ? "" : decodeValue(pair.substr(equals + 1));
        if (key == "at")
            address.atSeconds = readStartTime(value, warnings, warningsSize);
        else if (key == "paused")
            address.paused = value != "0" && value != "false";
        else if (key == "sync")
            readSyncAddress(value, &address, warnings, warningsSize);
        else if (key == "edit")
            address.edit = true;
        start = end + 1;
    }
    return address;
}

void formatPausedMoment(double seconds, char* query, int querySize) {
    char time[32];
    std::snprintf(time, sizeof time, "%.5f", seconds);
    size_t length = std::strlen(time);
    while (length > 0 && time[length - 1] == '0')
        time[--length] = '\0';
    if (length > 0 && time[length - 1] == '.')
        time[--length] = '\0';
    std::snprintf(query, static_cast<size_t>(querySize), "?at=%s&paused", time);
}
