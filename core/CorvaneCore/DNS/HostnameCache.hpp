#pragma once

#include "CorvaneCore/DNS/DNSMessage.hpp"
#include "CorvaneCore/Matching/IPAddressValue.hpp"
#include "CorvaneCore/Support/Date.hpp"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvane {

// Per user and address, the host names that DNS answers resolved to the address,
// so that a flow that arrives as a bare address can still meet host-name rules. A
// name serves only the flows of the user whose query taught it: whoever controls
// the answers to a query chooses the names of that user's flows, and of no one
// else's. A name that reads as an IP address is never kept.
//
// Bounded: at most `capacity` entries (a user and an address) in all. To make
// room, the oldest entry of the user holding the most entries goes, so that one
// user's answers cannot push out another user's names; for a single user that is
// the oldest entry stored. At most `kMaxNamesPerAddress` names per entry (the
// oldest name is dropped). The caller passes the time; the cache never reads the
// clock. Safe to use from several threads.
class HostnameCache {
public:
    // Whom a name was learnt for: the effective uid of the program that asked.
    using User = std::uint32_t;

    static constexpr std::size_t kMaxNamesPerAddress = 16;

    HostnameCache(int capacity, double minimumTTL, double maximumTTL);

    // Learns for `user` the addresses of the A and AAAA answers of a response.
    void absorb(const DNSMessage::Parsed& parsed, User user, Date now);

    // The names `user` learnt for an address, newest first, while unexpired; an
    // expired entry is removed and gives none.
    std::vector<std::string> names(const IPAddressValue& address, User user, Date now);
    std::optional<std::string> hostname(const IPAddressValue& address, User user, Date now);

    // Entries held, expired ones not yet looked up included.
    std::size_t count() const;
    void removeAll();

    // Whether a resolver or a proxy would take `name` for an IP address: an IPv4
    // or IPv6 literal (with an IPv6 zone or one trailing dot), or a name whose last
    // label is a number in a form the C library reads as part of an IPv4 address
    // (decimal, octal, 0x hexadecimal). The C library stops reading at white space,
    // and so does this.
    static bool readsAsAddress(std::string_view name);

private:
    struct Key {
        User user;
        IPAddressValue address;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept;
    };
    struct Entry {
        std::vector<std::string> names;  // most recently added first, no duplicates
        Date expiresAt;
        std::uint64_t storedAt;  // when first stored, counted in stores across all users
    };

    void store(User user, const IPAddressValue& address, std::vector<std::string> names, Date expiresAt);
    // With the lock held: removes the oldest entry of the user holding the most.
    void evictOne();
    static void addNames(Entry& entry, const std::vector<std::string>& names);

    mutable std::mutex lock_;
    std::unordered_map<Key, Entry, KeyHash> entries_;
    // Per user, the addresses of its entries in the order they were first stored,
    // oldest first, each once; a user without entries has no list.
    std::unordered_map<User, std::deque<IPAddressValue>> insertionOrder_;
    std::uint64_t stores_ = 0;
    std::size_t capacity_;
    double minimumTTL_;
    double maximumTTL_;
};

}  // namespace corvane
