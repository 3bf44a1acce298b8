#include "CorvaneCore/DNS/HostnameCache.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace corvane {
namespace {

using Names = std::vector<std::string>;

const Date kNow{1000};
const HostnameCache::User kUser = 1000;

IPAddressValue address(std::uint32_t value) { return IPAddressValue::v4(value); }

DNSMessage::Record aRecord(const std::string& owner, std::uint32_t ip, std::uint32_t ttl = 300) {
    return {owner, DNSMessage::typeA, ttl, DNSMessage::Record::Value::address(address(ip))};
}

DNSMessage::Parsed response(const std::string& question, std::vector<DNSMessage::Record> answers) {
    DNSMessage::Parsed parsed{1, true, {}, std::move(answers)};
    if (!question.empty()) parsed.questions.push_back({question, DNSMessage::typeA, 1});
    return parsed;
}

class HostnameCacheTest : public ::testing::Test {
protected:
    HostnameCache cache{4096, 60, 3600};
};

TEST_F(HostnameCacheTest, TimeToLiveIsClampedToTheBounds) {
    struct Case {
        std::uint32_t ttl;
        double lifetime;
    };
    const std::vector<Case> cases = {{5, 60}, {0, 60}, {60, 60}, {300, 300}, {3600, 3600}, {86400, 3600}};
    std::uint32_t ip = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ttl);
        cache.absorb(response("host.example.org", {aRecord("host.example.org", ip, c.ttl)}), kUser, kNow);
        EXPECT_EQ(cache.hostname(address(ip), kUser, kNow.addingTimeInterval(c.lifetime - 0.001)), "host.example.org");
        EXPECT_EQ(cache.hostname(address(ip), kUser, kNow.addingTimeInterval(c.lifetime)), std::nullopt);
        ++ip;
    }
}

TEST_F(HostnameCacheTest, QueriesAndEmptyResponsesChangeNothing) {
    auto query = response("host.example.org", {aRecord("host.example.org", 1)});
    query.isResponse = false;
    cache.absorb(query, kUser, kNow);
    cache.absorb(response("host.example.org", {}), kUser, kNow);
    cache.absorb(response("", {aRecord("", 2)}), kUser, kNow);  // empty owner, no question
    cache.absorb(response("a.example", {{"a.example", 5, 300, DNSMessage::Record::Value::name("b.example")},
                                        {"a.example", 16, 300, DNSMessage::Record::Value::other()}}), kUser,
                 kNow);
    EXPECT_EQ(cache.count(), 0u);
}

TEST_F(HostnameCacheTest, AnAliasIsStoredAfterTheCanonicalName) {
    cache.absorb(response("api.example.org",
                          {{"api.example.org", DNSMessage::typeCNAME, 300,
                            DNSMessage::Record::Value::name("cdn.example.net")},
                           aRecord("cdn.example.net", 0x0A000001)}), kUser,
                 kNow);
    EXPECT_EQ(cache.names(address(0x0A000001), kUser, kNow), (Names{"cdn.example.net", "api.example.org"}));
    EXPECT_EQ(cache.hostname(address(0x0A000001), kUser, kNow), "cdn.example.net");
    EXPECT_EQ(cache.count(), 1u);

    // An empty owner with a question still stores the question name.
    cache.absorb(response("q.example", {aRecord("", 7)}), kUser, kNow);
    EXPECT_EQ(cache.names(address(7), kUser, kNow), Names{"q.example"});
}

TEST_F(HostnameCacheTest, NewNamesGoFirstAndKnownNamesStay) {
    cache.absorb(response("a.example", {aRecord("a.example", 1, 100)}), kUser, kNow);
    cache.absorb(response("b.example", {aRecord("b.example", 1, 100)}), kUser, kNow);
    cache.absorb(response("a.example", {aRecord("a.example", 1, 100)}), kUser, kNow);
    EXPECT_EQ(cache.names(address(1), kUser, kNow), (Names{"b.example", "a.example"}));
    // Two new names at once: the later ends first.
    cache.absorb(response("d.example", {aRecord("c.example", 1, 100)}), kUser, kNow);
    EXPECT_EQ(cache.names(address(1), kUser, kNow), (Names{"d.example", "c.example", "b.example", "a.example"}));
}

TEST_F(HostnameCacheTest, ExpiryIsTheLaterOfStoredAndNew) {
    cache.absorb(response("a.example", {aRecord("a.example", 1, 3000)}), kUser, kNow);
    cache.absorb(response("a.example", {aRecord("a.example", 1, 60)}), kUser, kNow.addingTimeInterval(10));
    EXPECT_EQ(cache.hostname(address(1), kUser, kNow.addingTimeInterval(2999)), "a.example");
    cache.absorb(response("a.example", {aRecord("a.example", 1, 60)}), kUser, kNow.addingTimeInterval(2990));
    EXPECT_EQ(cache.hostname(address(1), kUser, kNow.addingTimeInterval(3049)), "a.example");
    EXPECT_EQ(cache.hostname(address(1), kUser, kNow.addingTimeInterval(3050)), std::nullopt);
}

