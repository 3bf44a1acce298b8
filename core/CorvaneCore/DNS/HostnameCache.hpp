#pragma once

#include "CorvaneCore/DNS/DNSMessage.hpp"
#include "CorvaneCore/Matching/IPAddressValue.hpp"
#include "CorvaneCore/Support/Date.hpp"

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvane {

// Per address, the host names that DNS answers resolved to it, so that a flow
// that arrives as a bare address can still meet host-name rules. Bounded: at
// most `capacity` addresses (the oldest stored is evicted first) and
// `kMaxNamesPerAddress` names per address (the oldest name is dropped). The
// caller passes the time; the cache never reads the clock. Safe to use from
// several threads.
class HostnameCache {
public:
    static constexpr std::size_t kMaxNamesPerAddress = 16;

    HostnameCache(int capacity, double minimumTTL, double maximumTTL);

    // Learns the addresses of the A and AAAA answers of a response.
    void absorb(const DNSMessage::Parsed& parsed, Date now);

    // The names of an unexpired entry, newest first; an expired entry is
    // removed and gives none.
    std::vector<std::string> names(const IPAddressValue& address, Date now);
    std::optional<std::string> hostname(const IPAddressValue& address, Date now);

    // Entries held, expired ones not yet looked up included.
    std::size_t count() const;
    void removeAll();

private:
    struct Entry {
        std::vector<std::string> names;  // most recently added first, no duplicates
        Date expiresAt;
    };

    void store(const IPAddressValue& address, std::vector<std::string> names, Date expiresAt);
    static void addNames(Entry& entry, const std::vector<std::string>& names);

    mutable std::mutex lock_;
    std::unordered_map<IPAddressValue, Entry> entries_;
    std::deque<IPAddressValue> insertionOrder_;  // oldest first, each address once
    std::size_t capacity_;
    double minimumTTL_;
    double maximumTTL_;
};

}  // namespace corvane
