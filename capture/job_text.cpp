// A capture job's plan (job.json), written and read: strict JSON, every value held to what this doz-capture
// can draw, and every refusal naming the file, the line and the reason. Nothing in the file can make it
// throw.
#include "capture/capture_job.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <new>
#include <sstream>
#include <vector>

// Members keep the order they are written in: the plan reads top to bottom as the command line does.
using Json = nlohmann::ordered_json;

constexpr int MAX_JOB_DEPTH = 16;

namespace {

// The parser sees the text through this iterator, which counts the lines it has read: at a key or a '['
// the count is that token's line, since the lexer has read nothing past it yet.
class CountedChars {
  public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CountedChars(const char* at, int* line) : at_(at), line_(line) {}
    reference operator*() const { return *at_; }
    CountedChars& operator++() {
        if (*at_ == '\n')
            ++*line_;
        ++at_;
        return *this;
    }
    bool operator==(const CountedChars& other) const { return at_ == other.at_; }
    bool operator!=(const CountedChars& other) const { return at_ != other.at_; }

  private:
    const char* at_;
    int* line_;
};

// Where the plan's parts are: each member's key, each chunk's '[', and the plan's closing brace.
struct PlanLines {
    std::map<std::string, int> members;
    std::vector<int> chunks;
    int end = 1;

    int member(const char* name) const {
        auto found = members.find(name);
        return found == members.end() ? end : found->second;
    }
};

// Builds the document as the library's own parser does, and notes the lines of PlanLines on the way.
class LineNotingParser {
  public:
    using Dom = nlohmann::detail::json_sax_dom_parser<Json>;

    LineNotingParser(Json* result, const std::string& text, const int* line, PlanLines* lines)
        : dom_(*result, false), text_(text), line_(line), lines_(lines) {}

    bool null() { return dom_.null(); }
    bool boolean(bool value) { return dom_.boolean(value); }
    bool number_integer(Json::number_integer_t value) { return dom_.number_integer(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return dom_.number_unsigned(value); }
    bool number_float(Json::number_float_t value, const std::string& text) {
        return dom_.number_float(value, text);
    }
    bool string(std::string& value) { return dom_.string(value); }
    bool binary(Json::binary_t& value) { return dom_.binary(value); }
    bool start_object(std::size_t size) { return deeper() && dom_.start_object(size); }
    bool key(std::string& name) {
        if (depth_ == 1) {
            lines_->members[name] = *line_;
            member_ = name;
            if (name == "chunks") // a repeated member replaces the first, as in the document
                lines_->chunks.clear();
        }
        return dom_.key(name);
    }
    bool end_object() {
        if (--depth_ == 0)
            lines_->end = *line_;
        return dom_.end_object();
    }
    bool start_array(std::size_t size) {
        if (!deeper())
            return false;
        if (depth_ == 3 && member_ == "chunks")
            lines_->chunks.push_back(*line_);
        return dom_.start_array(size);
    }
    bool end_array() {
        --depth_;
        return dom_.end_array();
    }
    // `position` is where the lexer stands after the token, not counting what it read ahead.
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& error) {
        // The library's message without its tag; a number too big for a double says no line of its own.
        const std::string what = error.what();
        const size_t tagEnd = what.find("] ");
        reason = tagEnd != std::string::npos ? what.substr(tagEnd + 2) : what;
        if (reason.rfind("parse error at line ", 0) != 0) {
            const auto end = text_.begin() + static_cast<std::ptrdiff_t>(std::min(position, text_.size()));
            reason = "line " + std::to_string(1 + std::count(text_.begin(), end, '\n')) + ": " + reason;
        }
        return false;
    }

    std::string reason;

  private:
    // A plan nests three deep; a file nested thousands deep would only cost memory and time.
    bool deeper() {
        if (++depth_ <= MAX_JOB_DEPTH)
            return true;
        reason = "line " + std::to_string(*line_) + ": nested more than " + std::to_string(MAX_JOB_DEPTH) +
                 " deep";
        return false;
    }

