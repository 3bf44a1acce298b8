#include "CorvaneCore/Persistence/ProfileCodec.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace corvane {
namespace {

using Kind = ProfileCodec::DecodeError::Kind;

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }
std::string text(const std::vector<std::uint8_t>& data) { return {data.begin(), data.end()}; }

const std::string bareProfile = R"({"proxies":[],"rules":[],"defaultAction":{"block":{}}})";
const std::string profileWithoutRules = R"({"proxies":[],"defaultAction":{"block":{}}})";

std::string document(const std::string& version, const std::string& profile) {
    return R"({"version":)" + version + R"(,"profile":)" + profile + "}";
}

Profile blockingProfile() {
    Profile profile;
    profile.defaultAction = RuleAction::block();
    return profile;
}

// The error decode throws for the text, or nullopt when it decodes.
std::optional<ProfileCodec::DecodeError> decodeError(const std::string& input) {
    try {
        ProfileCodec::decode(bytes(input));
    } catch (const ProfileCodec::DecodeError& error) {
        return error;
    }
    return std::nullopt;
}

TEST(ProfileCodecTest, EmptyProfileCompactBytes) {
    EXPECT_EQ(text(ProfileCodec::encode(Profile::empty, false)),
              R"({"profile":{"defaultAction":{"direct":{}},"proxies":[],"rules":[]},"version":1})");
}

TEST(ProfileCodecTest, KeysSortedAtEveryLevel) {
    Profile profile = Profile::makeDefault();
    ProxyServer proxy;
    proxy.id = *UUID::fromString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    proxy.name = "P";
    proxy.host = "h";
    proxy.port = 1;
    proxy.credentials = ProxyCredentials{"u", "p"};
    profile.proxies = {proxy};
    profile.rules[0].id = proxy.id;
    const std::string encoded = text(ProfileCodec::encode(profile, false));
    EXPECT_EQ(encoded,
              R"({"profile":{"defaultAction":{"direct":{}},"proxies":[{"credentials":{"password":"p","username":"u"},)"
              R"("host":"h","id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","kind":"socks5","name":"P","port":1,)"
              R"("resolvesHostnamesRemotely":false}],"rules":[{"action":{"direct":{}},"applications":[],)"
              R"("hosts":["localhost","*.local","127.0.0.0/8","10.0.0.0/8","172.16.0.0/12","192.168.0.0/16",)"
              R"("169.254.0.0/16","::1/128","fe80::/10"],"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F",)"
              R"("isEnabled":true,"matchMode":"all","name":"Local & private networks","ports":[],"transports":[]}]},)"
              R"("version":1})");
}

TEST(ProfileCodecTest, PrettyAndCompactRoundTrip) {
    Profile profile = Profile::makeDefault();
    profile.rules[0].transports = {TransportProtocol::udp};
    profile.rules[0].ports = {PortRange(53), PortRange(5353, 5300)};
    profile.defaultAction = RuleAction::chain({UUID::random()});
    for (bool pretty : {false, true}) {
        const auto encoded = ProfileCodec::encode(profile, pretty);
        EXPECT_EQ(text(encoded).find('\n') != std::string::npos, pretty);
        EXPECT_EQ(ProfileCodec::decode(encoded), profile) << pretty;
    }
}

TEST(ProfileCodecTest, TextThatIsNotUTF8IsTheWritersError) {
    Profile profile;
    profile.rules = {Profile::makeDefault().rules[0]};
    profile.rules[0].name = "bad \xFF name";
    EXPECT_THROW(ProfileCodec::encode(profile, true), json::Json::type_error);
}

TEST(ProfileCodecTest, DecodeVersionsAndBareProfiles) {
    const struct {
        std::string input;
        std::optional<std::pair<Kind, std::int64_t>> error;
    } cases[] = {
        {document("1", bareProfile), std::nullopt},
        {document("0", bareProfile), std::nullopt},
        {document("-1", bareProfile), std::nullopt},
        {document("-9223372036854775808", bareProfile), std::nullopt},
        {document("2", bareProfile), std::pair{Kind::unsupportedVersion, 2}},
        {document("9223372036854775807", bareProfile), std::pair{Kind::unsupportedVersion, INT64_MAX}},
        {document("2", profileWithoutRules), std::pair{Kind::malformed, 0}},
        {document("1", profileWithoutRules), std::pair{Kind::malformed, 0}},
        {document("1.5", bareProfile), std::pair{Kind::malformed, 0}},
        {document("\"1\"", bareProfile), std::pair{Kind::malformed, 0}},
        {document("true", bareProfile), std::pair{Kind::malformed, 0}},
        {document("null", bareProfile), std::pair{Kind::malformed, 0}},
        {document("18446744073709551615", bareProfile), std::pair{Kind::malformed, 0}},
        {bareProfile, std::nullopt},
        {R"({"version":7,"proxies":[],"rules":[],"defaultAction":{"block":{}}})", std::nullopt},
        {R"({"profile":)" + bareProfile + "}", std::pair{Kind::malformed, 0}},
        {"", std::pair{Kind::malformed, 0}},
        {"[]", std::pair{Kind::malformed, 0}},
        {"null", std::pair{Kind::malformed, 0}},
        {"{", std::pair{Kind::malformed, 0}},
        {bareProfile + "x", std::pair{Kind::malformed, 0}},
        {R"({"proxies":[],"rules":[],"defaultAction":{"direct":{},"block":{}}})", std::pair{Kind::malformed, 0}},
        {std::string("{\"proxies\":[],\"rules\":[],\"defaultAction\":{\"block\":{}},\"x\":\"\xFF\"}"),
         std::pair{Kind::malformed, 0}},
    };
    for (const auto& c : cases) {
        const auto error = decodeError(c.input);
        ASSERT_EQ(error.has_value(), c.error.has_value()) << c.input;
        if (error) {
            EXPECT_EQ(error->kind(), c.error->first) << c.input;
            EXPECT_EQ(error->version(), c.error->second) << c.input;
        } else {
            EXPECT_EQ(ProfileCodec::decode(bytes(c.input)), blockingProfile()) << c.input;
        }
    }
}

