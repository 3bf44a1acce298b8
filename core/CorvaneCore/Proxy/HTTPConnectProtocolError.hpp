#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace corvane::HTTPConnect {

// An HTTP CONNECT request that cannot be built, or a response that refuses or
// cannot be read. It has no text of its own: what() is the generic
// description of an error value.
class ProtocolError : public std::exception {
public:
    // Declaration order is the error's code in its generic description.
    enum class Kind {
        connectFailed,      // status(): the proxy's status code outside 200...299
        malformedResponse,  // the response head cannot be read
        headersTooLarge,    // 16384 bytes without the blank line that ends the head
        invalidTarget,      // the target host holds bytes that cannot go into a request line
    };

    static ProtocolError connectFailed(std::int64_t status) { return {Kind::connectFailed, status}; }
    static ProtocolError malformedResponse() { return {Kind::malformedResponse}; }
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
    ProtocolError(Kind kind, std::int64_t status = 0);

    Kind kind_;
    std::int64_t status_;
    std::string description_;
};

}  // namespace corvane::HTTPConnect