    Dom dom_;
    const std::string& text_;
    const int* line_;
    PlanLines* lines_;
    int depth_ = 0;
    std::string member_;
};

const Json* member(const Json& object, const char* name) {
    if (!object.is_object())
        return nullptr;
    auto found = object.find(name);
    return found == object.end() ? nullptr : &*found;
}

bool readNumber(const Json& plan, const char* name, double* value) {
    const Json* v = member(plan, name);
    if (v == nullptr || !v->is_number())
        return false;
    *value = v->get<double>();
    return std::isfinite(*value);
}

bool readInteger(const Json& v, long long low, long long high, int* value) {
    if (!v.is_number())
        return false;
    const double number = v.get<double>();
    if (!(number == std::floor(number) && number >= low && number <= high))
        return false;
    *value = static_cast<int>(number);
    return true;
}

// A text that is not empty and holds no NUL, which a path or a name would be cut at.
bool readText(const Json& object, const char* name, std::string* value) {
    const Json* v = member(object, name);
    if (v == nullptr || !v->is_string())
        return false;
    const std::string& text = v->get_ref<const std::string&>();
    if (text.empty() || text.find('\0') != std::string::npos)
        return false;
    *value = text;
    return true;
}

// Every value in range and the chunks exactly covering the frames, in order.
bool readPlan(const Json& plan, const PlanLines& lines, CaptureJob* job, std::string* why) {
    CaptureOptions& o = job->options;
    auto refuse = [&](int line, const std::string& reason) {
        *why = "line " + std::to_string(line) + ": " + reason;
        return false;
    };
    std::string format;
    const Json* renderer = member(plan, "renderer");
    const Json* size = member(plan, "size");
    const Json* frames = member(plan, "frames");
    const Json* chunks = member(plan, "chunks");
    const Json* supersample = member(plan, "supersample");
    if (!plan.is_object() || !readText(plan, "format", &format) || format != JOB_FORMAT)
        return refuse(lines.member("format"),
                      std::string("it is not a plan of this doz-capture (\"format\" is not \"") + JOB_FORMAT +
                          "\")");
    if (renderer == nullptr || !readText(*renderer, "version", &job->renderer.version) ||
        !readText(*renderer, "commit", &job->renderer.commit) ||
        !readText(*renderer, "stages", &job->renderer.stages) ||
        !readText(*renderer, "soundtrack", &job->renderer.soundtrack))
        return refuse(lines.member("renderer"), "\"renderer\" is missing or incomplete");
    if (!readText(plan, "tracks", &job->tracks))
        return refuse(lines.member("tracks"), "\"tracks\" is missing");
    if (size == nullptr || !size->is_array() || size->size() != 2 ||
        !readInteger((*size)[0], 2, MAX_CAPTURE_SIDE, &o.width) ||
        !readInteger((*size)[1], 2, MAX_CAPTURE_SIDE, &o.height) || o.width % 2 != 0 || o.height % 2 != 0)
        return refuse(lines.member("size"), "\"size\" is not an even [width, height]");
    if (!readNumber(plan, "fps", &o.fps) || o.fps <= 0.0 || o.fps > MAX_CAPTURE_FPS)
        return refuse(lines.member("fps"), "\"fps\" is missing or out of range");
    if (!readNumber(plan, "from", &o.from) || o.from < 0.0 || o.from >= END_TIME)
        return refuse(lines.member("from"), "\"from\" is missing or out of range");
    if (!readNumber(plan, "to", &o.to) || o.from >= o.to || o.to > END_TIME)
        return refuse(lines.member("to"), "\"to\" is missing or out of range");
    if (!readNumber(plan, "scale", &o.scale) || (o.scale != 0.0 && (o.scale < 0.25 || o.scale > 1.0)))
        return refuse(lines.member("scale"), "\"scale\" is missing or out of range");
    if (supersample == nullptr || !readInteger(*supersample, 1, MAX_SUPERSAMPLE, &o.supersample) ||
        static_cast<long>(o.width) * o.supersample > MAX_CAPTURE_SIDE ||
        static_cast<long>(o.height) * o.supersample > MAX_CAPTURE_SIDE)
        return refuse(lines.member("supersample"), "\"supersample\" is missing or out of range");
    if (!readText(plan, "output", &o.output))
        return refuse(lines.member("output"), "\"output\" is missing");
    if (frames == nullptr || !readInteger(*frames, 1, 1LL << 30, &job->frames) ||
        job->frames != videoFrameCount(o))
        return refuse(lines.member("frames"), "\"frames\" does not match the time range and frame rate");
    if (chunks == nullptr || !chunks->is_array() || chunks->empty() ||
        chunks->size() > static_cast<size_t>(MAX_JOB_CHUNKS))
        return refuse(lines.member("chunks"), "\"chunks\" is missing or empty");
    int next = 0;
    size_t index = 0;
    for (const Json& chunk : *chunks) {
        ChunkRange range{0, 0};
        if (!chunk.is_array() || chunk.size() != 2 || !readInteger(chunk[0], 0, job->frames, &range.first) ||
            !readInteger(chunk[1], 1, job->frames - range.first, &range.count) || range.first != next)
            return refuse(index < lines.chunks.size() ? lines.chunks[index] : lines.member("chunks"),
                          "the chunk ranges do not follow each other");
        next = range.first + range.count;
        job->chunks.push_back(range);
        ++index;
    }
    if (next != job->frames)
        return refuse(lines.member("chunks"), "the chunk ranges do not cover the frames");
    o.mode = CaptureMode::Video;
    o.chunks = static_cast<int>(job->chunks.size());
    return true;
}

} // namespace

