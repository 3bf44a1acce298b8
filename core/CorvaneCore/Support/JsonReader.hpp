#pragma once

#include "CorvaneCore/Support/JsonDecodeError.hpp"
#include "CorvaneCore/Support/UUID.hpp"

#include <nlohmann/json.hpp>

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

// Strict readers over nlohmann::json. nlohmann converts silently (70000 to a
// 16-bit 4464, true to 1, 80.7 to 80, -1 to the largest unsigned value); these
// readers check the JSON type first and then the exact range, and throw
// JsonDecodeError for anything else. A key that is missing or null is absent.
namespace corvane::json {

using Json = nlohmann::json;

// The deepest nesting of arrays and objects that parse accepts. Copying, comparing
// and writing a value recurse once per level, so deeper text from outside could
// exhaust the stack; it is refused before it is parsed.
inline constexpr std::size_t kMaxDepth = 64;

// Parses text as JSON; text that is not JSON, or nested deeper than kMaxDepth,
// throws JsonDecodeError.
Json parse(std::string_view text);

// Throws JsonDecodeError, as parse does, for a value nested deeper than kMaxDepth.
// It counts without recursion, so it is safe on a value of any depth.
void requireDepthWithinLimit(const Json& value);

const Json& requireObject(const Json& value, std::string_view what);
const Json& requireArray(const Json& value, std::string_view what);

// The value of a key of an object; missing or null throws.
const Json& require(const Json& object, std::string_view key);
// The value of a key of an object, or nullptr when missing or null.
const Json* find(const Json& object, std::string_view key);

bool asBool(const Json& value, std::string_view what);
std::string asString(const Json& value, std::string_view what);
double asNumber(const Json& value, std::string_view what);
UUID asUUID(const Json& value, std::string_view what);

[[noreturn]] void failRange(std::string_view what, long double low, long double high);

// A JSON integer (never a fraction, never a Boolean) that fits T exactly.
template <std::integral T>
T asInteger(const Json& value, std::string_view what) {
    constexpr auto low = std::numeric_limits<T>::min();
    constexpr auto high = std::numeric_limits<T>::max();
    if (value.is_number_unsigned()) {
        const auto v = value.get<std::uint64_t>();
        if (v <= static_cast<std::uint64_t>(high)) return static_cast<T>(v);
    } else if (value.is_number_integer()) {
        const auto v = value.get<std::int64_t>();
        if (v >= 0 ? static_cast<std::uint64_t>(v) <= static_cast<std::uint64_t>(high)
                   : std::is_signed_v<T> && v >= static_cast<std::int64_t>(low))
            return static_cast<T>(v);
    }
    failRange(what, static_cast<long double>(low), static_cast<long double>(high));
}

// Typed reading of one key: `required` throws when the key is missing or null,
// `optional` gives nullopt then. Both throw on a value of the wrong form.
template <class T>
T read(const Json& value, std::string_view what) {
    if constexpr (std::same_as<T, bool>) return asBool(value, what);
    else if constexpr (std::integral<T>) return asInteger<T>(value, what);
    else if constexpr (std::same_as<T, double>) return asNumber(value, what);
    else if constexpr (std::same_as<T, std::string>) return asString(value, what);
    else if constexpr (std::same_as<T, UUID>) return asUUID(value, what);
    else static_assert(sizeof(T) == 0, "no strict JSON reader for this type");
}

// Reads a part of a document (`read()`), so that a failure inside it names
// the part in its path: a key of an object, or an index of an array.
template <class Read>
auto inside(std::string_view key, Read&& read) -> decltype(read()) {
    try {
        return read();
    } catch (JsonDecodeError& error) {
        error.enclose(key);
        throw;
    }
}

template <class Read>
auto inside(std::size_t index, Read&& read) -> decltype(read()) {
    try {
        return read();
    } catch (JsonDecodeError& error) {
        error.enclose(index);
        throw;
    }
}

// A required key's value read by T::fromJson; a failure inside it names the key.
template <class T>
T requiredPart(const Json& object, std::string_view key) {
    const Json& value = require(object, key);
    return inside(key, [&] { return T::fromJson(value); });
}

template <class T>
std::optional<T> optionalPart(const Json& object, std::string_view key) {
    const Json* value = find(object, key);
    if (value == nullptr) return std::nullopt;
    return inside(key, [&] { return T::fromJson(*value); });
}

template <class T>
T required(const Json& object, std::string_view key) {
    return read<T>(require(object, key), key);
}

template <class T>
std::optional<T> optional(const Json& object, std::string_view key) {
    const Json* value = find(object, key);
    if (value == nullptr) return std::nullopt;
    return read<T>(*value, key);
}

}  // namespace corvane::json
