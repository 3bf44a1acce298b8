#include "CorvaneCore/Support/JsonReader.hpp"

#include <cstdio>
#include <utility>
#include <vector>

namespace corvane::json {
namespace {

[[noreturn]] void fail(std::string_view what, std::string_view expected) {
    throw JsonDecodeError("“" + std::string(what) + "”: expected " + std::string(expected) + ".");
}

[[noreturn]] void failDepth() {
    throw JsonDecodeError("The data is nested more than " + std::to_string(kMaxDepth) + " levels deep.");
}

// Whether the text opens more than kMaxDepth arrays and objects at once, counted
// in one pass without recursion; brackets inside strings do not count.
bool nestedTooDeep(std::string_view text) {
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth) return true;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

}  // namespace

Json parse(std::string_view text) {
    if (nestedTooDeep(text)) failDepth();
    Json value = Json::parse(text.begin(), text.end(), nullptr, false);
    if (value.is_discarded()) throw JsonDecodeError("The data is not valid JSON.");
    return value;
}

void requireDepthWithinLimit(const Json& value) {
    // Each array or object with the number of levels above it.
    std::vector<std::pair<const Json*, std::size_t>> open{{&value, 0}};
    while (!open.empty()) {
        const auto [current, above] = open.back();
        open.pop_back();
        if (!current->is_structured()) continue;
        if (above + 1 > kMaxDepth) failDepth();
        for (const Json& child : *current) open.emplace_back(&child, above + 1);
    }
}

const Json& requireObject(const Json& value, std::string_view what) {
    if (!value.is_object()) fail(what, "an object");
    return value;
}

const Json& requireArray(const Json& value, std::string_view what) {
    if (!value.is_array()) fail(what, "an array");
    return value;
}

const Json* find(const Json& object, std::string_view key) {
    requireObject(object, "value");
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

const Json& require(const Json& object, std::string_view key) {
    const Json* value = find(object, key);
    if (value == nullptr) throw JsonDecodeError("“" + std::string(key) + "”: required key is missing.");
    return *value;
}

bool asBool(const Json& value, std::string_view what) {
    if (!value.is_boolean()) fail(what, "a Boolean");
    return value.get<bool>();
}

std::string asString(const Json& value, std::string_view what) {
    if (!value.is_string()) fail(what, "a string");
    return value.get<std::string>();
}

double asNumber(const Json& value, std::string_view what) {
    if (!value.is_number()) fail(what, "a number");
    return value.get<double>();
}

UUID asUUID(const Json& value, std::string_view what) {
    const auto id = UUID::fromString(asString(value, what));
    if (!id) fail(what, "a UUID string");
    return *id;
}

void failRange(std::string_view what, long double low, long double high) {
    char range[96];
    std::snprintf(range, sizeof range, "an integer from %.0Lf to %.0Lf", low, high);
    fail(what, range);
}

}  // namespace corvane::json
