#include <fstream>

#include <gtest/gtest.h>

#include "CorvaneCore/Logging/ConnectionRecord.hpp"
#include "Shared/ProviderRequest.hpp"
#include "Support/ProviderFixture.hpp"
#include "Support/Profiles.hpp"
#include "Support/ScriptedProxy.hpp"

namespace corvane::tunnel {
namespace {

using testing::bytes;
using testing::ScriptedProxy;

const std::string kDefaultsRule =
    "  active rule “Local & private networks” hosts=[localhost, *.local, 127.0.0.0/8, 10.0.0.0/8, "
    "172.16.0.0/12, 192.168.0.0/16, 169.254.0.0/16, ::1/128, fe80::/10]";

class ProviderLifecycleTest : public testing::ProviderFixture {
public:
    void writeSharedFile(const Profile& profile) {
        const auto data = ProfileCodec::encode(profile, true);
        std::ofstream(folder / "profile.json", std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    void setConfigurationValues(platform::ConfigurationDictionary values) {
        host.setConfiguration(platform::TunnelProviderProtocol{"org.corvane.Corvane.tunnel", "Corvane", values});
    }
    Profile namedProfile(std::string ruleName) {
        Profile profile;
        profile.rules.push_back(testing::rule(std::move(ruleName), RuleAction::direct(), {"*.example.org", "10.0.0.0/8"}));
        return profile;
    }
    std::optional<platform::Bytes> message(std::string_view text) {
        auto reply = host.appMessage(bytes(text));
        platform::testing::runUntilIdle(context);
        return reply.get();
    }
};

TEST_F(ProviderLifecycleTest, ProfileComesFromTheConfigurationThenTheSharedFileThenTheDefaults) {
    setConfigurationValues({{"profile", bytes("{not json")}});
    writeSharedFile(namedProfile("From file"));
    start();
    EXPECT_EQ(lines(), (std::vector<std::string>{"Profile from app group file: 1 rules, 0 proxies",
                                                 "  active rule “From file” hosts=[*.example.org, 10.0.0.0/8]"}));

    log->clear();
    configure(namedProfile("From configuration"));
    start();
    EXPECT_EQ(lines().front(), "Profile from providerConfiguration: 1 rules, 0 proxies");

    // A string or an object is not data: the file is used.
    for (platform::ConfigValue notData : {platform::ConfigValue(nlohmann::json("{}")),
                                          platform::ConfigValue(nlohmann::json::object())}) {
        log->clear();
        setConfigurationValues({{"profile", notData}});
        start();
        EXPECT_EQ(lines().front(), "Profile from app group file: 1 rules, 0 proxies");
    }

    log->clear();
    std::filesystem::remove(folder / "profile.json");
    std::filesystem::create_symlink("/etc/hostname", folder / "profile.json");
    setConfigurationValues({{"profile", bytes("[]")}});
    start();
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "No profile in providerConfiguration or at " + (folder / "profile.json").string() +
                               "; using defaults — nothing will be proxied",
                           "Profile from defaults: 1 rules, 0 proxies", kDefaultsRule}));
}

TEST_F(ProviderLifecycleTest, DisabledRulesCountButAreNotListed) {
    Profile profile = namedProfile("On");
    profile.rules.push_back(testing::rule("Off", RuleAction::block(), {"a.example"}));
    profile.rules.back().isEnabled = false;
    configure(profile);
    start();
    EXPECT_EQ(lines(), (std::vector<std::string>{"Profile from providerConfiguration: 2 rules, 0 proxies",
                                                 "  active rule “On” hosts=[*.example.org, 10.0.0.0/8]"}));
}

TEST_F(ProviderLifecycleTest, StartInstallsTheSixExclusionsAndReportsSettingsFailures) {
    EXPECT_EQ(start(), std::nullopt);
    const auto calls = host.settingsCalls();
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_TRUE(calls.front());
    const platform::TransparentProxyNetworkSettings& settings = *calls.front();
    EXPECT_EQ(settings.tunnelRemoteAddress, "127.0.0.1");
    using Protocol = platform::NetworkRule::Protocol;
    ASSERT_EQ(settings.includedNetworkRules.size(), 2u);
    EXPECT_EQ(settings.includedNetworkRules[0].protocol, Protocol::tcp);
    EXPECT_EQ(settings.includedNetworkRules[1].protocol, Protocol::udp);
    EXPECT_FALSE(settings.includedNetworkRules[0].remoteNetwork);
    const std::pair<std::string, int> networks[] = {{"224.0.0.0", 4}, {"255.255.255.255", 32}, {"ff00::", 8}};
    ASSERT_EQ(settings.excludedNetworkRules.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        const platform::NetworkRule& rule = settings.excludedNetworkRules[i];
        EXPECT_EQ(rule.remoteNetwork, (platform::HostEndpoint{networks[i / 2].first, "0"}));
        EXPECT_EQ(rule.remotePrefix, networks[i / 2].second);
        EXPECT_EQ(rule.protocol, i % 2 == 0 ? Protocol::tcp : Protocol::udp);
        EXPECT_EQ(rule.direction, platform::NetworkRule::Direction::outbound);
        EXPECT_FALSE(rule.localNetwork);
    }

    const platform::Failure failure{platform::posixError(EPERM), "Operation not permitted"};
    host.failSettingsWith(failure);
    log->clear();
    EXPECT_EQ(start(), failure);
    EXPECT_EQ(lines().back(), "Failed to apply settings: <private>");
    EXPECT_EQ(log->revealedLines().back(), "Failed to apply settings: Operation not permitted");
}

TEST_F(ProviderLifecycleTest, StartHandlerRunsAfterTheProviderIsGone) {
    std::optional<platform::ProviderHost::SettingsHandler> held;
    struct HoldingHost : platform::testing::FakeProviderHost {
        using FakeProviderHost::FakeProviderHost;
        void setTunnelNetworkSettings(std::optional<platform::TransparentProxyNetworkSettings>,
                                      SettingsHandler handler) override {
            *holder = std::move(handler);
        }
        std::optional<SettingsHandler>* holder = nullptr;
    } holding(context.get_executor());
    holding.holder = &held;
    auto shortLived = TransparentProxyProvider::make(holding, {{}, signing, paths, clock.clock()});
    bool called = false;
    shortLived->startProxy([&](std::optional<platform::Failure> failure) { called = !failure; });
    shortLived.reset();
    ASSERT_TRUE(held);
    (*held)(std::nullopt);
    EXPECT_TRUE(called);
}

TEST_F(ProviderLifecycleTest, MessageProfilesTakeStoredPasswordsOnlyWhereBlank) {
    ProxyServer upper = testing::proxyServer("Upper", ProxyProtocol::socks5, ScriptedProxy::closedPort());
    ProxyServer lower = upper;
    lower.id = UUID::random();
    lower.name = "Lower";
    ProxyServer fresh = upper;
    fresh.id = UUID::random();
    fresh.name = "Fresh";
    upper.credentials = lower.credentials = ProxyCredentials{"alice", ""};
    fresh.credentials = ProxyCredentials{"bob", "typed-now"};
    std::string lowerKey = lower.id.toString();
    for (char& c : lowerKey) c = static_cast<char>(std::tolower(c));
    configure(Profile{}, {{upper.id.toString(), "stored-1"}, {lowerKey, "stored-2"}, {fresh.id.toString(), "stale"}});
    start();

    Profile sent;
    sent.proxies = {upper, lower, fresh};
    ProviderRequest request{ProviderRequest::Kind::reloadProfile, sent};
    EXPECT_EQ(message(request.encoded()), std::nullopt);
    ASSERT_TRUE(provider->currentEngine());
    const auto& applied = provider->currentEngine()->profile.proxies;
    EXPECT_EQ(applied[0].credentials->password, "stored-1");
    EXPECT_EQ(applied[1].credentials->password, "");
    EXPECT_EQ(applied[2].credentials->password, "typed-now");
    EXPECT_EQ(lines().back(), "Profile from app message: 0 rules, 3 proxies");

    // The secrets are read when a profile is applied, not at start.
    configure(Profile{}, {{upper.id.toString(), "changed"}});
    EXPECT_EQ(message(request.encoded()), std::nullopt);
    EXPECT_EQ(provider->currentEngine()->profile.proxies[0].credentials->password, "changed");

    // Secrets that are not a string map count as none.
    setConfigurationValues({{"proxySecrets", nlohmann::json{{upper.id.toString(), 5}}}});
    EXPECT_TRUE(provider->currentProxySecrets().empty());
}

TEST_F(ProviderLifecycleTest, AppMessagesAreAnsweredPerKind) {
    configure(namedProfile("Configured"));
    start();
    for (const char* unrecognised :
         {"{\"kind\":\"reloadProfile\",\"profile\":5}", "{\"kind\":\"other\"}", "{}", "[]", "", "\xff\xfe"}) {
        log->clear();
        EXPECT_EQ(message(unrecognised), std::nullopt) << unrecognised;
        EXPECT_EQ(lines(), std::vector<std::string>{"Unrecognised app message (" +
                                                    std::to_string(std::string_view(unrecognised).size()) +
                                                    " bytes)"});
    }

    const auto fetched = message("{\"kind\":\"fetchRecords\",\"extra\":1}");
    ASSERT_TRUE(fetched);
    EXPECT_EQ(std::string(fetched->begin(), fetched->end()), "[]");

    for (const char* reload : {"{\"kind\":\"reloadProfile\"}", "{\"kind\":\"reloadProfile\",\"profile\":null}"}) {
        log->clear();
        EXPECT_EQ(message(reload), std::nullopt);
        EXPECT_EQ(lines().front(), "Profile from providerConfiguration: 1 rules, 0 proxies");
    }
}

TEST_F(ProviderLifecycleTest, StopEndsEveryRelayAndKeepsTheRecords) {
    ScriptedProxy socks(ScriptedProxy::Kind::socks5);
    const ProxyServer a = testing::proxyServer("A", ProxyProtocol::socks5, socks.port());
    configure(testing::profileWith({a}, RuleAction::proxy(a.id)));
    start();
    std::vector<std::shared_ptr<platform::testing::FakeTCPFlow>> flows;
    for (int i = 0; i < 2; ++i) {
        flows.push_back(tcpFlow("198.18.0.10", "7"));
        EXPECT_TRUE(deliver(flows.back()));
        flows.back()->pushData(bytes("abc"));
    }
    ASSERT_TRUE(runUntil([&] { return flows[0]->written().size() == 3 && flows[1]->written().size() == 3; }));
    // One more whose set-up is still waiting when the session stops.
    auto late = tcpFlow("198.18.0.10", "7");
    late->holdOpen();
    EXPECT_TRUE(deliver(late));

    bool stopped = false;
    provider->stopProxy([&] {
        stopped = true;
        for (const ConnectionRecord& record : records()) {
            if (record.id != records().back().id) {
                EXPECT_EQ(record.status, ConnectionStatus::closed);
            }
        }
    });
    EXPECT_TRUE(stopped);
    for (const auto& flow : flows) EXPECT_TRUE(flow->isClosed());
    auto kept = records();
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].bytesSent, 3u);
    EXPECT_EQ(kept[0].bytesReceived, 3u);

    // The set-up that ends after the stop does not leave a running relay behind.
    late->completeOpen();
    ASSERT_TRUE(runUntil([&] { return records().back().status != ConnectionStatus::active; }));
    EXPECT_EQ(records().back().status, ConnectionStatus::closed);
    EXPECT_TRUE(late->isClosed());
}

}  // namespace
}  // namespace corvane::tunnel