std::string jobJson(const CaptureJob& job) {
    const CaptureOptions& o = job.options;
    const RendererIdentity& r = job.renderer;
    Json chunks = Json::array();
    for (const ChunkRange& chunk : job.chunks)
        chunks.push_back(Json::array({chunk.first, chunk.count}));
    Json plan = Json::object();
    plan["format"] = JOB_FORMAT;
    plan["renderer"] = {
        {"version", r.version}, {"commit", r.commit}, {"stages", r.stages}, {"soundtrack", r.soundtrack}};
    plan["tracks"] = job.tracks;
    plan["size"] = Json::array({o.width, o.height});
    plan["fps"] = o.fps;
    plan["from"] = o.from;
    plan["to"] = o.to;
    plan["scale"] = o.scale;
    plan["supersample"] = o.supersample;
    plan["output"] = o.output;
    plan["frames"] = job.frames;
    plan["chunks"] = std::move(chunks);
    // Text that is not UTF-8 is refused before a plan is made (isJsonText); nothing here is replaced.
    return plan.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool isJsonText(const std::string& text) {
    try {
        (void)Json(text).dump();
        return true;
    } catch (const Json::type_error&) {
        return false;
    }
}

bool readJobText(const std::string& path, const std::string& text, CaptureJob* job, std::string* why) {
    const std::string dir = job->dir;
    *job = CaptureJob();
    job->dir = dir;
    Json plan;
    PlanLines lines;
    int line = 1;
    LineNotingParser parser(&plan, text, &line, &lines);
    const char* begin = text.data();
    // Strict JSON: no comments, no trailing commas, no hex or leading zeros, whole surrogate pairs, and no
    // number beyond a double's range.
    bool parsed = false;
    try {
        parsed = Json::sax_parse(CountedChars(begin, &line), CountedChars(begin + text.size(), &line),
                                 &parser, nlohmann::json::input_format_t::json, true, false);
    } catch (const std::bad_alloc&) {
        parser.reason = "line " + std::to_string(line) + ": more than this machine's memory holds";
    }
    std::string reason = parser.reason;
    if (!parsed && reason.empty())
        reason = "line " + std::to_string(line) + ": it is not JSON";
    if (!reason.empty() || !readPlan(plan, lines, job, &reason)) {
        *why = "'" + path + "' is not a usable plan: " + reason;
        return false;
    }
    return true;
}

bool readJob(const std::string& dir, CaptureJob* job, std::string* why) {
    *job = CaptureJob();
    job->dir = dir;
    const std::string path = dir + "/job.json";
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *why = "no plan at '" + path + "'" +
               (errno != ENOENT ? std::string(": ") + std::strerror(errno) : "") + " (make one with --plan)";
        return false;
    }
    // A file far bigger than any plan (a device, a wrong path) is refused before it is read.
    file.seekg(0, std::ios::end);
    const std::streamoff bytes = file.tellg();
    file.seekg(0);
    if (bytes < 0 || bytes > MAX_JOB_FILE_BYTES) {
        *why = "'" + path + "' is not a usable plan: " +
               (bytes < 0 ? std::string("it cannot be read") : "it is larger than any plan");
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (!file && !file.eof()) {
        *why = "'" + path + "' cannot be read: " + std::strerror(errno);
        return false;
    }
    return readJobText(path, text.str(), job, why);
}
