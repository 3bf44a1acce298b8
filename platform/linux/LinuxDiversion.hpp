#pragma once

#include "DiversionConstants.hpp"
#include "FlowOwnerLookup.hpp"
#include "Nftables.hpp"
#include "PolicyRouting.hpp"
#include "TCPInterceptor.hpp"
#include "UDPInterceptor.hpp"
#include "platform/DiversionBackend.hpp"

#include <asio/any_io_executor.hpp>

#include <memory>
#include <mutex>
#include <vector>

namespace corvane::platform {

// The real diversion: network settings become the nftables table
// `inet corvane` (owned by this process, so it vanishes when the daemon dies)
// plus the policy routing of diverted packets; TPROXY hands TCP and UDP to
// the interceptors, which offer each flow to the provider and pass
// declined ones through.
class LinuxDiversion final : public DiversionBackend {
public:
    struct Options {
        DiversionConstants constants;
        UDPInterceptor::Timing timing;
        std::size_t udpFlowLimit = UDPInterceptor::kFlowLimit;
        bool udpSocketWatch = true;  // off: UDP flows end by the periodic check alone
        // What the owner lookup finds out about processes, shared with the
        // code-signing steps and the path lookup that answer from it.
        std::shared_ptr<ProcessIdentityCache> identities = std::make_shared<ProcessIdentityCache>();
    };

    // TCP is accepted on every loop; UDP, nftables and the completions run on the first.
    explicit LinuxDiversion(std::vector<asio::any_io_executor> loops);
    LinuxDiversion(std::vector<asio::any_io_executor> loops, Options options);
    ~LinuxDiversion() override;

    // Opens the listeners (throws std::system_error, e.g. without CAP_NET_ADMIN).
    void start(FlowHandler newFlow, LossHandler lost) override;
    void applySettings(std::optional<TransparentProxyNetworkSettings> settings,
                       std::function<void(std::optional<Failure>)> completionHandler) override;
    Error prepareOutboundSocket(int nativeSocket) override;

    // The ports and marks in use (the ports are known after start).
    DiversionConstants constants() const;

private:
    std::optional<Failure> install(const TransparentProxyNetworkSettings& settings);
    void remove();

    asio::any_io_executor executor_;
    Options options_;
    std::shared_ptr<Nftables> nftables_;
    std::shared_ptr<FlowOwnerLookup> owners_;
    std::shared_ptr<TCPInterceptor> tcp_;
    std::shared_ptr<UDPInterceptor> udp_;
    PolicyRouting routing_;
    mutable std::mutex lock_;
    bool installed_ = false;
};

}  // namespace corvane::platform
