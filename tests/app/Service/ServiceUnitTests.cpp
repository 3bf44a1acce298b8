#include <gtest/gtest.h>

#include "Service/DetachedDaemon.hpp"
#include "Service/ServiceError.hpp"
#include "Service/ServiceUnit.hpp"
#include "Service/TrustedExecutable.hpp"

namespace corvane::service {
namespace {

TEST(ServiceUnit, RunsTheDaemonWithItsFoldersAndRestartsItOnFailure) {
    EXPECT_EQ(ServiceUnit::text("/usr/libexec/corvane/corvane-tunnel"),
              "[Unit]\n"
              "Description=Corvane per-application traffic router\n"
              "After=network.target\n"
              "\n"
              "[Service]\n"
              "ExecStart=\"/usr/libexec/corvane/corvane-tunnel\"\n"
              "RuntimeDirectory=corvane\n"
              "StateDirectory=corvane\n"
              "Restart=on-failure\n"
              "CapabilityBoundingSet=CAP_NET_ADMIN CAP_SYS_PTRACE CAP_DAC_READ_SEARCH CAP_CHOWN\n"
              "\n"
              "[Install]\n"
              "WantedBy=multi-user.target\n");
}

TEST(ServiceUnit, ExecStartQuotesEveryPath) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/opt/corvane/corvane-tunnel", R"("/opt/corvane/corvane-tunnel")"},
        {"/opt/my apps/corvane-tunnel", R"("/opt/my apps/corvane-tunnel")"},
        {"/opt/100%/d", R"("/opt/100%%/d")"},
        {"/opt/$HOME/d", R"("/opt/$$HOME/d")"},
        {R"(/opt/a"b\c/d)", R"("/opt/a\"b\\c/d")"},
    };
    for (const auto& [path, word] : cases) EXPECT_EQ(ServiceUnit::commandWord(path), word) << path;
}

TEST(DetachedDaemon, ReadsItsPidFile) {
    using Record = DetachedDaemon::Record;
    const std::vector<std::pair<std::string, std::optional<Record>>> cases = {
        {"123 456\n", Record{123, 456}},
        {"123 456", Record{123, 456}},
        {"123", std::nullopt},
        {"0 456\n", std::nullopt},
        {"-5 456\n", std::nullopt},
        {"123 x\n", std::nullopt},
        {" 123 456\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, record] : cases) EXPECT_EQ(DetachedDaemon::parse(text), record) << text;
}

TEST(TrustedExecutable, AcceptsOnlyARootOwnedChainWithoutLinks) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"/usr/bin/true", true},
        {"usr/bin/true", false},
        {"/usr/bin", false},
        {"/usr/bin/no-such-program-here", false},
        {"/bin/true", false},  // /bin is a link to usr/bin on Debian 12
        {"/etc/passwd", false},  // not executable
    };
    for (const auto& [path, accepted] : cases) {
        if (accepted) {
            EXPECT_NO_THROW(TrustedExecutable::require(path)) << path;
        } else {
            try {
                TrustedExecutable::require(path);
                ADD_FAILURE() << path << " was accepted";
            } catch (const ServiceError& e) {
                EXPECT_EQ(e.code(), ServiceError::Code::untrustedDaemon) << path;
                EXPECT_TRUE(std::string(e.what()).starts_with("The daemon “" + path + "” is refused: ")) << e.what();
            }
        }
    }
}

}  // namespace
}  // namespace corvane::service
