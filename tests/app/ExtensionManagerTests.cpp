#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "Shared/ProviderConfiguration.hpp"
#include "Support/ModelFixture.hpp"
#include "Support/Profiles.hpp"

namespace corvane::app::testing {
namespace {

using platform::SessionStatus;
using Kind = EngineStatus::Kind;

platform::TransparentProxyConfiguration savedConfiguration(platform::StringMap secrets = {}) {
    platform::ConfigurationDictionary values;
    values[std::string(ProviderConfiguration::proxySecretsKey)] = std::move(secrets);
    values["other"] = nlohmann::json{{"kept", true}};
    return {"Old description", false, {"old.identifier", "old", values}};
}

class ExtensionManagerTest : public ModelFixture {
protected:
    std::unique_ptr<ExtensionManager> makeManager() {
        auto manager = std::make_unique<ExtensionManager>(managerDependencies());
        settle();
        return manager;
    }
    std::optional<std::optional<platform::Bytes>> send(ExtensionManager& manager, const ProviderRequest& request) {
        std::optional<std::optional<platform::Bytes>> reply;
        manager.sendProviderMessage(request, &manager, [&](std::optional<platform::Bytes> data) { reply = data; });
        EXPECT_FALSE(reply) << "answered inside the call";
        settle();
        return reply;
    }
    static ProviderRequest fetch() { return {ProviderRequest::Kind::fetchRecords, std::nullopt}; }
    static std::optional<std::optional<platform::Bytes>> answeredNone() {
        return std::optional<std::optional<platform::Bytes>>(std::in_place);
    }
};

TEST_F(ExtensionManagerTest, EngineStatusFollowsTheSessionOnceAConfigurationExists) {
    const std::vector<std::pair<SessionStatus, Kind>> cases = {
        {SessionStatus::invalid, Kind::stopped},     {SessionStatus::disconnected, Kind::stopped},
        {SessionStatus::connecting, Kind::starting}, {SessionStatus::connected, Kind::running},
        {SessionStatus::reasserting, Kind::starting}, {SessionStatus::disconnecting, Kind::stopped},
    };
    auto unconfigured = makeManager();
    for (const auto& [session, engine] : cases) {
        daemon.pushStatus(session);
        EXPECT_EQ(unconfigured->engineStatus().kind, Kind::stopped) << "without a configuration";
    }
    daemon.pushStatus(SessionStatus::invalid);
    daemon.stored = savedConfiguration();
    auto manager = makeManager();
    for (const auto& [session, engine] : cases) {
        daemon.pushStatus(session);
        EXPECT_EQ(manager->engineStatus().kind, engine) << static_cast<int>(session);
    }
}

TEST_F(ExtensionManagerTest, FirstStartCreatesTheConfigurationAndStartsIt) {
    auto manager = makeManager();
    EXPECT_FALSE(manager->hasConfiguration());
    EXPECT_EQ(manager->engineStatus(), EngineStatus::stopped());
    std::vector<EngineStatus> seen;
    QObject::connect(manager.get(), &ExtensionManager::engineStatusChanged,
                     [&] { seen.push_back(manager->engineStatus()); });
    manager->start();
    settle();
    EXPECT_EQ(daemon.calls, (std::vector<std::string>{"load", "load", "save", "load", "start"}));
    ASSERT_TRUE(daemon.stored);
    EXPECT_EQ(daemon.stored->localizedDescription, "Corvane");
    EXPECT_TRUE(daemon.stored->enabled);
    EXPECT_EQ(daemon.stored->protocolConfiguration.providerBundleIdentifier, "org.corvane.Corvane.tunnel");
    EXPECT_EQ(daemon.stored->protocolConfiguration.serverAddress, "Corvane");
    EXPECT_EQ(storedSecrets(*daemon.stored), platform::StringMap{});
    EXPECT_EQ(seen, (std::vector{EngineStatus::starting(), EngineStatus::running()}));
}

TEST_F(ExtensionManagerTest, StoringKeepsOtherKeysOfTheSavedConfiguration) {
    daemon.stored = savedConfiguration();
    auto manager = makeManager();
    const Profile profile = profileWith({proxyNamed("A", "pw")});
    manager->applyProfile(profile);
    settle();
    const auto& values = *daemon.stored->protocolConfiguration.providerConfiguration;
    EXPECT_EQ(std::get<nlohmann::json>(values.at("other")), (nlohmann::json{{"kept", true}}));
    EXPECT_EQ(storedProfile(*daemon.stored), profile);
    EXPECT_EQ(storedSecrets(*daemon.stored), (platform::StringMap{{profile.proxies[0].id.toString(), "pw"}}));
    EXPECT_EQ(daemon.stored->protocolConfiguration.providerBundleIdentifier, "org.corvane.Corvane.tunnel");
}

// A daemon's refusal shows as it is; no daemon, or one that refuses this
// account, shows what to do about it.
TEST_F(ExtensionManagerTest, StartFailuresShowAsErrorsAndAreLogged) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string text;
        std::string logged;
    };
    using Absent = DaemonFailure::Kind;
    const std::string noSocket = FakeDaemonConnection::absentText();
    const std::string denied = "Could not reach the tunnel daemon at /run/corvane/control.sock: Permission denied";
    const std::vector<Case> cases = {
        {"load", [this] { daemon.loadError = "no load"; }, "no load", "no load"},
        {"save", [this] { daemon.saveError = "no save"; }, "no save", "no save"},
        {"start", [this] { daemon.startError = "no start"; }, "no start", "no start"},
        {"no daemon", [this] { daemon.setAbsent(Absent::unreachable); },
         "The tunnel service is not installed. Install it on the Settings page.", noSocket},
        {"not in the group", [this] { daemon.setAbsent(Absent::notPermitted); },
         "This account may not control the tunnel: it must be a member of the group “corvane” (log in again after "
         "joining it).",
         denied},
    };
    for (const Case& c : cases) {
        daemon.loadError.reset();
        daemon.saveError.reset();
        daemon.startError.reset();
        daemon.setAbsent(std::nullopt);
        auto manager = makeManager();
        c.arrange();
        settle();
        log->clear();
        manager->start();
        settle();
        EXPECT_EQ(manager->engineStatus(), EngineStatus::error(c.text)) << c.name;
        EXPECT_EQ(log->revealedLines(), std::vector<std::string>{"Failed to start engine: " + c.logged}) << c.name;
        EXPECT_EQ(logLines(), std::vector<std::string>{"Failed to start engine: <private>"}) << c.name;
    }
}

