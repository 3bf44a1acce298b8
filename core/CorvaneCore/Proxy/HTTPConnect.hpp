#pragma once

#include "CorvaneCore/Models/ProxyCredentials.hpp"
#include "CorvaneCore/Proxy/HTTPConnectProtocolError.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The request that asks an HTTP proxy for a tunnel (CONNECT, with optional
// Basic proxy authorization) and the reading of the status code from the
// proxy's response head. Pure functions: no input or output, no state.
namespace corvane::HTTPConnect {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// The response head ends at this blank line; a head that reaches this size
// without it is refused.
inline constexpr std::size_t maxHeadLength = 16384;

// Throws invalidTarget when the host holds a control character, a space or
// one of / ? # @ [ ] \, which could end the request line or add headers.
Bytes request(std::string_view host, std::uint16_t port, const std::optional<ProxyCredentials>& credentials);

// "host:port", with an IPv6 literal in brackets.
std::string formattedTarget(std::string_view host, std::uint16_t port);

// The length of the head including its CR LF CR LF, once that has arrived.
// Bytes after it belong to the tunnelled stream.
std::optional<std::size_t> responseHeadLength(ByteView received);
bool isResponseHeadComplete(ByteView received);

// The first line of a response head, without its line break, as received.
std::string_view statusLine(ByteView head);

// Throws malformedResponse (quoting the status line) when the head does not
// start with an HTTP status line.
std::int64_t parseStatusCode(ByteView head);
// Throws connectFailed, quoting `answer` (the status line), outside 200...299.
void validate(std::int64_t statusCode, std::string_view answer = {});

}  // namespace corvane::HTTPConnect
