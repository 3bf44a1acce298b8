#include "CorvaneCore/Matching/PatternValidator.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

using namespace std::string_literals;

struct MessageCase {
    std::string entry;
    std::optional<std::string> message;  // nullopt: acceptable
};

void expectMessages(const std::vector<MessageCase>& cases,
                    std::optional<std::string> (*check)(std::string_view)) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(check(c.entry), c.message);
    }
}

const std::string kURLPath =
    "Looks like a URL path. Enter a host name (example.com), a wildcard (*.example.com), or a network (10.0.0.0/8).";

TEST(PatternValidatorTest, EntriesSplitAtEveryLineBreakAndComma) {
    EXPECT_EQ(PatternValidator::entries("a.example.org,b.example.org\n\n  c.example.org  ,"),
              (std::vector<std::string>{"a.example.org", "b.example.org", "c.example.org"}));
    EXPECT_EQ(PatternValidator::entries("a\nb\vc\fd\re\r\nf\u0085g\u2028h\u2029i"),
              (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g", "h", "i"}));
    EXPECT_EQ(PatternValidator::entries("\t x \u00A0, x ,,\n \t\n"), (std::vector<std::string>{"x", "x"}));
    EXPECT_EQ(PatternValidator::entries(""), std::vector<std::string>{});
    EXPECT_EQ(PatternValidator::entries("a b"), std::vector<std::string>{"a b"});
}

TEST(PatternValidatorTest, TextJoinsEntriesWithLineFeeds) {
    EXPECT_EQ(PatternValidator::text({"a", "b", "c"}), "a\nb\nc");
    EXPECT_EQ(PatternValidator::text({}), "");
    EXPECT_EQ(PatternValidator::entries(PatternValidator::text({"x.org", "y.org"})),
              (std::vector<std::string>{"x.org", "y.org"}));
}

TEST(PatternValidatorTest, HostEntryMessages) {
    expectMessages(
        {
            {"10.0.0.0/8", std::nullopt},
            {"2001:db8::/32", std::nullopt},
            {"::1", std::nullopt},
            {"192.0.2.7", std::nullopt},
            {"*.example.org", std::nullopt},
            {"api-?.example.org", std::nullopt},
            {"my_host.local", std::nullopt},
            {"", "Empty entry."},
            {"a b.org", "Host patterns cannot contain spaces."},
            {"https://www.example.org/x", "Remove the “https://” prefix — enter just the host name."},
            {"ftp://a b", "Host patterns cannot contain spaces."},
            {"10.0.0.0/40", "Invalid network prefix “/40” — use /0–/32 for IPv4 or /0–/128 for IPv6."},
            {"2001:db8::/129", "Invalid network prefix “/129” — use /0–/32 for IPv4 or /0–/128 for IPv6."},
            {"10.0.0.0/", "Invalid network prefix “/” — use /0–/32 for IPv4 or /0–/128 for IPv6."},
            {"10.0.0.0/8/1", kURLPath},
            {"host/path", kURLPath},
            {"a/b/c", kURLPath},
            {"10.0.0.*", "Wildcards don’t work in IP addresses — use a network instead, e.g. 10.0.0.0/24."},
            {"192.168.1.*", "Wildcards don’t work in IP addresses — use a network instead, e.g. 192.168.1.0/24."},
            {"10.*.0.1", "Wildcards don’t work in IP addresses — use a network instead, e.g. 10.0.0.0/8."},
            {"10.0.0.?", "Wildcards don’t work in IP addresses — use a network instead, e.g. 10.0.0.0/8."},
            {"host.example.org:443", "Remove the port — match ports in the Ports field instead."},
            {"[::1]:443", "Remove the port — match ports in the Ports field instead."},
            {"host:abc", "Character “:” is not allowed in a host pattern."},
            {"host:70000", "Character “:” is not allowed in a host pattern."},
            {"a\tb.org", "Character “\t” is not allowed in a host pattern."},
            {"exämple.org", "Character “ä” is not allowed in a host pattern."},
            {"a\u00A0b", "Character “\u00A0” is not allowed in a host pattern."},
            {"a\0b"s, "Character “\0”"s + " is not allowed in a host pattern."},
        },
        PatternValidator::hostPatternError);
}

// The suggestion of the wildcard message must itself be a valid network.
TEST(PatternValidatorTest, WildcardSuggestionIsAlwaysAValidNetwork) {
    expectMessages(
        {
            {"10.*.*.*", "Wildcards don’t work in IP addresses — use a network instead, e.g. 10.0.0.0/8."},
            {"::*", "Wildcards don’t work in IP addresses — use a network instead, e.g. 2001:db8::/32."},
            {"fe80::?", "Wildcards don’t work in IP addresses — use a network instead, e.g. 2001:db8::/32."},
        },
        PatternValidator::hostPatternError);
}

TEST(PatternValidatorTest, ApplicationEntryMessages) {
    expectMessages(
        {
            {"org.mozilla.firefox", std::nullopt},
            {"com.vendor.*", std::nullopt},
            {"/usr/bin/curl", std::nullopt},
            {"team:ABC", std::nullopt},
            {"team:4QZ8N1VK3T", std::nullopt},
            {"Team:ABC", std::nullopt},
            {"team:Ünï", std::nullopt},
            {"", "Empty entry."},
            {"https://example.org",
             "Enter an application identifier (org.mozilla.firefox) or a path (/usr/bin/curl), not a URL."},
            {"team:", "Add the signing team after “team:”, e.g. team:4QZ8N1VK3T."},
            {"team:AB-12",
             "“-” is not part of a team identifier — they are 10 letters and digits, e.g. team:4QZ8N1VK3T."},
            {"team:AB 12",
             "“ ” is not part of a team identifier — they are 10 letters and digits, e.g. team:4QZ8N1VK3T."},
        },
        PatternValidator::applicationPatternError);
}

TEST(PatternValidatorTest, PortEntryMessages) {
    expectMessages(
        {
            {"443", std::nullopt},
            {"+443", std::nullopt},
            {"0", std::nullopt},
            {"65535", std::nullopt},
            {"8000 - 8999", std::nullopt},
            {"8000-8000", std::nullopt},
            {"+1-+2", std::nullopt},
            {"", "Empty entry."},
            {"65536", "Port 65536 is out of range (0–65535)."},
            {"+0070000", "Port 70000 is out of range (0–65535)."},
            {"abc", "“abc” is not a number."},
            {"99999999999999999999", "“99999999999999999999” is not a number."},
            {"4 43", "“4 43” is not a number."},
            {"9000-8000", "Range start (9000) is greater than its end (8000)."},
            {"1-2-3", "Ranges look like 8000-8999."},
            {"-5", "Ranges look like 8000-8999."},
            {"5-", "Ranges look like 8000-8999."},
            {"a-b", "Ranges look like 8000-8999."},
            {"70000-80000", "Ports must be within 0–65535."},
            {"1-65536", "Ports must be within 0–65535."},
        },
        PatternValidator::portError);
}

TEST(PatternValidatorTest, FieldValidationGivesOneErrorPerBadEntryInOrder) {
    const auto errors = PatternValidator::validatePorts("443, abc\n9000-8000,\n 80 ,65536");
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].entry, "abc");
    EXPECT_EQ(errors[0].message, "“abc” is not a number.");
    EXPECT_EQ(errors[1].entry, "9000-8000");
    EXPECT_EQ(errors[2].entry, "65536");
    EXPECT_NE(errors[0].id, errors[1].id);

    const auto hosts = PatternValidator::validateHosts("  a.example.org \n host:abc ");
    ASSERT_EQ(hosts.size(), 1u);
    EXPECT_EQ(hosts[0].entry, "host:abc");
    EXPECT_EQ(hosts[0].message, "Character “:” is not allowed in a host pattern.");

    EXPECT_TRUE(PatternValidator::validateApplications("com.vendor.app\n/usr/bin/curl").empty());
    EXPECT_EQ(PatternValidator::validateApplications("team:").at(0).message,
              "Add the signing team after “team:”, e.g. team:4QZ8N1VK3T.");
    EXPECT_TRUE(PatternValidator::validateHosts(" \n , ").empty());
}

}  // namespace
}  // namespace corvane