TEST_F(ExtensionManagerTest, ToggleStopsARunningTunnelAndStartsInEveryOtherState) {
    auto manager = makeManager();
    manager->start();
    settle();
    ASSERT_EQ(manager->engineStatus(), EngineStatus::running());
    manager->toggle();
    settle();
    EXPECT_EQ(manager->engineStatus(), EngineStatus::stopped());
    EXPECT_EQ(daemon.calls.back(), "stop");

    daemon.reachConnected = false;
    manager->toggle();
    settle();
    EXPECT_EQ(manager->engineStatus(), EngineStatus::starting());
    daemon.startError = "refused";
    manager->toggle();
    settle();
    EXPECT_EQ(manager->engineStatus(), EngineStatus::error("refused"));
    daemon.startError.reset();
    manager->toggle();
    settle();
    EXPECT_EQ(std::count(daemon.calls.begin(), daemon.calls.end(), "start"), 4);
    EXPECT_EQ(std::count(daemon.calls.begin(), daemon.calls.end(), "stop"), 1);
}

TEST_F(ExtensionManagerTest, MessagesNeedAConfigurationAndAConnectedSession) {
    auto manager = makeManager();
    log->clear();
    EXPECT_EQ(send(*manager, fetch()), answeredNone());
    EXPECT_EQ(logLines(), std::vector<std::string>{"sendProviderMessage(fetchRecords): no manager/connection"});

    daemon.reachConnected = false;
    manager->start();
    settle();
    log->clear();
    EXPECT_EQ(send(*manager, fetch()), answeredNone());
    EXPECT_EQ(logLines(), std::vector<std::string>{"sendProviderMessage: session status is 2 (need connected)"});
    EXPECT_TRUE(daemon.messages.empty());

    daemon.pushStatus(SessionStatus::connected);
    daemon.answer = [](const platform::Bytes& message) {
        return DaemonConnection::MessageResult{platform::Bytes(message.rbegin(), message.rend()), std::nullopt};
    };
    const std::string encoded = fetch().encoded();
    EXPECT_EQ(send(*manager, fetch()), std::optional(std::optional(platform::Bytes(encoded.rbegin(), encoded.rend()))));

    daemon.answer = [](const platform::Bytes&) {
        return DaemonConnection::MessageResult{
            std::nullopt, DaemonFailure{DaemonFailure::Kind::unreachable, FakeDaemonConnection::lostText()}};
    };
    log->clear();
    EXPECT_EQ(send(*manager, fetch()), answeredNone());
    EXPECT_EQ(logLines(),
              std::vector<std::string>{"sendProviderMessage threw: The connection to the tunnel daemon was lost."});
}

