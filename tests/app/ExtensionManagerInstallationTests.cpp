#include "Support/ModelFixture.hpp"

namespace corvane::app::testing {
namespace {

using Status = ExtensionStatus;

ExtensionProperties enabled(std::string build) { return {"1.0", std::move(build), true, false, false}; }

class ExtensionInstallation : public ModelFixture {
protected:
    std::unique_ptr<ExtensionManager> makeManager() {
        auto manager = std::make_unique<ExtensionManager>(managerDependencies());
        settle();
        return manager;
    }
};

TEST_F(ExtensionInstallation, FoundPropertiesSetTheStatusAndUpdateAStaleDaemon) {
    struct Case {
        const char* name;
        std::vector<ExtensionProperties> found;
        std::optional<std::string> bundled;
        Status status;
        bool updates;
    };
    const ExtensionProperties uninstalling{"1.0", "12", true, false, true};
    const ExtensionProperties awaiting{"", "", false, true, false};
    const std::vector<Case> cases = {
        {"none", {}, "13", Status::unknown(), false},
        {"only uninstalling", {uninstalling}, "13", Status::unknown(), false},
        {"stale build", {enabled("12")}, "13", Status::activationRequested(), true},
        {"same build", {enabled("13")}, "13", Status::installed(), false},
        {"awaiting approval", {awaiting}, "13", Status::needsUserApproval(), false},
        {"refusing this account", {ExtensionProperties{"", "", false, false, false, true}}, "13",
         Status::accessDenied(), false},
        {"bundled build unknown", {enabled("12")}, std::nullopt, Status::installed(), false},
        {"disabled, not awaiting", {ExtensionProperties{"1.0", "13", false, false, false}}, "13", Status::unknown(),
         false},
        {"uninstalling first", {uninstalling, enabled("13")}, "13", Status::installed(), false},
    };
    for (const Case& c : cases) {
        installer.properties = c.found;
        installer.activations = 0;
        bundledBuild = c.bundled;
        log->clear();
        auto manager = makeManager();
        EXPECT_EQ(manager->extensionStatus(), c.status) << c.name;
        EXPECT_EQ(installer.activations, c.updates ? 1 : 0) << c.name;
        EXPECT_EQ(logged("Extension build 12 is stale (bundle has 13) — updating"), c.updates) << c.name;
    }
}

// The status is asked for again whenever the daemon's connection drops or
// opens, so Settings follows a daemon that was killed or came back.
TEST_F(ExtensionInstallation, TheStatusFollowsTheDaemonsConnection) {
    installer.properties = {enabled("13")};
    auto manager = makeManager();
    ASSERT_EQ(manager->extensionStatus(), Status::installed());
    installer.properties = std::vector<ExtensionProperties>{};
    daemon.dropConnection();
    settle();
    EXPECT_EQ(manager->extensionStatus(), Status::unknown());
    installer.properties = {enabled("13")};
    daemon.setAbsent(DaemonFailure::Kind::unreachable);
    daemon.setAbsent(std::nullopt);
    settle();
    EXPECT_EQ(manager->extensionStatus(), Status::installed());
    EXPECT_EQ(installer.activations, 0);
}

TEST_F(ExtensionInstallation, FoundPropertiesAreLoggedAsOneSummary) {
    installer.properties = {enabled("12"), ExtensionProperties{"0.9", "11", false, true, true}};
    bundledBuild = "12";
    makeManager();
    EXPECT_TRUE(logged("foundProperties (2): v1.0/12 enabled=true awaitingApproval=false uninstalling=false; "
                       "v0.9/11 enabled=false awaitingApproval=true uninstalling=true"))
        << ::testing::PrintToString(logLines());
}

TEST_F(ExtensionInstallation, AFailedPropertiesRequestShowsItsCode) {
    installer.properties.reset();
    installer.propertiesFailure = {"corvane.control-socket", 13, "Permission denied"};
    auto manager = makeManager();
    EXPECT_EQ(manager->extensionStatus(), Status::failed("[13] Permission denied"));
    EXPECT_TRUE(logged("didFailWithError: domain=corvane.control-socket code=13 — Permission denied"));
}

TEST_F(ExtensionInstallation, ActivationAnswersSetTheStatusAndAreLogged) {
    using Delegate = ServiceInstaller::ActivationDelegate;
    struct Case {
        const char* name;
        std::function<void(const Delegate&)> answer;
        Status status;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"completed", [](const Delegate& d) { d.finished(ActivationResult::completed); }, Status::installed(),
         "didFinishWithResult: completed"},
        {"after reboot", [](const Delegate& d) { d.finished(ActivationResult::willCompleteAfterReboot); },
         Status::installed(), "didFinishWithResult: willCompleteAfterReboot"},
        {"failed", [](const Delegate& d) { d.failed({"pkexec", 126, "Request dismissed"}); },
         Status::failed("[126] Request dismissed"), "didFailWithError: domain=pkexec code=126 — Request dismissed"},
        {"approval", [](const Delegate& d) { d.needsUserApproval(); }, Status::needsUserApproval(),
         "requestNeedsUserApproval — approve in the administrator authorisation dialog"},
        {"replacement", [](const Delegate& d) { d.replacing({"1.0", "12"}, {"1.1", "13"}); },
         Status::activationRequested(), "Replacing extension 1.0 with 1.1"},
    };
    for (const Case& c : cases) {
        auto manager = makeManager();
        installer.activation = c.answer;
        log->clear();
        manager->install();
        EXPECT_EQ(manager->extensionStatus(), Status::activationRequested()) << c.name;
        settle();
        EXPECT_EQ(manager->extensionStatus(), c.status) << c.name;
        const std::vector<std::string> expected = {
            "Install requested. bundlePath=/usr/bin/corvane tunnelID=org.corvane.Corvane.tunnel",
            "Activation request submitted", c.line};
        EXPECT_EQ(logLines(), expected) << c.name;
    }
}

// Both start-up loads ask for the properties; a stale daemon is updated once,
// and no second activation starts while one runs.
TEST_F(ExtensionInstallation, OneActivationAtATime) {
    std::optional<ServiceInstaller::ActivationDelegate> running;
    installer.activation = [&](const ServiceInstaller::ActivationDelegate& d) { running = d; };
    installer.properties = {enabled("12")};
    auto manager = makeManager();
    manager->loadExistingConfiguration(manager.get(), [] {});
    settle();
    manager->install();
    EXPECT_EQ(installer.activations, 1);
    ASSERT_TRUE(running);
    running->finished(ActivationResult::completed);
    settle();
    EXPECT_EQ(manager->extensionStatus(), Status::installed());
    manager->install();
    EXPECT_EQ(installer.activations, 2);
}

}  // namespace
}  // namespace corvane::app::testing
