#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "Shared/ProviderConfiguration.hpp"
#include "Support/ModelFixture.hpp"
#include "Support/Profiles.hpp"

namespace corvane::app::testing {
namespace {

namespace fs = std::filesystem;
using platform::SessionStatus;

void writeProfileFile(const fs::path& path, const Profile& profile) {
    fs::create_directories(path.parent_path());
    const auto bytes = ProfileCodec::encode(profile, true);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

Profile readProfileFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ProfileCodec::decode({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

platform::TransparentProxyConfiguration configurationWithSecrets(platform::StringMap secrets) {
    platform::ConfigurationDictionary values;
    values[std::string(ProviderConfiguration::proxySecretsKey)] = std::move(secrets);
    return {"Corvane", true, {"org.corvane.Corvane.tunnel", "Corvane", values}};
}

platform::Bytes recordList(const std::vector<ConnectionRecord>& records) {
    const std::string text = encodeRecordList(records);
    return platform::Bytes(text.begin(), text.end());
}

class AppStateTest : public ModelFixture {};

TEST_F(AppStateTest, StartUpPutsTheSavedPasswordsBackAndAppliesTheProfile) {
    const ProxyServer proxy = proxyNamed("A", "");
    writeProfileFile(currentFile(), profileWith({proxy}));
    daemon.stored = configurationWithSecrets({{proxy.id.toString(), "pw"}});
    auto state = startedState();
    ASSERT_EQ(state->profile().proxies.size(), 1u);
    EXPECT_EQ(state->profile().proxies[0].credentials->password, "pw");
    const auto stored = storedProfile(*daemon.stored);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->proxies[0].credentials->password, "pw");
    EXPECT_EQ(storedSecrets(*daemon.stored), (platform::StringMap{{proxy.id.toString(), "pw"}}));
    EXPECT_EQ(state->store().load().proxies[0].credentials->password, "") << "the file never holds a password";
}

TEST_F(AppStateTest, WithoutSavedPasswordsTheProfileIsAppliedAsLoaded) {
    const Profile profile = profileWith({proxyNamed("A", "")}, RuleAction::block());
    writeProfileFile(currentFile(), profile);
    auto state = startedState();
    EXPECT_EQ(state->profile(), profile);
    ASSERT_TRUE(daemon.stored);
    EXPECT_EQ(storedProfile(*daemon.stored), profile);
    EXPECT_EQ(storedSecrets(*daemon.stored), platform::StringMap{});
    EXPECT_EQ(state->lastError(), std::nullopt);
}

TEST_F(AppStateTest, AModelGoneBeforeItsStartUpTaskRunsDoesNothing) {
    { AppState state(environment()); }
    settle();
    EXPECT_TRUE(daemon.calls.empty());
    EXPECT_TRUE(fs::exists(currentFile())) << "the loaded profile is written back at once";
}

TEST_F(AppStateTest, AFailedSaveIsShownAndNothingIsAppliedUntilASaveWorks) {
    auto state = startedState();
    const std::size_t savesBefore = daemon.saves.size();
    fs::remove_all(sharedFolder());
    std::ofstream(sharedFolder()) << "in the way";
    state->saveProfile();
    ASSERT_TRUE(state->lastError());
    EXPECT_TRUE(state->lastError()->starts_with("Could not save profile: Could not create the folder “"))
        << *state->lastError();
    settle();
    EXPECT_EQ(daemon.saves.size(), savesBefore);

    fs::remove(sharedFolder());
    state->saveProfile();
    EXPECT_EQ(state->lastError(), std::nullopt);
    settle();
    EXPECT_EQ(daemon.saves.size(), savesBefore + 1);
}

TEST_F(AppStateTest, AFailedStoreInTheTunnelConfigurationIsShownAfterASave) {
    daemon.saveError = "The configuration is not valid: x";
    auto state = startedState();
    EXPECT_EQ(state->lastError(), std::nullopt) << "the start-up store only logs";
    state->saveProfile();
    settle();
    EXPECT_EQ(state->lastError(),
              "Could not store profile in the tunnel configuration: The configuration is not valid: x");
}

// A first start with no daemon: edits go to profile.json without an alert each,
// and the tunnel gets the newest profile once a daemon answers.
TEST_F(AppStateTest, WithoutADaemonEditsAreSavedAndSentWhenItAnswers) {
    daemon.setAbsent(DaemonFailure::Kind::unreachable);
    auto state = startedState();
    for (const char* name : {"first", "second"}) {
        state->setProfile(profileWith({proxyNamed(name)}));
        state->saveProfile();
        settle();
        EXPECT_EQ(state->lastError(), std::nullopt) << name;
    }
    EXPECT_EQ(readProfileFile(currentFile()).proxies[0].name, "second");
    EXPECT_FALSE(daemon.stored);
    EXPECT_TRUE(logged("Failed to store profile in the tunnel configuration: <private>"));

    EXPECT_EQ(state->extensionManager().extensionStatus(), ExtensionStatus::unknown());

    installer.properties = {ExtensionProperties{"1.0", "13", true, false, false}};
    daemon.setAbsent(std::nullopt);
    settle();
    ASSERT_TRUE(daemon.stored);
    EXPECT_EQ(storedProfile(*daemon.stored)->proxies[0].name, "second");
    EXPECT_EQ(state->lastError(), std::nullopt);
    EXPECT_EQ(state->extensionManager().extensionStatus(), ExtensionStatus::installed()) << "Settings follows";
}

TEST_F(AppStateTest, PasswordsRecoveredLaterGoBackIntoTheProfile) {
    const ProxyServer proxy = proxyNamed("A", "");
    writeProfileFile(currentFile(), profileWith({proxy}));
    daemon.stored = configurationWithSecrets({{proxy.id.toString(), "pw"}});
    daemon.loadError = "not running yet";
    auto state = startedState();
    EXPECT_EQ(state->profile().proxies[0].credentials->password, "");
    daemon.loadError.reset();
    state->saveProfile();
    settle();
    EXPECT_EQ(state->profile().proxies[0].credentials->password, "pw");
    state->saveProfile();
    settle();
    EXPECT_EQ(storedSecrets(*daemon.stored), (platform::StringMap{{proxy.id.toString(), "pw"}}));
}

TEST_F(AppStateTest, ControllerChangesAreAnnouncedAsChangesOfTheModel) {
    auto state = startedState();
    int changes = 0;
    QObject::connect(state.get(), &AppState::changed, [&] { ++changes; });
    daemon.pushStatus(SessionStatus::connecting);
    EXPECT_EQ(changes, 1);
    state->proxyHealth().probe(proxyNamed("A"));
    EXPECT_EQ(changes, 2);
}

TEST_F(AppStateTest, ExportWritesTheDocumentWithPasswordsForTheOwnerOnly) {
    auto state = startedState();
    const Profile profile = profileWith({proxyNamed("A", "secret")});
    state->setProfile(profile);
    const fs::path target = folder.path() / "export.json";
    state->exportProfile(target);
    EXPECT_EQ(state->lastError(), std::nullopt);
    std::ifstream in(target, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, ProfileCodec::encode(profile, true));
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    state->exportProfile(folder.path() / "missing" / "export.json");
    ASSERT_TRUE(state->lastError());
    const fs::path missing = folder.path() / "missing" / "export.json";
    EXPECT_EQ(*state->lastError(),
              "Export failed: Could not write “" + missing.string() + "”: No such file or directory.");
}

class RecordsPollTest : public ModelFixture {
protected:
    std::unique_ptr<AppState> state = startedState();

    void runEngine() {
        state->extensionManager().start();
        settle();
        ASSERT_EQ(state->extensionManager().engineStatus(), EngineStatus::running());
    }
    void answerWith(std::optional<std::vector<ConnectionRecord>> records) {
        daemon.answer = [records](const platform::Bytes&) {
            return DaemonConnection::MessageResult{records ? std::optional(recordList(*records)) : std::nullopt,
                                                   std::nullopt};
        };
    }
    // One period passes and the fetch it starts is answered.
    void nextPass() {
        scheduler.advance(RecordsPoll::kPeriod);
        clock.advance(2);
        settle();
    }
    std::size_t fetches() const { return daemon.messages.size(); }
};

TEST_F(RecordsPollTest, NothingIsFetchedWhileTheEngineIsStopped) {
    auto poll = state->pollRecords();
    for (int i = 0; i < 3; ++i) nextPass();
    EXPECT_EQ(fetches(), 0u);
    EXPECT_EQ(scheduler.pending(), 1u);
    runEngine();
    answerWith(std::vector<ConnectionRecord>{});
    const std::size_t before = fetches();
    nextPass();
    EXPECT_EQ(fetches(), before + 1);
    EXPECT_EQ(daemon.messages.back(), platform::Bytes({'{', '"', 'k', 'i', 'n', 'd', '"', ':', '"', 'f', 'e', 't', 'c',
                                                       'h', 'R', 'e', 'c', 'o', 'r', 'd', 's', '"', '}'}));
}

TEST_F(RecordsPollTest, RecordsAreShownNewestFirstAndTheSleepFollowsTheReply) {
    runEngine();
    const ConnectionRecord older = recordOf("older");
    const ConnectionRecord newer = recordOf("newer");
    answerWith(std::vector{older, newer});
    daemon.hold = true;
    auto poll = state->pollRecords();
    settle();
    EXPECT_EQ(scheduler.pending(), 0u) << "no sleep before the reply";
    daemon.releaseOne();
    settle();
    EXPECT_EQ(state->records(), (std::vector{newer, older}));
    EXPECT_EQ(scheduler.pending(), 1u);
    EXPECT_EQ(scheduler.lastDelay(), RecordsPoll::kPeriod);
}

// A missed fetch empties the list but the next good one is measured from the
// last good one, so no kept record's bytes show up as a spike.
TEST_F(RecordsPollTest, AMissedFetchEmptiesTheListWithoutDistortingThroughput) {
    runEngine();
    ConnectionRecord record = recordOf("app", 10, 10);
    answerWith(std::vector{record});
    auto poll = state->pollRecords();
    settle();
    record.bytesSent = 110;
    record.bytesReceived = 210;
    answerWith(std::vector{record});
    nextPass();
    ASSERT_EQ(state->throughput().size(), 1u);
    EXPECT_DOUBLE_EQ(state->throughput()[0].sent, 50);
    EXPECT_DOUBLE_EQ(state->throughput()[0].received, 100);

    answerWith(std::nullopt);
    nextPass();
    EXPECT_TRUE(state->records().empty());
    EXPECT_EQ(state->throughput().size(), 1u);

    daemon.answer = [](const platform::Bytes&) {
        return DaemonConnection::MessageResult{platform::Bytes{'[', '{', '}', ']'}, std::nullopt};
    };
    nextPass();
    EXPECT_TRUE(state->records().empty()) << "an undecodable reply reads as none";

    record.bytesSent = 150;
    record.bytesReceived = 250;
    answerWith(std::vector{record});
    nextPass();
    ASSERT_EQ(state->throughput().size(), 2u);
    EXPECT_DOUBLE_EQ(state->throughput()[1].sent, 40.0 / 6);
    EXPECT_DOUBLE_EQ(state->throughput()[1].received, 40.0 / 6);
    EXPECT_EQ(state->records(), std::vector{record});
}

TEST_F(RecordsPollTest, AnEndedPollDropsTheReplyOnItsWay) {
    runEngine();
    answerWith(std::vector{recordOf("late")});
    daemon.hold = true;
    auto poll = state->pollRecords();
    settle();
    poll.reset();
    daemon.releaseOne();
    settle();
    EXPECT_TRUE(state->records().empty());
    EXPECT_EQ(scheduler.pending(), 0u);
}

}  // namespace
}  // namespace corvane::app::testing