TEST_F(HostnameCacheTest, AnExpiredEntryThatNobodyLookedUpIsRefreshedInPlace) {
    cache.absorb(response("old.example", {aRecord("old.example", 1, 60)}), kUser, kNow);
    const Date later = kNow.addingTimeInterval(500);
    EXPECT_EQ(cache.count(), 1u);  // expired, but not looked up yet
    cache.absorb(response("new.example", {aRecord("new.example", 1, 60)}), kUser, later);
    EXPECT_EQ(cache.names(address(1), kUser, later), (Names{"new.example", "old.example"}));
    EXPECT_EQ(cache.names(address(1), kUser, later.addingTimeInterval(60)), Names{});
    EXPECT_EQ(cache.count(), 0u);
}

TEST_F(HostnameCacheTest, TheFirstStoredAddressIsEvictedEvenWhenJustRefreshed) {
    for (std::uint32_t ip = 1; ip <= 4096; ++ip)
        cache.absorb(response("h.example", {aRecord("h.example", ip, 3600)}), kUser, kNow);
    EXPECT_EQ(cache.count(), 4096u);
    cache.absorb(response("again.example", {aRecord("again.example", 1, 3600)}), kUser, kNow);
    cache.absorb(response("h.example", {aRecord("h.example", 4097, 3600)}), kUser, kNow);
    EXPECT_EQ(cache.count(), 4096u);
    EXPECT_EQ(cache.hostname(address(1), kUser, kNow), std::nullopt);
    EXPECT_EQ(cache.hostname(address(2), kUser, kNow), "h.example");
    EXPECT_EQ(cache.hostname(address(4097), kUser, kNow), "h.example");
}

TEST(HostnameCacheCapacityTest, AnAddressExpiredAtLookupNoLongerCounts) {
    HostnameCache cache(3, 60, 3600);
    for (std::uint32_t ip = 1; ip <= 3; ++ip)
        cache.absorb(response("h.example", {aRecord("h.example", ip, ip == 2 ? 60 : 3600)}), kUser, kNow);
    const Date expiry = kNow.addingTimeInterval(60);
    EXPECT_EQ(cache.hostname(address(2), kUser, expiry), std::nullopt);  // exactly at expiry: gone
    EXPECT_EQ(cache.count(), 2u);
    cache.absorb(response("h.example", {aRecord("h.example", 4, 3600)}), kUser, expiry);
    EXPECT_EQ(cache.count(), 3u);
    EXPECT_EQ(cache.hostname(address(1), kUser, expiry), "h.example");  // nothing was evicted
    cache.absorb(response("h.example", {aRecord("h.example", 5, 3600)}), kUser, expiry);
    EXPECT_EQ(cache.hostname(address(1), kUser, expiry), std::nullopt);
    EXPECT_EQ(cache.hostname(address(3), kUser, expiry), "h.example");
}

TEST(HostnameCacheCapacityTest, ZeroCapacityKeepsNothing) {
    HostnameCache cache(0, 60, 3600);
    cache.absorb(response("h.example", {aRecord("h.example", 1)}), kUser, kNow);
    EXPECT_EQ(cache.count(), 0u);
}

TEST_F(HostnameCacheTest, AnAddressKeepsOnlyItsNewestNames) {
    for (int i = 0; i < 40; ++i) {
        const std::string name = "n" + std::to_string(i) + ".example";
        cache.absorb(response(name, {aRecord(name, 1)}), kUser, kNow);
    }
    const auto names = cache.names(address(1), kUser, kNow);
    ASSERT_EQ(names.size(), HostnameCache::kMaxNamesPerAddress);
    EXPECT_EQ(names.front(), "n39.example");
    EXPECT_EQ(names.back(), "n24.example");
    EXPECT_EQ(cache.hostname(address(1), kUser, kNow), "n39.example");
    // A dropped name is new again when it comes back.
    cache.absorb(response("n0.example", {aRecord("n0.example", 1)}), kUser, kNow);
    EXPECT_EQ(cache.hostname(address(1), kUser, kNow), "n0.example");
}

TEST_F(HostnameCacheTest, AddressesAreKeysByValue) {
    IPAddressValue::V6Bytes mapped{};
    mapped[10] = mapped[11] = 0xFF;
    mapped[15] = 1;
    cache.absorb(response("h.example", {{"h.example", DNSMessage::typeAAAA, 300,
                                         DNSMessage::Record::Value::address(IPAddressValue::v6(mapped))}}), kUser,
                 kNow);
    EXPECT_EQ(cache.hostname(address(1), kUser, kNow), std::nullopt);
    EXPECT_EQ(cache.hostname(IPAddressValue::v6(mapped), kUser, kNow), "h.example");
}

TEST_F(HostnameCacheTest, RemoveAllForgetsEverything) {
    for (std::uint32_t ip = 1; ip <= 10; ++ip)
        cache.absorb(response("h.example", {aRecord("h.example", ip)}), kUser, kNow);
    cache.removeAll();
    EXPECT_EQ(cache.count(), 0u);
    EXPECT_EQ(cache.hostname(address(1), kUser, kNow), std::nullopt);
    cache.absorb(response("h.example", {aRecord("h.example", 11)}), kUser, kNow);
    EXPECT_EQ(cache.count(), 1u);
}

