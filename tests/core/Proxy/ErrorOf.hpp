#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <optional>

namespace corvane::testing {

// The error of type E that `call` throws; none when it throws nothing or
// something else (reported as a failure).
template <typename E, typename Call>
std::optional<E> errorOf(Call call) {
    try {
        call();
    } catch (const E& error) {
        return error;
    } catch (const std::exception& other) {
        ADD_FAILURE() << "unexpected error: " << other.what();
    }
    return std::nullopt;
}

}  // namespace corvane::testing
