#include "CorvaneCore/Proxy/PosixErrorCode.hpp"

#include <asio/error.hpp>

namespace corvane {

std::optional<int> posixCode(const std::error_code& error) {
    const auto& category = error.category();
    if (category == asio::system_category() || category == std::system_category() ||
        category == std::generic_category()) {
        return error.value();
    }
    return std::nullopt;
}

}  // namespace corvane
