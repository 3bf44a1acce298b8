// The HTTP proxy's answer to CONNECT, read the way the client reads it from
// the stream (in pieces, up to the blank line, within the size bound), and
// the request built for a target host that may come from a DNS answer.
#include "CorvaneCore/Proxy/HTTPConnect.hpp"
#include "FuzzCheck.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using namespace corvane;
using HTTPConnect::ProtocolError;

namespace {

constexpr std::size_t kReadSize = 4096;
constexpr std::string_view kTerminator = "\r\n\r\n";

void readResponse(HTTPConnect::ByteView stream) {
    HTTPConnect::Bytes head;
    std::size_t at = 0;
    while (true) {
        if (const auto length = HTTPConnect::responseHeadLength(head)) {
            FUZZ_CHECK(*length >= kTerminator.size() && *length <= head.size());
            const std::string_view text(reinterpret_cast<const char*>(head.data()), *length);
            FUZZ_CHECK(text.find(kTerminator) == *length - kTerminator.size());
            head.resize(*length);
            try {
                HTTPConnect::validate(HTTPConnect::parseStatusCode(head));
            } catch (const ProtocolError& error) {
                FUZZ_CHECK(error.kind() == ProtocolError::Kind::malformedResponse ||
                           (error.kind() == ProtocolError::Kind::connectFailed &&
                            (error.status() < 200 || error.status() > 299)));
            }
            return;
        }
        if (head.size() >= HTTPConnect::maxHeadLength) return;
        if (at == stream.size()) return;
        const std::size_t count = std::min(kReadSize, stream.size() - at);
        head.insert(head.end(), stream.begin() + static_cast<std::ptrdiff_t>(at),
                    stream.begin() + static_cast<std::ptrdiff_t>(at + count));
        at += count;
        FUZZ_CHECK(head.size() < HTTPConnect::maxHeadLength + kReadSize);
    }
}

// A request is one head: three lines of headers (four with credentials), a
// request line of three pieces, and the blank line only at its end.
void buildRequest(std::string_view host, std::uint16_t port, bool withCredentials) {
    const std::optional<ProxyCredentials> credentials =
        withCredentials ? std::optional<ProxyCredentials>(ProxyCredentials{std::string(host), "p"}) : std::nullopt;
    HTTPConnect::Bytes request;
    try {
        request = HTTPConnect::request(host, port, credentials);
    } catch (const ProtocolError& error) {
        FUZZ_CHECK(error.kind() == ProtocolError::Kind::invalidTarget);
        return;
    }
    const std::string text(request.begin(), request.end());
    FUZZ_CHECK(text.find(kTerminator) == text.size() - kTerminator.size());
    const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    FUZZ_CHECK(lines == (withCredentials ? 5u : 4u));
    FUZZ_CHECK(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\r')) == lines);
    const std::string first = text.substr(0, text.find("\r\n"));
    FUZZ_CHECK(std::count(first.begin(), first.end(), ' ') == 2);
    FUZZ_CHECK(first == "CONNECT " + HTTPConnect::formattedTarget(host, port) + " HTTP/1.1");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    readResponse(HTTPConnect::ByteView(data, size));
    if (size >= 2) {
        const std::string_view host(reinterpret_cast<const char*>(data + 2), size - 2);
        const auto port = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
        buildRequest(host, port, (data[0] & 1) != 0);
    }
    return 0;
}
