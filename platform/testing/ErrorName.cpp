#include "platform/testing/ErrorName.hpp"

#include <cstring>

namespace corvane::platform::testing {

std::string errorName(const Error& error) {
    if (!error) return "none";
    if (auto code = posixCode(error)) {
        if (const char* name = strerrorname_np(*code)) return name;
    }
    return std::string(error.category().name()) + ":" + std::to_string(error.value());
}

}  // namespace corvane::platform::testing
