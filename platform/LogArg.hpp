#pragma once

#include <concepts>
#include <string>
#include <string_view>

namespace corvane::platform {

// One argument of a log line. Text arguments are public for "%{public}s" and private
// for "%s"; numbers ("%ld", "%hu") are public.
struct LogArg {
    std::string text;
    bool isPublic = true;

    static LogArg publicText(std::string_view text) { return {std::string(text), true}; }
    static LogArg privateText(std::string_view text) { return {std::string(text), false}; }
    template <std::integral T>
    static LogArg number(T value) { return {std::to_string(value), true}; }
};

}  // namespace corvane::platform
