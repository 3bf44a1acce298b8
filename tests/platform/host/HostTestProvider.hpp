#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/TransparentProxyProvider.hpp"

namespace corvane::platform::hosttest {

// A provider for host tests: start installs one TCP rule (or fails when told to),
// every flow is taken and left alone (so only the host can close it), and messages
// are answered reversed; "drop" drops the handler unanswered, "hold" keeps it.
class HostTestProvider : public TransparentProxyProvider {
public:
    using TransparentProxyProvider::TransparentProxyProvider;

    void startProxy(StartHandler done) override {
        NetworkRule tcp;
        tcp.protocol = NetworkRule::Protocol::tcp;
        setTunnelNetworkSettings(TransparentProxyNetworkSettings{"127.0.0.1", {tcp}, {}},
                                 [done](std::optional<Failure> failure) { done(failure); });
    }
    void stopProxy(StopHandler done) override {
        std::lock_guard guard(lock);
        ++stops;
        done();
    }
    bool handleNewFlow(std::shared_ptr<AppProxyFlow>) override { return true; }
    void handleAppMessage(Bytes message, MessageHandler done) override {
        std::string text(message.begin(), message.end());
        if (text == "drop" || !done) return;
        if (text == "hold") {
            std::lock_guard guard(lock);
            held.push_back(done);
            return;
        }
        done(Bytes(message.rbegin(), message.rend()));
    }

    std::size_t heldCount() {
        std::lock_guard guard(lock);
        return held.size();
    }

    std::mutex lock;
    int stops = 0;
    std::vector<MessageHandler> held;
};

}  // namespace corvane::platform::hosttest
