#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "CorvaneCore/Logging/ConnectionRecord.hpp"
#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "Shell.hpp"
#include "TopologyTest.hpp"

namespace corvane::e2e {

// Tests of the daemon in the shared topology: each saves a profile, starts a
// session with it and probes, then reads the records and the daemon's log.
class SessionTest : public TopologyTest {
protected:
    static platform::TransparentProxyConfiguration configuration(const Profile& profile,
                                                                 platform::StringMap secrets = {}) {
        platform::ConfigurationDictionary values;
        values["profile"] = platform::Bytes(ProfileCodec::encode(profile, false));
        values["proxySecrets"] = std::move(secrets);
        return {"Corvane", true, {"org.corvane.Corvane.tunnel", "Corvane", values}};
    }

    // Saves the configuration and (re)starts the session with it.
    void run(const Profile& profile, platform::StringMap secrets = {}) {
        Control& control = *topology()->control;
        control.stop();
        ASSERT_TRUE(control.save(configuration(profile, std::move(secrets))));
        ASSERT_TRUE(control.start());
        ASSERT_TRUE(waitFor([&] { return control.status() == platform::SessionStatus::connected; }));
    }

    // `holdMilliseconds`: how long a TCP probe waits before it half-closes.
    static nlohmann::json probe(const std::string& mode, const std::string& host, int port, int amount,
                                int holdMilliseconds = 0) {
        return topology()->probe(mode, host, port, amount, holdMilliseconds);
    }

    static std::optional<ConnectionRecord> waitForRecord(std::size_t index, ConnectionStatus status) {
        std::optional<ConnectionRecord> found;
        waitFor([&] {
            auto records = topology()->control->records();
            if (records.size() <= index || records[index].status != status) return false;
            found = records[index];
            return true;
        });
        return found;
    }

    static std::string readFile(const std::filesystem::path& path) { return readText(path); }
    static std::string daemonLog() { return readFile(topology()->folder / "daemon.log"); }

    static std::size_t recordCount() { return topology()->control->records().size(); }
};

}  // namespace corvane::e2e
