#include "CorvaneCore/Support/PosixErrorCode.hpp"

#include <cstring>

namespace corvane {

std::optional<int> posixCode(const std::error_code& error) {
    if (!error) return std::nullopt;
    // Compared by name: Asio's system category is an object of its own.
    const char* name = error.category().name();
    if (std::strcmp(name, "system") == 0 || std::strcmp(name, "generic") == 0 ||
        std::strcmp(name, "asio.system") == 0) {
        return error.value();
    }
    return std::nullopt;
}

}  // namespace corvane
