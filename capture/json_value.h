// A small JSON reader for the files doz-capture writes itself (a capture job's plan), strict enough to
// tell a damaged or hand-broken file from a good one.
#pragma once
#include <string>
#include <utility>
#include <vector>

struct JsonValue {
    enum class Kind { Null, Boolean, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0.0;
    std::string text;
    std::vector<JsonValue> items;                           // an array's
    std::vector<std::pair<std::string, JsonValue>> members; // an object's, in file order
};

// Parses the whole text as one value; false, with where and why, on anything else.
bool parseJson(const std::string& text, JsonValue* value, std::string* why);

// The member `name` of an object, or nullptr.
const JsonValue* jsonMember(const JsonValue& object, const char* name);

// `text` as a JSON string literal, quotes included.
std::string jsonQuote(const std::string& text);
