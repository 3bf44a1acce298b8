#include "CorvaneCore/Proxy/HTTPConnect.hpp"

#include "CorvaneCore/Matching/IPAddressValue.hpp"
#include "CorvaneCore/Support/Base64.hpp"
#include "CorvaneCore/Support/StandardInteger.hpp"
#include "CorvaneCore/Support/Unicode.hpp"

#include <algorithm>

namespace corvane::HTTPConnect {
namespace {

constexpr std::string_view lineBreak = "\r\n";
constexpr std::string_view headTerminator = "\r\n\r\n";

bool isSafeHost(std::string_view host) {
    constexpr std::string_view forbidden = "/?#@[]\\";
    return std::none_of(host.begin(), host.end(), [&](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7F || forbidden.find(c) != std::string_view::npos;
    });
}

std::vector<std::string_view> piecesAtSpaces(std::string_view line) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= line.size()) {
        const std::size_t end = std::min(line.find(' ', start), line.size());
        if (end > start) pieces.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

}  // namespace

std::string formattedTarget(std::string_view host, std::uint16_t port) {
    const bool isIPv6Literal = !IPAddressValue::parseV4(host) && IPAddressValue::parseV6(host);
    std::string target = isIPv6Literal ? "[" + std::string(host) + "]" : std::string(host);
    return target + ":" + std::to_string(port);
}

Bytes request(std::string_view host, std::uint16_t port, const std::optional<ProxyCredentials>& credentials) {
    if (!isSafeHost(host)) throw ProtocolError::invalidTarget();
    const std::string target = formattedTarget(host, port);
    std::string text = "CONNECT " + target + " HTTP/1.1";
    text += lineBreak;
    text += "Host: " + target;
    text += lineBreak;
    text += "Proxy-Connection: keep-alive";
    if (credentials) {
        text += lineBreak;
        text += "Proxy-Authorization: Basic " + base64::encode(credentials->username + ":" + credentials->password);
    }
    text += headTerminator;
    return Bytes(text.begin(), text.end());
}

std::optional<std::size_t> responseHeadLength(ByteView received) {
    const auto found = std::search(received.begin(), received.end(), headTerminator.begin(), headTerminator.end());
    if (found == received.end()) return std::nullopt;
    return static_cast<std::size_t>(found - received.begin()) + headTerminator.size();
}

bool isResponseHeadComplete(ByteView received) { return responseHeadLength(received).has_value(); }

std::string_view statusLine(ByteView head) {
    const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    return text.substr(0, text.find(lineBreak));
}

std::int64_t parseStatusCode(ByteView head) {
    const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    const std::string_view line = statusLine(head);
    if (!unicode::isValidUTF8(text)) throw ProtocolError::malformedResponse(line);
    const auto pieces = piecesAtSpaces(line);
    if (pieces.size() < 2 || !pieces[0].starts_with("HTTP/")) throw ProtocolError::malformedResponse(line);
    const auto code = parseStandardInteger<std::int64_t>(pieces[1]);
    if (!code) throw ProtocolError::malformedResponse(line);
    return *code;
}

void validate(std::int64_t statusCode, std::string_view answer) {
    if (statusCode < 200 || statusCode > 299) throw ProtocolError::connectFailed(statusCode, answer);
}

}  // namespace corvane::HTTPConnect
