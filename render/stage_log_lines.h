// A driver's compile log read for its errors' lines, and rewritten with the lines of the text the author
// wrote where the compiled text had lines of its own added (the ES head).
#pragma once
#include <string>
#include <vector>

// The line number a log line names ("ERROR: 0:12: ...", "0:12(5): error: ...", "0(12) : error ..."), with
// where its digits stand in the line; false when it names none.
struct LogLocation {
    int line;
    size_t begin, end; // the digits of the line number
};
bool findLogLocation(const std::string& logLine, LogLocation* location);

// The log with each named line `L` replaced by `authorLine(L)`.
std::string withAuthorLines(const char* log, int (*authorLine)(int));

struct StageLogError {
    int line;
    std::string message; // the whole line of the log
};
// Every line of the log that reports an error at a line, in the log's order.
std::vector<StageLogError> stageLogErrors(const char* log);