TEST_F(ExtensionManagerTest, AMessagePendingWhenTheDaemonGoesIsAnsweredWithNone) {
    auto manager = makeManager();
    manager->start();
    settle();
    daemon.hold = true;
    bool answered = false;
    std::optional<platform::Bytes> reply = platform::Bytes{1};
    manager->sendProviderMessage(fetch(), manager.get(), [&](std::optional<platform::Bytes> data) {
        answered = true;
        reply = data;
    });
    settle();
    EXPECT_FALSE(answered);
    daemon.dropConnection();
    settle();
    EXPECT_TRUE(answered);
    EXPECT_EQ(reply, std::nullopt);
    EXPECT_EQ(manager->engineStatus(), EngineStatus::stopped());
}

// Clearing the only password must clear it in the daemon too; the saved
// passwords fill an empty set only before any saved configuration was read.
TEST_F(ExtensionManagerTest, TheProfilePasswordsAreStoredExactly) {
    ProxyServer proxy = proxyNamed("A", "old");
    daemon.stored = savedConfiguration({{proxy.id.toString(), "old"}});
    auto manager = makeManager();
    EXPECT_EQ(manager->proxySecrets(), (Profile::CredentialSecrets{{proxy.id.toString(), "old"}}));
    proxy.credentials->password = "";
    manager->applyProfile(profileWith({proxy}));
    settle();
    EXPECT_EQ(storedSecrets(*daemon.stored), platform::StringMap{});
    EXPECT_EQ(manager->proxySecrets(), Profile::CredentialSecrets{});
}

TEST_F(ExtensionManagerTest, PasswordsSavedBeforeAreKeptWhenTheFirstReadComesLate) {
    ProxyServer proxy = proxyNamed("A", "");
    daemon.stored = savedConfiguration({{proxy.id.toString(), "saved"}});
    daemon.loadError = "not running yet";
    auto manager = makeManager();
    std::optional<Profile::CredentialSecrets> recovered;
    QObject::connect(manager.get(), &ExtensionManager::secretsRecovered,
                     [&](const Profile::CredentialSecrets& secrets) { recovered = secrets; });
    daemon.loadError.reset();
    manager->applyProfile(profileWith({proxy}));
    settle();
    const platform::StringMap saved{{proxy.id.toString(), "saved"}};
    EXPECT_EQ(storedSecrets(*daemon.stored), saved);
    EXPECT_EQ(recovered, saved);

    manager->applyProfile(profileWith({proxy}));
    settle();
    EXPECT_EQ(storedSecrets(*daemon.stored), platform::StringMap{}) << "a later clearing is kept";
}

TEST_F(ExtensionManagerTest, AProfileThatCannotBeEncodedKeepsTheStoredOneButUpdatesThePasswords) {
    const Profile good = profileWith({proxyNamed("A", "one")});
    daemon.stored = savedConfiguration();
    auto manager = makeManager();
    manager->applyProfile(good);
    settle();
    Profile bad = profileWith({proxyNamed("\xff bad name", "two")});
    manager->applyProfile(bad);
    settle();
    EXPECT_EQ(storedProfile(*daemon.stored), good);
    EXPECT_EQ(storedSecrets(*daemon.stored), (platform::StringMap{{bad.proxies[0].id.toString(), "two"}}));
}

TEST_F(ExtensionManagerTest, AFailedStoreIsLoggedReportedWhenAskedAndTheProfileStillSent) {
    auto manager = makeManager();
    manager->start();
    settle();
    std::vector<QString> reported;
    QObject::connect(manager.get(), &ExtensionManager::profileStoreFailed,
                     [&](const QString& description) { reported.push_back(description); });
    daemon.saveError = "disk full";
    log->clear();
    manager->applyProfile(profileWith({}));
    settle();
    EXPECT_TRUE(reported.empty());
    EXPECT_EQ(log->revealedLines(),
              std::vector<std::string>{"Failed to store profile in the tunnel configuration: disk full"});
    manager->applyProfile(profileWith({}), ExtensionManager::StoreFailure::report);
    settle();
    EXPECT_EQ(reported, std::vector<QString>{"disk full"});
    ASSERT_EQ(daemon.messages.size(), 2u);
    EXPECT_EQ(ProviderRequest::decode(std::string(daemon.messages[1].begin(), daemon.messages[1].end())).kind,
              ProviderRequest::Kind::reloadProfile);
}

