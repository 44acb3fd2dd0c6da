// Reading a compile log's lines: ANGLE ("ERROR: 0:12:"), Mesa ("0:12(5): error:") and NVIDIA
// ("0(12) : error") name the source string and then the line.
#include "render/stage_log_lines.h"

#include <cctype>
#include <cstdlib>

static bool digitAt(const std::string& text, size_t at) {
    return at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) != 0;
}

static size_t digitsEnd(const std::string& text, size_t at) {
    while (digitAt(text, at))
        ++at;
    return at;
}

bool findLogLocation(const std::string& logLine, LogLocation* location) {
    for (size_t start = 0; start < logLine.size(); ++start) {
        if (!digitAt(logLine, start) || (start > 0 && digitAt(logLine, start - 1)))
            continue;
        const size_t stringEnd = digitsEnd(logLine, start);
        if (stringEnd >= logLine.size())
            return false;
        const char opening = logLine[stringEnd];
        if ((opening != ':' && opening != '(') || !digitAt(logLine, stringEnd + 1))
            continue;
        const size_t lineEnd = digitsEnd(logLine, stringEnd + 1);
        const char closing = lineEnd < logLine.size() ? logLine[lineEnd] : '\0';
        const bool named = opening == ':' ? closing == ':' || closing == '(' : closing == ')';
        if (!named)
            continue;
        location->begin = stringEnd + 1;
        location->end = lineEnd;
        location->line = std::atoi(logLine.c_str() + location->begin);
        return true;
    }
    return false;
}

// Calls `each` with every line of the log, without its line break.
template <typename Each> static void forEachLogLine(const char* log, Each each) {
    const std::string text(log);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        each(text.substr(at, end - at), end < text.size());
        at = end + 1;
    }
}

std::string withAuthorLines(const char* log, int (*authorLine)(int)) {
    std::string mapped;
    forEachLogLine(log, [&](std::string line, bool broken) {
        LogLocation location{};
        if (findLogLocation(line, &location))
            line.replace(location.begin, location.end - location.begin,
                         std::to_string(authorLine(location.line)));
        mapped += line;
        if (broken)
            mapped += '\n';
    });
    return mapped;
}

static bool saysError(const std::string& line) {
    std::string lower(line);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("error") != std::string::npos;
}

std::vector<StageLogError> stageLogErrors(const char* log) {
    std::vector<StageLogError> errors;
    forEachLogLine(log, [&](const std::string& line, bool) {
        LogLocation location{};
        if (saysError(line) && findLogLocation(line, &location))
            errors.push_back({location.line, line});
    });
    return errors;
}