TEST(ProfileCodecTest, ReadsEscapedSlashesAndEitherCaseOfIdentifiers) {
    const Profile profile = ProfileCodec::decode(bytes(
        R"({"version":1,"profile":{"proxies":[{"id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f","name":"a\/b",)"
        R"("kind":"socks5","host":"h","port":1,"resolvesHostnamesRemotely":true}],"rules":[],)"
        R"("defaultAction":{"proxy":{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F"}}}})"));
    ASSERT_EQ(profile.proxies.size(), 1u);
    EXPECT_EQ(profile.proxies[0].name, "a/b");
    EXPECT_EQ(profile.defaultAction, RuleAction::proxy(profile.proxies[0].id));
}

TEST(ProfileCodecTest, DeeplyNestedInputIsMalformedNotACrash) {
    const std::string nested = std::string(100000, '[') + std::string(100000, ']');
    const auto error = decodeError(R"({"proxies":)" + nested + R"(,"rules":[],"defaultAction":{"direct":{}}})");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->kind(), Kind::malformed);
}

TEST(ProfileCodecTest, DecodeErrorsCompareByKindAndVersion) {
    using DecodeError = ProfileCodec::DecodeError;
    EXPECT_EQ(DecodeError::unsupportedVersion(2), DecodeError::unsupportedVersion(2));
    EXPECT_FALSE(DecodeError::unsupportedVersion(2) == DecodeError::unsupportedVersion(3));
    EXPECT_FALSE(DecodeError::unsupportedVersion(0) == DecodeError::malformed());
    EXPECT_EQ(DecodeError::malformed("one reason", "line 1, column 1"), DecodeError::malformed("another"));
}

// Each error says what is wrong and where: the line and column of text that is
// not JSON, the path to a value of the wrong form.
TEST(ProfileCodecTest, DecodeErrorsSayWhatIsWrongAndWhere) {
    const std::string rule = R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","name":"r","action":{"block":{}}})";
    const std::string proxy = R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","name":"p","kind":"socks5","host":"h",)"
                              R"("port":1080,"resolvesHostnamesRemotely":true})";
    const auto profileWith = [](const std::string& proxies, const std::string& rules, const std::string& action) {
        return R"({"proxies":[)" + proxies + R"(],"rules":[)" + rules + R"(],"defaultAction":)" + action + "}";
    };
    std::string badPort = proxy;
    badPort.replace(badPort.find("1080"), 4, "70000");
    std::string badHost = rule;
    badHost.replace(badHost.find(R"("action")"), 0, R"("hosts":["a.example",5],)");
    const struct {
        std::string input;
        std::string text;
    } cases[] = {
        {"", "The data is not valid JSON: syntax error while parsing value - unexpected end of input; expected '[', "
             "'{', or a literal (at line 1, column 1)."},
        {"{\n  \"version\": 1,\n  \"profile\": tru\n}",
         "The data is not valid JSON: syntax error while parsing value - invalid literal (at line 3, column 17)."},
        {"\x89PNG\r\n",
         "The data is not valid JSON: syntax error while parsing value - invalid literal (at line 1, column 1)."},
        {"{\"a\":\"\x01\"}",
         "The data is not valid JSON: syntax error while parsing value - invalid string: control character U+0001 "
         "(SOH) must be escaped to \\u0001 (at line 1, column 7)."},
        {std::string(70, '[') + std::string(70, ']'),
         "The data is nested more than 64 levels deep (at line 1, column 65)."},
        {document("2", bareProfile),
         "This profile was written by a newer version of Corvane (document version 2); this version reads version 1 "
         "and older."},
        {document("2", profileWithoutRules), "“rules”: required key is missing (at profile)."},
        {document("\"1\"", bareProfile),
         "“version”: expected an integer from -9223372036854775808 to 9223372036854775807."},
        {R"({"profile":)" + bareProfile + "}", "“version”: required key is missing."},
        {document("1", profileWith(proxy + "," + badPort, "", R"({"direct":{}})")),
         "“port”: expected an integer from 0 to 65535 (at profile.proxies[1])."},
        {profileWith("", rule + "," + badHost, R"({"direct":{}})"),
         "“hosts”: expected a string (at rules[1].hosts[1])."},
        {profileWith("", "", R"({"failover":{"ids":["E621E1F8-C36C-495A-93FC-0C247A3E6E5F","nope"]}})"),
         "“ids”: expected a UUID string (at defaultAction.failover.ids[1])."},
        {profileWith("", "", R"({"direct":{},"block":{}})"),
         "Invalid number of keys found, expected one (at defaultAction)."},
        {"[]", "“profile”: expected an object."},
    };
    for (const auto& c : cases) {
        const auto error = decodeError(c.input);
        ASSERT_TRUE(error.has_value()) << c.input;
        EXPECT_EQ(error->what(), c.text) << c.input;
    }
}

}  // namespace
}  // namespace corvane