// Without a daemon the profile waits: nothing is reported, and the newest one
// is stored and sent once a daemon answers.
TEST_F(ExtensionManagerTest, WithoutADaemonTheProfileIsStoredWhenOneAnswers) {
    for (const auto absent : {DaemonFailure::Kind::unreachable, DaemonFailure::Kind::notPermitted}) {
        SCOPED_TRACE(static_cast<int>(absent));
        daemon.stored.reset();
        daemon.setAbsent(absent);
        auto manager = makeManager();
        std::vector<QString> reported;
        QObject::connect(manager.get(), &ExtensionManager::profileStoreFailed,
                         [&](const QString& description) { reported.push_back(description); });
        const Profile first = profileWith({proxyNamed("first", "one")});
        const Profile second = profileWith({proxyNamed("second", "two")});
        manager->applyProfile(first, ExtensionManager::StoreFailure::report);
        settle();
        manager->applyProfile(second, ExtensionManager::StoreFailure::report);
        settle();
        EXPECT_TRUE(reported.empty());
        EXPECT_FALSE(daemon.stored);

        daemon.setAbsent(std::nullopt);
        settle();
        ASSERT_TRUE(daemon.stored);
        EXPECT_EQ(storedProfile(*daemon.stored), second);
        EXPECT_EQ(storedSecrets(*daemon.stored), (platform::StringMap{{second.proxies[0].id.toString(), "two"}}));
        EXPECT_TRUE(reported.empty());
        const std::size_t saves = daemon.saves.size();
        daemon.dropConnection();
        daemon.setAbsent(std::nullopt);
        settle();
        EXPECT_EQ(daemon.saves.size(), saves) << "nothing owed after a store that worked";
    }

    daemon.setAbsent(DaemonFailure::Kind::unreachable);
    auto manager = makeManager();
    std::vector<QString> reported;
    QObject::connect(manager.get(), &ExtensionManager::profileStoreFailed,
                     [&](const QString& description) { reported.push_back(description); });
    manager->applyProfile(profileWith({}));
    settle();
    daemon.saveError = "disk full";
    daemon.setAbsent(std::nullopt);
    settle();
    EXPECT_EQ(reported, std::vector<QString>{"disk full"}) << "the daemon that answers at last refuses the profile";
}

// Configuration operations run one at a time: an apply and a quick start never
// interleave their load and save, and quick applies end on the newest profile.
TEST_F(ExtensionManagerTest, ConfigurationOperationsRunOneAtATimeAndEndOnTheNewestProfile) {
    auto manager = makeManager();
    daemon.hold = true;
    daemon.calls.clear();
    const Profile first = profileWith({proxyNamed("first")});
    const Profile second = profileWith({proxyNamed("second")});
    const Profile third = profileWith({proxyNamed("third")});
    manager->applyProfile(first);
    manager->start();
    manager->applyProfile(second);
    manager->applyProfile(third);
    std::size_t mostHeld = 0;
    for (int step = 0; step < 40 && (daemon.held() > 0 || step == 0); ++step) {
        settle();
        mostHeld = std::max(mostHeld, daemon.held());
        if (daemon.stored) daemon.pushStatus(SessionStatus::connected);
        daemon.releaseOne();
        settle();
    }
    EXPECT_EQ(mostHeld, 1u);
    EXPECT_EQ(daemon.calls, (std::vector<std::string>{"load", "save", "load", "message", "load", "save", "load",
                                                      "start", "load", "save", "load", "message"}));
    ASSERT_TRUE(daemon.stored);
    EXPECT_EQ(storedProfile(*daemon.stored), third);
    ASSERT_EQ(daemon.messages.size(), 2u);
    const auto last = ProviderRequest::decode(std::string(daemon.messages[1].begin(), daemon.messages[1].end()));
    EXPECT_EQ(last.profile, third);
}

}  // namespace
}  // namespace corvane::app::testing
