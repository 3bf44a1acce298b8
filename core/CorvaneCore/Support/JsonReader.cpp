#include "CorvaneCore/Support/JsonReader.hpp"

#include "CorvaneCore/Support/Unicode.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace corvane::json {
namespace {

[[noreturn]] void fail(std::string_view what, std::string_view expected) {
    throw JsonDecodeError("“" + std::string(what) + "”: expected " + std::string(expected) + ".");
}

const std::string depthRefusal = "The data is nested more than " + std::to_string(kMaxDepth) + " levels deep.";

[[noreturn]] void failDepth() { throw JsonDecodeError(depthRefusal); }

// Where the first more than kMaxDepth arrays and objects are open at once,
// counted in one pass without recursion; brackets inside strings do not count.
std::optional<std::size_t> tooDeepAt(std::string_view text) {
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (std::size_t offset = 0; offset < text.size(); ++offset) {
        const char c = text[offset];
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth) return offset;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return std::nullopt;
}

// The line and column of the byte at `offset` (past the end: just after the last byte).
JsonDecodeError::Position positionOf(std::string_view text, std::size_t offset) {
    const std::string_view before = text.substr(0, std::min(offset, text.size()));
    const std::size_t lineStart = before.rfind('\n') == std::string_view::npos ? 0 : before.rfind('\n') + 1;
    const auto breaks = static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
    return {breaks + 1, before.size() - lineStart + 1};
}

// What the parser found wrong, without its own prefix and position
// ("[json.exception.parse_error.101] parse error at line 1, column 2: ...")
// and without the bytes it last read, which the position already points to.
std::string detailOf(const Json::exception& error) {
    std::string detail = error.what();
    if (const std::size_t tag = detail.find("] "); tag != std::string::npos) detail.erase(0, tag + 2);
    if (const std::size_t column = detail.find("column "); column != std::string::npos) {
        if (const std::size_t colon = detail.find(": ", column); colon != std::string::npos) detail.erase(0, colon + 2);
    }
    constexpr std::string_view lastRead = "; last read: '";
    if (const std::size_t start = detail.find(lastRead); start != std::string::npos) {
        const std::size_t expected = detail.rfind("'; expected ");
        const std::size_t end = expected != std::string::npos && expected > start ? expected + 1 : detail.size();
        detail.erase(start, end - start);
    }
    return unicode::replacingInvalidUTF8(detail);
}

std::string notJson(const Json::exception& error) { return "The data is not valid JSON: " + detailOf(error) + "."; }

}  // namespace

Json parse(std::string_view text) {
    if (const auto offset = tooDeepAt(text)) throw JsonDecodeError(depthRefusal, positionOf(text, *offset));
    try {
        return Json::parse(text.begin(), text.end());
    } catch (const Json::parse_error& error) {
        // `byte` counts the bytes read up to and including the one that failed.
        throw JsonDecodeError(notJson(error), positionOf(text, error.byte > 0 ? error.byte - 1 : 0));
    } catch (const Json::exception& error) {
        throw JsonDecodeError(notJson(error));  // a number too large for a double
    }
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
