#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace corvane::HTTPConnect {

// An HTTP CONNECT request that cannot be built, or a response that refuses or
// cannot be read. what() says what is wrong in words for the user, quoting
// the first line of the proxy's answer where there is one (made safe to
// show: at most kAnswerLength characters, control characters replaced).
// Errors compare by kind and status code, not by the answer.
class ProtocolError : public std::exception {
public:
    static constexpr std::size_t kAnswerLength = 80;

    enum class Kind {
        connectFailed,      // status(): the proxy's status code outside 200...299
        malformedResponse,  // the response head cannot be read
        headersTooLarge,    // 16384 bytes without the blank line that ends the head
        invalidTarget,      // the target host holds bytes that cannot go into a request line
    };

    // `answer`: the first line of the proxy's response head, as received.
    static ProtocolError connectFailed(std::int64_t status, std::string_view answer = {}) {
        return {Kind::connectFailed, status, answer};
    }
    static ProtocolError malformedResponse(std::string_view answer = {}) {
        return {Kind::malformedResponse, 0, answer};
    }
    static ProtocolError headersTooLarge() { return {Kind::headersTooLarge}; }
    static ProtocolError invalidTarget() { return {Kind::invalidTarget}; }

    Kind kind() const { return kind_; }
    // The status code of connectFailed; 0 for the others.
    std::int64_t status() const { return status_; }

    const char* what() const noexcept override { return description_.c_str(); }

    friend bool operator==(const ProtocolError& a, const ProtocolError& b) {
        return a.kind_ == b.kind_ && a.status_ == b.status_;
    }

private:
    ProtocolError(Kind kind, std::int64_t status = 0, std::string_view answer = {});

    Kind kind_;
    std::int64_t status_;
    std::string description_;
};

}  // namespace corvane::HTTPConnect
