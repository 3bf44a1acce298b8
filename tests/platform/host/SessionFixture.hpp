#pragma once

#include <unistd.h>

#include <filesystem>
#include <memory>

#include <asio/io_context.hpp>
#include <gtest/gtest.h>

#include "HostTestProvider.hpp"
#include "platform/host/ConfigurationStore.hpp"
#include "platform/host/Session.hpp"
#include "platform/testing/CaptureLogSink.hpp"
#include "platform/testing/FakeDiversionBackend.hpp"

namespace corvane::platform::hosttest {

// A session on a fake diversion backend with a HostTestProvider attached, its
// state in a temporary folder that goes when the test ends, and the log captured.
class SessionFixture : public ::testing::Test {
protected:
    SessionFixture() {
        char pattern[] = "/tmp/corvane-session-XXXXXX";
        directory = ::mkdtemp(pattern);
        store = std::make_unique<ConfigurationStore>(directory / "state");
        session = std::make_unique<Session>(context.get_executor(), *store, diversion);
        provider = std::make_shared<HostTestProvider>(*session);
        session->attach(provider);
    }
    ~SessionFixture() override { std::filesystem::remove_all(directory); }

    testing::ScopedLogCapture capture;
    asio::io_context context;
    std::filesystem::path directory;
    std::unique_ptr<ConfigurationStore> store;
    testing::FakeDiversionBackend diversion{context.get_executor()};
    std::unique_ptr<Session> session;
    std::shared_ptr<HostTestProvider> provider;
};

}  // namespace corvane::platform::hosttest
