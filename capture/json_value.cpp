// Recursive descent over the JSON grammar; numbers through strtod, strings with the usual escapes.
#include "capture/json_value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
struct Reader {
    const std::string& text;
    size_t at;
    std::string why;
    int depth;
};
} // namespace

constexpr int MAX_JSON_DEPTH = 32;

static void skipSpace(Reader& r) {
    while (r.at < r.text.size() && std::strchr(" \t\r\n", r.text[r.at]) != nullptr && r.text[r.at] != '\0')
        ++r.at;
}

static bool fail(Reader& r, const char* what) {
    if (r.why.empty())
        r.why = std::string(what) + " at byte " + std::to_string(r.at);
    return false;
}

static bool readString(Reader& r, std::string* out) {
    if (r.at >= r.text.size() || r.text[r.at] != '"')
        return fail(r, "a string expected");
    ++r.at;
    out->clear();
    while (r.at < r.text.size()) {
        char c = r.text[r.at++];
        if (c == '"')
            return true;
        if (static_cast<unsigned char>(c) < 0x20)
            return fail(r, "a control character in a string");
        if (c != '\\') {
            out->push_back(c);
            continue;
        }
        if (r.at >= r.text.size())
            break;
        char e = r.text[r.at++];
        const char* plain = std::strchr("\"\\/bfnrt", e);
        if (plain != nullptr && e != '\0') {
            out->push_back("\"\\/\b\f\n\r\t"[plain - "\"\\/bfnrt"]);
        } else if (e == 'u' && r.at + 4 <= r.text.size()) {
            char* end = nullptr;
            std::string hex = r.text.substr(r.at, 4);
            unsigned long code = std::strtoul(hex.c_str(), &end, 16);
            if (end != hex.c_str() + 4)
                return fail(r, "a bad \\u escape");
            r.at += 4;
            // Plain UTF-8 for the basic plane; the plans this reads hold paths, not surrogate pairs.
            if (code < 0x80) {
                out->push_back(static_cast<char>(code));
            } else if (code < 0x800) {
                out->push_back(static_cast<char>(0xC0 | (code >> 6)));
                out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
            } else {
                out->push_back(static_cast<char>(0xE0 | (code >> 12)));
                out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
                out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
            }
        } else {
            return fail(r, "a bad escape in a string");
        }
    }
    return fail(r, "an unterminated string");
}

static bool readValue(Reader& r, JsonValue* value);

static bool readArray(Reader& r, JsonValue* value) {
    value->kind = JsonValue::Kind::Array;
    ++r.at;
    skipSpace(r);
    if (r.at < r.text.size() && r.text[r.at] == ']') {
        ++r.at;
        return true;
    }
    for (;;) {
        value->items.emplace_back();
        if (!readValue(r, &value->items.back()))
            return false;
        skipSpace(r);
        if (r.at < r.text.size() && r.text[r.at] == ',') {
            ++r.at;
            continue;
        }
        if (r.at < r.text.size() && r.text[r.at] == ']') {
            ++r.at;
            return true;
        }
        return fail(r, "',' or ']' expected");
    }
}

static bool readObject(Reader& r, JsonValue* value) {
    value->kind = JsonValue::Kind::Object;
    ++r.at;
    skipSpace(r);
    if (r.at < r.text.size() && r.text[r.at] == '}') {
        ++r.at;
        return true;
    }
    for (;;) {
        skipSpace(r);
        std::string name;
        if (!readString(r, &name))
            return false;
        if (jsonMember(*value, name.c_str()) != nullptr)
            return fail(r, ("a second \"" + name + "\"").c_str());
        skipSpace(r);
        if (r.at >= r.text.size() || r.text[r.at] != ':')
            return fail(r, "':' expected");
        ++r.at;
        value->members.emplace_back(name, JsonValue());
        if (!readValue(r, &value->members.back().second))
            return false;
        skipSpace(r);
        if (r.at < r.text.size() && r.text[r.at] == ',') {
            ++r.at;
            continue;
        }
        if (r.at < r.text.size() && r.text[r.at] == '}') {
            ++r.at;
            return true;
        }
        return fail(r, "',' or '}' expected");
    }
}

static bool readValue(Reader& r, JsonValue* value) {
    skipSpace(r);
    if (r.at >= r.text.size())
        return fail(r, "a value expected");
    if (++r.depth > MAX_JSON_DEPTH)
        return fail(r, "nesting too deep");
    bool ok = true;
    char c = r.text[r.at];
    if (c == '{') {
        ok = readObject(r, value);
    } else if (c == '[') {
        ok = readArray(r, value);
    } else if (c == '"') {
        value->kind = JsonValue::Kind::String;
        ok = readString(r, &value->text);
    } else if (r.text.compare(r.at, 4, "true") == 0 || r.text.compare(r.at, 5, "false") == 0) {
        value->kind = JsonValue::Kind::Boolean;
        value->boolean = c == 't';
        r.at += value->boolean ? 4 : 5;
    } else if (r.text.compare(r.at, 4, "null") == 0) {
        r.at += 4;
    } else if (c == '-' || (c >= '0' && c <= '9')) {
        const char* start = r.text.c_str() + r.at;
        char* end = nullptr;
        value->kind = JsonValue::Kind::Number;
        value->number = std::strtod(start, &end);
        if (end == start || !std::isfinite(value->number))
            return fail(r, "a bad number");
        r.at += static_cast<size_t>(end - start);
    } else {
        return fail(r, "a value expected");
    }
    --r.depth;
    return ok;
}

bool parseJson(const std::string& text, JsonValue* value, std::string* why) {
    Reader r{text, 0, std::string(), 0};
    *value = JsonValue();
    bool ok = readValue(r, value);
    skipSpace(r);
    if (ok && r.at != text.size())
        ok = fail(r, "text after the end");
    if (!ok)
        *why = r.why;
    return ok;
}

const JsonValue* jsonMember(const JsonValue& object, const char* name) {
    for (const auto& member : object.members)
        if (member.first == name)
            return &member.second;
    return nullptr;
}

std::string jsonQuote(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}
