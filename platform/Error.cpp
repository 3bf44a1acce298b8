#include "platform/Error.hpp"

#include <cerrno>

namespace corvane::platform {

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
