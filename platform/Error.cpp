#include "platform/Error.hpp"

#include <cerrno>
#include <cstring>

namespace corvane::platform {

std::optional<int> posixCode(const Error& error) {
    if (!error) return std::nullopt;
    // Asio's system category is its own object with the name "asio.system"; the
    // standard ones are "system" and "generic". All three carry errno values.
    const char* name = error.category().name();
    if (std::strcmp(name, "system") == 0 || std::strcmp(name, "generic") == 0 ||
        std::strcmp(name, "asio.system") == 0) {
        return error.value();
    }
    return std::nullopt;
}

bool isPosixError(const Error& error, int value) {
    auto code = posixCode(error);
    return code && *code == value;
}

Error posixError(int value) {
    return Error(value, std::generic_category());
}

Error connectionRefused() {
    return posixError(ECONNREFUSED);
}

}  // namespace corvane::platform
