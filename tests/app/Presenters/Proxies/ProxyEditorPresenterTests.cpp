#include <gtest/gtest.h>

#include "Presenters/Proxies/ProxiesPresenter.hpp"
#include "Presenters/Proxies/ProxyEditorPresenter.hpp"
#include "Support/Profiles.hpp"

namespace corvane::app::testing {
namespace {

TEST(ProxyEditorPresenter, PortIsReadAsTypedWithOneOptionalSign) {
    const std::vector<std::pair<std::string, std::optional<std::uint16_t>>> cases = {
        {"0", 0},           {"65535", 65535},        {"+80", 80},          {"08080", 8080},
        {"-0", 0},          {"1080", 1080},          {"65536", std::nullopt}, {"-1", std::nullopt},
        {"+", std::nullopt}, {"-", std::nullopt},    {"", std::nullopt},    {" 1080", std::nullopt},
        {"1080 ", std::nullopt}, {"1e3", std::nullopt}, {"+-1", std::nullopt}, {"0x50", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const auto& [text, port] : cases) {
        EXPECT_EQ(ProxyEditorPresenter::parsePort(text), port) << "“" << text << "”";
        ProxyEditorPresenter editor(proxyNamed("A"));
        editor.setPortText(text);
        EXPECT_EQ(editor.isValid(), port.has_value()) << "“" << text << "”";
    }
}

TEST(ProxyEditorPresenter, NameAndHostNeedMoreThanSpacesAndAreSavedAsTyped) {
    struct Case {
        std::string name;
        std::string host;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"A", "proxy.example", true}, {"  A ", " proxy.example ", true}, {"", "h", false},
        {"   ", "h", false},         {"A", "\t ", false},               {"A", "", false},
    };
    for (const Case& c : cases) {
        ProxyEditorPresenter editor(ProxiesPresenter::newProxy());
        editor.setName(c.name);
        editor.setHost(c.host);
        EXPECT_EQ(editor.isValid(), c.valid) << "“" << c.name << "” “" << c.host << "”";
        EXPECT_EQ(editor.save()->name, c.name);
        EXPECT_EQ(editor.save()->host, c.host);
    }
}

TEST(ProxyEditorPresenter, CredentialsAreWrittenOnlyWhileAuthenticationIsOn) {
    ProxyEditorPresenter plain(proxyNamed("A"));
    EXPECT_FALSE(plain.usesAuthentication());
    EXPECT_EQ(plain.username(), "");
    plain.setUsesAuthentication(true);
    EXPECT_EQ(plain.save()->credentials, (ProxyCredentials{"", ""})) << "empty texts are allowed";

    ProxyEditorPresenter withAuth(proxyNamed("B", "pw"));
    EXPECT_TRUE(withAuth.usesAuthentication());
    EXPECT_EQ(withAuth.username(), "alice");
    EXPECT_EQ(withAuth.password(), "pw");
    withAuth.setUsesAuthentication(false);
    EXPECT_EQ(withAuth.save()->credentials, std::nullopt);
    EXPECT_EQ(withAuth.username(), "alice") << "the texts stay while the sheet is open";
    withAuth.setUsesAuthentication(true);
    withAuth.setPassword(" new ");
    EXPECT_EQ(withAuth.save()->credentials, (ProxyCredentials{"alice", " new "}));
}

TEST(ProxyEditorPresenter, TheProtocolNeverChangesThePortAndTheHiddenFlagKeepsItsValue) {
    ProxyEditorPresenter editor(ProxiesPresenter::newProxy());
    EXPECT_EQ(editor.portText(), "1080");
    EXPECT_TRUE(editor.showsResolveOption());
    editor.setKind(ProxyProtocol::httpConnect);
    EXPECT_FALSE(editor.showsResolveOption());
    EXPECT_EQ(editor.portText(), "1080");
    const auto saved = editor.save();
    EXPECT_EQ(saved->port, 1080);
    EXPECT_EQ(saved->kind, ProxyProtocol::httpConnect);
    EXPECT_TRUE(saved->resolvesHostnamesRemotely);
    editor.setPortText("1080 ");
    EXPECT_EQ(editor.save(), std::nullopt);
}

}  // namespace
}  // namespace corvane::app::testing
