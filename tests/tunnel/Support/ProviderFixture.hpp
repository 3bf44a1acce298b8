#pragma once

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include <asio/io_context.hpp>
#include <gtest/gtest.h>

#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "CorvaneCore/Proxy/ProxyClient.hpp"
#include "Support/LoopbackPair.hpp"
#include "Tunnel/TransparentProxyProvider.hpp"
#include "platform/testing/CaptureLogSink.hpp"
#include "platform/testing/EventLoop.hpp"
#include "platform/testing/FakeCodeSigning.hpp"
#include "platform/testing/FakeExecutablePath.hpp"
#include "platform/testing/FakeProviderHost.hpp"
#include "platform/testing/FakeTCPFlow.hpp"
#include "platform/testing/FakeUDPFlow.hpp"
#include "platform/testing/ManualClock.hpp"

namespace corvane::tunnel::testing {

inline platform::Bytes bytes(std::string_view text) { return platform::Bytes(text.begin(), text.end()); }

// A 32-byte audit token naming `pid`, run by user `uid` (word 1, the effective uid).
inline platform::Bytes auditToken(std::int32_t pid, std::uint32_t uid = 0) {
    platform::Bytes token(32, 0);
    std::memcpy(token.data() + 4, &uid, 4);
    std::memcpy(token.data() + 20, &pid, 4);
    return token;
}

// A provider on the in-process backend with a capture log, a manual clock and
// a temporary folder for the shared profile file.
class ProviderFixture : public ::testing::Test {
public:
    void SetUp() override {
        ProxyClient::connectTimeout = 1.0;
        folder = std::filesystem::temp_directory_path() /
                 ("corvane-tunnel-test-" + std::to_string(::getpid()) + "-" + std::to_string(++serial()));
        std::filesystem::create_directories(folder);
        provider = TransparentProxyProvider::make(
            host, {[this] { return std::optional(folder / "profile.json"); }, signing, paths, clock.clock()});
        host.attach(provider);
    }

    void TearDown() override {
        provider.reset();
        platform::testing::runUntilIdle(context);
        std::filesystem::remove_all(folder);
    }

    static int& serial() {
        static int value = 0;
        return value;
    }

    // Saves a configuration with `profile` as data and the secrets.
    void configure(const Profile& profile, platform::StringMap secrets = {}) {
        platform::ConfigurationDictionary values;
        values["profile"] = platform::Bytes(ProfileCodec::encode(profile, false));
        values["proxySecrets"] = std::move(secrets);
        host.setConfiguration(platform::TunnelProviderProtocol{"org.corvane.Corvane.tunnel", "Corvane", values});
    }

    std::optional<platform::Failure> start() {
        auto result = host.startProxy();
        platform::testing::runUntilIdle(context);
        return result.get();
    }

    void stop() {
        auto result = host.stopProxy();
        platform::testing::runUntilIdle(context);
        result.get();
    }

    bool deliver(const std::shared_ptr<platform::AppProxyFlow>& flow) {
        auto result = host.deliverFlow(flow);
        platform::testing::runUntilIdle(context);
        return result.get();
    }

    std::shared_ptr<platform::testing::FakeTCPFlow> tcpFlow(std::string hostText, std::string port,
                                                            platform::FlowMetaData metaData = {}) {
        return std::make_shared<platform::testing::FakeTCPFlow>(
            context.get_executor(), platform::HostEndpoint{std::move(hostText), std::move(port)}, std::move(metaData));
    }

    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
        return testing::runUntil(context, done, limit);
    }

    std::vector<std::string> lines() const { return log->lines(); }
    std::vector<ConnectionRecord> records() const { return provider->recordsWithLiveCounters(); }

    asio::io_context context;
    platform::testing::FakeProviderHost host{context.get_executor()};
    platform::testing::FakeCodeSigning signing;
    platform::testing::FakeExecutablePath paths;
    platform::testing::ManualClock clock{Date{756000000}};
    platform::testing::ScopedLogCapture log;
    std::filesystem::path folder;
    std::shared_ptr<TransparentProxyProvider> provider;
};

}  // namespace corvane::tunnel::testing
