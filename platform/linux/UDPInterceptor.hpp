#pragma once

#include "DiversionConstants.hpp"
#include "FlowOwnerLookup.hpp"
#include "LinuxUDPFlow.hpp"
#include "Nftables.hpp"
#include "UDPPassThrough.hpp"
#include "platform/DiversionBackend.hpp"

#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>

#include <chrono>
#include <map>
#include <memory>
#include <variant>

namespace corvane::platform {

// The TPROXY sockets (127.0.0.1:Q and [::1]:Q) that receive diverted UDP.
// Datagrams are sorted by their source, one flow per app socket. A new source
// is looked up and offered to the provider; a declined one is written into a
// timed set, so the kernel lets that socket's next datagrams through, and
// what was already captured is passed through. A periodic check ends flows
// whose app socket is gone.
class UDPInterceptor : public std::enable_shared_from_this<UDPInterceptor> {
public:
    struct Timing {
        std::chrono::steady_clock::duration socketCheck = std::chrono::seconds(15);
        unsigned declinedSeconds = 120;
        std::chrono::steady_clock::duration passThroughLinger = std::chrono::seconds(30);
    };
    static constexpr std::size_t kFlowLimit = 4096;
    static constexpr std::size_t kDatagramSize = 65536;

    UDPInterceptor(asio::any_io_executor executor, std::shared_ptr<FlowOwnerLookup> owners,
                   std::shared_ptr<Nftables> nftables, Timing timing);

    // Binds both sockets to one free port (or `port`); returns it. Throws std::system_error.
    std::uint16_t open(std::uint16_t port = 0);
    void start(DiversionBackend::FlowHandler newFlow, const DiversionConstants& constants);
    void close();

private:
    using Entry = std::variant<std::shared_ptr<LinuxUDPFlow>, std::shared_ptr<UDPPassThrough>>;

    void receive(std::size_t which);
    void drain(asio::ip::udp::socket& socket);
    void dispatch(Bytes payload, const SocketAddress& source, const SocketAddress& destination);
    void offer(std::shared_ptr<LinuxUDPFlow> flow, const SocketAddress& firstDestination);
    void decline(const std::shared_ptr<LinuxUDPFlow>& flow);
    void removeFlow(const SocketAddress& source, const LinuxUDPFlow* flow);
    void scheduleCheck();
    void checkSockets();

    asio::any_io_executor executor_;
    asio::strand<asio::any_io_executor> strand_;
    std::shared_ptr<FlowOwnerLookup> owners_;
    std::shared_ptr<Nftables> nftables_;
    const Timing timing_;
    DiversionConstants constants_;
    std::vector<std::unique_ptr<asio::ip::udp::socket>> sockets_;
    asio::steady_timer checkTimer_;
    DiversionBackend::FlowHandler newFlow_;
    std::map<std::string, Entry> flows_;  // by source "address|port"
    bool closed_ = false;
};

}  // namespace corvane::platform
