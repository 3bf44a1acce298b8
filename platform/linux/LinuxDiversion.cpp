#include "LinuxDiversion.hpp"

#include "NftablesRuleset.hpp"
#include "SocketOptions.hpp"

#include <asio/post.hpp>

namespace corvane::platform {

LinuxDiversion::LinuxDiversion(std::vector<asio::any_io_executor> loops)
    : LinuxDiversion(std::move(loops), Options{}) {}

LinuxDiversion::LinuxDiversion(std::vector<asio::any_io_executor> loops, Options options)
    : executor_(loops.at(0)),
      options_(std::move(options)),
      nftables_(std::make_shared<Nftables>()),
      owners_(std::make_shared<FlowOwnerLookup>(options_.identities)),
      tcp_(std::make_shared<TCPInterceptor>(std::move(loops), owners_, options_.constants.bypassMark)),
      udp_(std::make_shared<UDPInterceptor>(executor_, owners_, nftables_, options_.timing, options_.udpFlowLimit,
                                            options_.udpSocketWatch)),
      routing_(options_.constants) {}

LinuxDiversion::~LinuxDiversion() {
    std::lock_guard guard(lock_);
    remove();
    tcp_->close();
    udp_->close();
}

void LinuxDiversion::start(FlowHandler newFlow, LossHandler) {
    // Nothing makes the diversion stop on its own: the table belongs to this
    // process's netlink socket, which no one else may change, and lives as
    // long as the process.
    std::lock_guard guard(lock_);
    // A daemon killed earlier cannot have removed its routing rules.
    routing_.remove();
    options_.constants.tcpPort = tcp_->open(options_.constants.tcpPort);
    options_.constants.udpPort = udp_->open(options_.constants.udpPort);
    tcp_->start(newFlow);
    udp_->start(newFlow, options_.constants);
}

std::optional<Failure> LinuxDiversion::install(const TransparentProxyNetworkSettings& settings) {
    // Without listeners the rules would divert traffic into nothing.
    if (options_.constants.tcpPort == 0 || options_.constants.udpPort == 0)
        return Failure{posixError(ENOTCONN), "The diversion has not been started"};
    std::string table;
    try {
        table = NftablesRuleset::compile(settings, options_.constants);
    } catch (const NftablesRuleset::Error& error) {
        return Failure{posixError(EINVAL), error.what()};
    }
    if (auto error = nftables_->run(NftablesRuleset::replacement(table, options_.constants)); !error.empty())
        return Failure{posixError(EIO), error};
    if (!installed_) {
        if (auto error = routing_.install(); !error.empty()) {
            nftables_->run(NftablesRuleset::removal(options_.constants));
            return Failure{posixError(EIO), error};
        }
    }
    installed_ = true;
    return std::nullopt;
}

void LinuxDiversion::remove() {
    if (!installed_) return;
    nftables_->run(NftablesRuleset::removal(options_.constants));
    routing_.remove();
    installed_ = false;
}

void LinuxDiversion::applySettings(std::optional<TransparentProxyNetworkSettings> settings,
                                   std::function<void(std::optional<Failure>)> completionHandler) {
    std::optional<Failure> failure;
    {
        std::lock_guard guard(lock_);
        if (settings) failure = install(*settings);
        else remove();
    }
    asio::post(executor_, [handler = std::move(completionHandler), failure] { handler(failure); });
}

Error LinuxDiversion::prepareOutboundSocket(int nativeSocket) {
    return sockopt::setMark(nativeSocket, options_.constants.bypassMark);
}

DiversionConstants LinuxDiversion::constants() const {
    std::lock_guard guard(lock_);
    return options_.constants;
}

}  // namespace corvane::platform