TEST_F(HostnameCacheTest, NamesServeOnlyTheUserTheyWereLearntFor) {
    const HostnameCache::User other = 1001;
    cache.absorb(response("mine.example", {aRecord("mine.example", 1, 60)}), kUser, kNow);
    EXPECT_EQ(cache.names(address(1), other, kNow), Names{});
    cache.absorb(response("theirs.example", {aRecord("theirs.example", 1, 600)}), other, kNow);
    EXPECT_EQ(cache.names(address(1), kUser, kNow), Names{"mine.example"});
    EXPECT_EQ(cache.names(address(1), other, kNow), Names{"theirs.example"});
    EXPECT_EQ(cache.count(), 2u);
    // Each user's entry expires on its own.
    const Date later = kNow.addingTimeInterval(60);
    EXPECT_EQ(cache.hostname(address(1), kUser, later), std::nullopt);
    EXPECT_EQ(cache.hostname(address(1), other, later), "theirs.example");
    EXPECT_EQ(cache.count(), 1u);
}

TEST_F(HostnameCacheTest, NamesThatReadAsAddressesAreNeverKept) {
    struct Case {
        const char* name;
        bool kept;
    };
    const Case cases[] = {
        {"198.18.0.66", false},     {"198.18.0.66.", false},  {"3323068482", false},
        {"0xc6120042", false},      {"198.18.66", false},     {"0306.022.0.0102", false},
        {"198.18.0.0x42", false},   {"198.18.0.66 x", false}, {"::1", false},
        {"::ffff:198.18.0.66", false}, {"fe80::1%eth0", false}, {"host.123", false},
        {"www.target.test", true},  {"1e100.net", true},      {"198.18.0.66.example", true},
        {"0x.example", true},       {"cafe", true},           {"a.b-1", true},
    };
    std::uint32_t ip = 1;
    for (const Case& c : cases) {
        cache.absorb(response(c.name, {aRecord(c.name, ip)}), kUser, kNow);
        EXPECT_EQ(cache.names(address(ip), kUser, kNow), c.kept ? Names{c.name} : Names{}) << c.name;
        ++ip;
    }
    // A literal owner does not spoil the question's name.
    cache.absorb(response("www.target.test", {aRecord("198.18.0.66", ip)}), kUser, kNow);
    EXPECT_EQ(cache.names(address(ip), kUser, kNow), Names{"www.target.test"});
}

TEST(HostnameCacheCapacityTest, MakingRoomTakesFromTheUserHoldingTheMost) {
    HostnameCache cache(4, 60, 3600);
    const HostnameCache::User alice = 1, bob = 2, carol = 3;
    const auto store = [&](HostnameCache::User user, std::uint32_t ip) {
        cache.absorb(response("h.example", {aRecord("h.example", ip, 3600)}), user, kNow);
    };
    const auto held = [&](HostnameCache::User user, std::uint32_t ip) {
        return cache.hostname(address(ip), user, kNow).has_value();
    };
    store(bob, 100);
    for (std::uint32_t ip = 1; ip <= 4; ++ip) store(alice, ip);
    // Alice's answers push out her own oldest name, not Bob's.
    EXPECT_TRUE(held(bob, 100));
    EXPECT_FALSE(held(alice, 1));
    store(bob, 101);
    EXPECT_FALSE(held(alice, 2));
    EXPECT_TRUE(held(alice, 3) && held(alice, 4) && held(bob, 100) && held(bob, 101));
    // Between users holding as many, the one with the older entry gives way.
    store(carol, 200);
    EXPECT_FALSE(held(bob, 100));
    EXPECT_TRUE(held(alice, 3) && held(alice, 4) && held(bob, 101) && held(carol, 200));
    EXPECT_EQ(cache.count(), 4u);
}

TEST(HostnameCacheThreadsTest, ConcurrentWritersAndReadersStayConsistent) {
    HostnameCache cache(64, 60, 3600);
    std::atomic<bool> done{false};
    std::vector<std::thread> writers;
    for (int w = 0; w < 3; ++w) {
        writers.emplace_back([&cache, w] {
            for (std::uint32_t i = 0; i < 2000; ++i) {
                const std::string name = "w" + std::to_string(w) + ".example";
                cache.absorb(response(name, {aRecord(name, i % 200)}), kUser, kNow.addingTimeInterval(i % 100));
            }
        });
    }
    std::thread reader([&] {
        while (!done) {
            for (std::uint32_t ip = 0; ip < 200; ++ip) {
                const auto names = cache.names(address(ip), kUser, kNow.addingTimeInterval(90));
                EXPECT_LE(names.size(), 3u);
            }
            EXPECT_LE(cache.count(), 64u);
        }
    });
    for (auto& writer : writers) writer.join();
    done = true;
    reader.join();
    EXPECT_LE(cache.count(), 64u);
}

}  // namespace
}  // namespace corvane
