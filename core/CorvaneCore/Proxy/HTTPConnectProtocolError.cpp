#include "CorvaneCore/Proxy/HTTPConnectProtocolError.hpp"

#include "CorvaneCore/Support/Unicode.hpp"

namespace corvane::HTTPConnect {

namespace {

// The answer quoted after `lead`, or `lead` alone when the proxy sent no text.
std::string quoting(std::string lead, std::string_view answer) {
    const std::string shown = unicode::displayExcerpt(answer, ProtocolError::kAnswerLength);
    if (shown.empty()) return lead + ".";
    return lead + ": “" + shown + "”.";
}

std::string describe(ProtocolError::Kind kind, std::int64_t status, std::string_view answer) {
    using Kind = ProtocolError::Kind;
    switch (kind) {
    case Kind::connectFailed:
        if (answer.empty()) return "The proxy refused the connection (HTTP status " + std::to_string(status) + ").";
        return quoting("The proxy refused the connection", answer);
    case Kind::malformedResponse: return quoting("The proxy did not answer as an HTTP proxy", answer);
    case Kind::headersTooLarge:
        return "The proxy sent more than 16384 bytes of headers without ending them.";
    case Kind::invalidTarget:
        return "The destination host name cannot go into an HTTP CONNECT request: it holds spaces, control "
               "characters or one of / ? # @ [ ] \\.";
    }
    return {};
}

}  // namespace

ProtocolError::ProtocolError(Kind kind, std::int64_t status, std::string_view answer)
    : kind_(kind), status_(status), description_(describe(kind, status, answer)) {}

}  // namespace corvane::HTTPConnect
