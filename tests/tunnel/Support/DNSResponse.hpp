#pragma once

#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace corvane::tunnel::testing {

// The question of a DNS message: transaction id, name and type (class IN).
struct DNSQuestion {
    std::uint16_t id = 0x1234;
    std::string name;
    std::uint16_t type = 1;  // A
};

inline void appendName(std::vector<std::uint8_t>& message, const std::string& name) {
    std::stringstream labels(name);
    for (std::string label; std::getline(labels, label, '.');) {
        message.push_back(static_cast<std::uint8_t>(label.size()));
        message.insert(message.end(), label.begin(), label.end());
    }
    message.push_back(0);
}

// A header with `flags` and the counts, then the question.
inline std::vector<std::uint8_t> dnsHeaderAndQuestion(const DNSQuestion& question, std::uint16_t flags,
                                                      std::uint8_t answers) {
    std::vector<std::uint8_t> message{static_cast<std::uint8_t>(question.id >> 8),
                                      static_cast<std::uint8_t>(question.id & 0xFF),
                                      static_cast<std::uint8_t>(flags >> 8),
                                      static_cast<std::uint8_t>(flags & 0xFF),
                                      0, 1, 0, answers, 0, 0, 0, 0};
    appendName(message, question.name);
    message.insert(message.end(), {static_cast<std::uint8_t>(question.type >> 8),
                                   static_cast<std::uint8_t>(question.type & 0xFF), 0, 1});
    return message;
}

inline std::vector<std::uint8_t> dnsQuery(const DNSQuestion& question) {
    return dnsHeaderAndQuestion(question, 0x0100, 0);
}

// A response to `question` with one A answer; its owner is `owner`, or the question's
// name (as a pointer to it) when `owner` is empty.
inline std::vector<std::uint8_t> dnsAnswer(const DNSQuestion& question, const std::array<std::uint8_t, 4>& address,
                                           std::uint32_t ttl = 300, const std::string& owner = "") {
    std::vector<std::uint8_t> message = dnsHeaderAndQuestion(question, 0x8180, 1);
    if (owner.empty()) message.insert(message.end(), {0xC0, 12});
    else appendName(message, owner);
    message.insert(message.end(), {0, 1, 0, 1});
    for (int shift = 24; shift >= 0; shift -= 8) message.push_back(static_cast<std::uint8_t>(ttl >> shift));
    message.insert(message.end(), {0, 4});
    message.insert(message.end(), address.begin(), address.end());
    return message;
}

// A response for `name` with one A answer (the owner is a pointer to the question).
inline std::vector<std::uint8_t> dnsResponse(const std::string& name, const std::array<std::uint8_t, 4>& address,
                                             std::uint32_t ttl) {
    return dnsAnswer({0x1234, name}, address, ttl);
}

}  // namespace corvane::tunnel::testing
