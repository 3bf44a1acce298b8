#pragma once

#include "AddressKey.hpp"
#include "DeclinedSetWriter.hpp"
#include "DiversionConstants.hpp"
#include "FlowOwnerLookup.hpp"
#include "LinuxUDPFlow.hpp"
#include "Nftables.hpp"
#include "ReplySockets.hpp"
#include "UDPPassThrough.hpp"
#include "UDPSocketWatch.hpp"
#include "platform/DiversionBackend.hpp"

#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>

#include <chrono>
#include <memory>
#include <unordered_map>
#include <variant>

namespace corvane::platform {

// The TPROXY sockets (127.0.0.1:Q and [::1]:Q) that receive diverted UDP.
// Datagrams are sorted by their source, one flow per app socket. A new source
// is looked up and offered to the provider; a declined one is written into a
// timed set, so the kernel lets that socket's next datagrams through, and
// what was already captured is passed through. A flow ends when the kernel
// reports its app socket destroyed; a periodic check of the sockets covers
// what such reports miss (or all, where the kernel does not send them).
class UDPInterceptor : public std::enable_shared_from_this<UDPInterceptor> {
public:
    struct Timing {
        std::chrono::steady_clock::duration socketCheck = std::chrono::seconds(15);
        unsigned declinedSeconds = 120;
        std::chrono::steady_clock::duration passThroughLinger = std::chrono::seconds(30);
    };
    static constexpr std::size_t kFlowLimit = 4096;

    // Without `watchSockets` only the periodic check ends flows.
    UDPInterceptor(asio::any_io_executor executor, std::shared_ptr<FlowOwnerLookup> owners,
                   std::shared_ptr<Nftables> nftables, Timing timing, std::size_t flowLimit = kFlowLimit,
                   bool watchSockets = true);

    // Binds both sockets to one free port (or `port`); returns it. Throws std::system_error.
    std::uint16_t open(std::uint16_t port = 0);
    void start(DiversionBackend::FlowHandler newFlow, const DiversionConstants& constants);
    void close();

private:
    // What a source's datagrams go to, and the cookie of the app's socket
    // (0 when the look-up did not find it).
    struct Entry {
        std::variant<std::shared_ptr<LinuxUDPFlow>, std::shared_ptr<UDPPassThrough>> target;
        std::uint64_t cookie = 0;
    };
    using Flows = std::unordered_map<AddressKey, Entry, AddressKeyHash>;

    void receive(std::size_t which);
    void drain(asio::ip::udp::socket& socket);
    void forgetGoneSources();
    void dispatch(Bytes payload, const SocketAddress& source, const SocketAddress& destination);
    void startFlow(Bytes payload, const SocketAddress& source, const SocketAddress& destination);
    void offer(std::shared_ptr<LinuxUDPFlow> flow, bool isDaemon);
    void decline(const std::shared_ptr<LinuxUDPFlow>& flow);
    std::shared_ptr<UDPPassThrough> passThrough(const SocketAddress& source,
                                                std::vector<LinuxUDPFlow::Datagram> datagrams);
    void removeFlow(const SocketAddress& source, const LinuxUDPFlow* flow);
    void socketDestroyed(std::uint64_t cookie);
    Flows::iterator erase(Flows::iterator entry);
    void end(Entry& entry);
    void scheduleCheck(std::chrono::steady_clock::duration after);
    void checkSockets();

    asio::any_io_executor executor_;
    asio::strand<asio::any_io_executor> strand_;
    std::shared_ptr<FlowOwnerLookup> owners_;
    std::shared_ptr<Nftables> nftables_;
    const Timing timing_;
    const std::size_t flowLimit_;
    const bool watchSockets_;
    DiversionConstants constants_;
    std::vector<std::unique_ptr<asio::ip::udp::socket>> sockets_;
    asio::steady_timer checkTimer_;
    std::shared_ptr<UDPSocketWatch> watch_;
    bool watching_ = false;
    std::shared_ptr<ReplySockets> replies_;
    std::unique_ptr<DeclinedSetWriter> declined_;
    DiversionBackend::FlowHandler newFlow_;
    Flows flows_;
    std::unordered_multimap<std::uint64_t, AddressKey> cookies_;  // the flows' sockets, for destruction reports
    std::vector<AddressKey> goneSources_;                          // found gone during this drain
    bool closed_ = false;
};

}  // namespace corvane::platform
