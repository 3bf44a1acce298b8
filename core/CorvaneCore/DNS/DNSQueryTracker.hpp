#pragma once

#include "CorvaneCore/DNS/DNSMessage.hpp"
#include "CorvaneCore/Support/Date.hpp"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace corvane {

// The DNS queries one flow has sent and not yet seen answered, so that names are
// learnt only from the answers to them. A response answers a query when it comes
// from the server the query went to and carries the query's transaction id and
// questions (names compared without regard to ASCII case, as DNS does); it then
// settles that query, so a second response to it answers nothing. Bounded: at most
// `kMaximumQueries` (the oldest is forgotten first), each for `kQueryLifetime`
// seconds. Not locked: its owner guards it.
class DNSQueryTracker {
public:
    static constexpr std::size_t kMaximumQueries = 64;
    // Longer than any resolver waits for an answer.
    static constexpr double kQueryLifetime = 30;

    // Where a query went: the server's address text and port.
    struct Server {
        std::string host;
        std::uint16_t port = 0;
        friend bool operator==(const Server&, const Server&) = default;
    };

    // Remembers a query sent to `server`; a response, or a query that asks
    // nothing, is not remembered.
    void sent(const Server& server, const DNSMessage::Parsed& query, Date now);
    // Whether `response`, received from `server`, answers a remembered unexpired
    // query, which is then forgotten.
    bool settle(const Server& server, const DNSMessage::Parsed& response, Date now);

private:
    struct Query {
        Server server;
        std::uint16_t id = 0;
        std::vector<DNSMessage::Question> questions;
        Date expiresAt;
    };

    std::deque<Query> queries_;  // oldest first
};

}  // namespace corvane
