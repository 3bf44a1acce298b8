#pragma once

#include <cstdint>
#include <string>

namespace corvane::app {

// The health of one proxy: not tested, a probe running, the handshake time in
// whole milliseconds, or the probe's failure text.
struct ProxyTestState {
    enum class Kind { idle, testing, success, failure };

    Kind kind = Kind::idle;
    std::int64_t milliseconds = 0;
    std::string message;

    static ProxyTestState idle() { return {Kind::idle, 0, {}}; }
    static ProxyTestState testing() { return {Kind::testing, 0, {}}; }
    static ProxyTestState success(std::int64_t milliseconds) { return {Kind::success, milliseconds, {}}; }
    static ProxyTestState failure(std::string message) { return {Kind::failure, 0, std::move(message)}; }

    friend bool operator==(const ProxyTestState&, const ProxyTestState&) = default;
};

}  // namespace corvane::app
