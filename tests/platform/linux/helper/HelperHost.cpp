#include "HelperModes.hpp"

#include "platform/AppProxyTCPFlow.hpp"
#include "platform/AppProxyUDPFlow.hpp"
#include "platform/Error.hpp"
#include "platform/linux/AuditToken.hpp"
#include "platform/linux/LinuxDiversion.hpp"
#include "platform/linux/LinuxExecutablePath.hpp"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/read.hpp>
#include <asio/signal_set.hpp>
#include <asio/strand.hpp>
#include <asio/write.hpp>
#include <nlohmann/json.hpp>

#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace corvane::platform::testing {

namespace {

std::mutex outputLock;

void print(const nlohmann::json& line) {
    std::lock_guard guard(outputLock);
    std::printf("%s\n", line.dump().c_str());
    std::fflush(stdout);
}

nlohmann::json describe(const AppProxyFlow& flow, const char* kind, const LinuxExecutablePath& paths) {
    nlohmann::json line = {{"kind", kind}, {"identifier", flow.metaData().sourceAppSigningIdentifier}};
    const auto& token = flow.metaData().sourceAppAuditToken;
    if (token && token->size() == AuditToken::kSize) {
        const auto pid = AuditToken::word(std::span<const std::uint8_t, 32>(token->data(), 32), AuditToken::Word::pid);
        line["pid"] = pid;
        char path[PATH_MAX];
        const int length = paths.pidPath(static_cast<int>(pid), path, sizeof(path));
        if (length > 0 && length < PATH_MAX) line["path"] = std::string(path, static_cast<std::size_t>(length));
    }
    return line;
}

// Relays a flow to the local echo, both ways, ending each way at its end of stream.
struct Relay : std::enable_shared_from_this<Relay> {
    Relay(std::shared_ptr<AppProxyTCPFlow> f, asio::any_io_executor executor) : flow(std::move(f)), strand(executor), upstream(strand) {}

    void start(asio::ip::tcp::endpoint echo, LinuxDiversion& diversion) {
        upstream.open(echo.protocol());
        diversion.prepareOutboundSocket(upstream.native_handle());
        flow->open([self = shared_from_this(), echo](Error error) {
            if (error) return;
            asio::post(self->strand, [self, echo] {
                self->upstream.async_connect(echo, [self](asio::error_code connectError) {
                    if (connectError) return self->finish(connectError);
                    self->pumpOut();
                    self->pumpIn();
                });
            });
        });
    }
    void pumpOut() {
        flow->readData([self = shared_from_this()](std::optional<Bytes> data, Error error) {
            asio::post(self->strand, [self, data = std::move(data), error]() mutable {
                if (error || !data || data->empty()) {
                    asio::error_code ignored;
                    self->upstream.shutdown(asio::socket_base::shutdown_send, ignored);
                    return;
                }
                auto shared = std::make_shared<Bytes>(std::move(*data));
                asio::async_write(self->upstream, asio::buffer(*shared), [self, shared](asio::error_code e, std::size_t) {
                    if (!e) self->pumpOut();
                });
            });
        });
    }
    void pumpIn() {
        upstream.async_read_some(asio::buffer(buffer), [self = shared_from_this()](asio::error_code error, std::size_t n) {
            if (error) return self->finish(error == asio::error::eof ? Error() : error);
            self->flow->write(Bytes(self->buffer.begin(), self->buffer.begin() + n), [self](Error e) {
                if (!e) asio::post(self->strand, [self] { self->pumpIn(); });
            });
        });
    }
    void finish(Error error) {
        flow->closeRead(error);
        flow->closeWrite(error);
    }

    std::shared_ptr<AppProxyTCPFlow> flow;
    asio::strand<asio::any_io_executor> strand;
    asio::ip::tcp::socket upstream;
    std::array<std::uint8_t, 65536> buffer{};
};

// Answers every datagram with "relayed:" + payload; at the end reports how many
// datagrams the flow delivered and the first of them.
void answerUDP(std::shared_ptr<AppProxyUDPFlow> flow, std::size_t count = 0, std::string first = "") {
    flow->readDatagrams([flow, count, first](std::optional<std::vector<Bytes>> datagrams,
                                             std::optional<std::vector<Endpoint>> endpoints, Error error) {
        if (error || !datagrams || datagrams->empty() || !endpoints) {
            print({{"kind", "udp-end"},
                   {"identifier", flow->metaData().sourceAppSigningIdentifier},
                   {"datagrams", count},
                   {"first", first}});
            flow->closeRead(Error());
            flow->closeWrite(Error());
            return;
        }
        std::vector<Bytes> replies;
        for (const auto& datagram : *datagrams) {
            Bytes reply = {'r', 'e', 'l', 'a', 'y', 'e', 'd', ':'};
            reply.insert(reply.end(), datagram.begin(), datagram.end());
            replies.push_back(std::move(reply));
        }
        const auto text = count == 0 ? std::string(datagrams->front().begin(), datagrams->front().end()) : first;
        flow->writeDatagrams(std::move(replies), *endpoints, [](Error) {});
        answerUDP(flow, count + datagrams->size(), text);
    });
}

TransparentProxyNetworkSettings providerSettings() {
    using Protocol = NetworkRule::Protocol;
    TransparentProxyNetworkSettings settings;
    settings.tunnelRemoteAddress = "127.0.0.1";
    for (const auto protocol : {Protocol::tcp, Protocol::udp}) {
        NetworkRule all;
        all.protocol = protocol;
        settings.includedNetworkRules.push_back(all);
    }
    for (const auto& [address, prefix] : {std::pair{"224.0.0.0", 4}, {"255.255.255.255", 32}, {"ff00::", 8}}) {
        for (const auto protocol : {Protocol::tcp, Protocol::udp}) {
            NetworkRule excluded;
            excluded.protocol = protocol;
            excluded.remoteNetwork = HostEndpoint{address, "0"};
            excluded.remotePrefix = prefix;
            settings.excludedNetworkRules.push_back(excluded);
        }
    }
    return settings;
}


void serveLocalEcho(std::shared_ptr<asio::ip::tcp::acceptor> acceptor) {
    acceptor->async_accept([acceptor](asio::error_code error, asio::ip::tcp::socket socket) {
        if (error) return;
        std::thread([socket = std::move(socket)]() mutable {
            asio::error_code e;
            asio::write(socket, asio::buffer(std::string("local\n")), e);
            std::array<char, 65536> buffer;
            while (true) {
                const auto n = socket.read_some(asio::buffer(buffer), e);
                if (e) break;
                asio::write(socket, asio::buffer(buffer.data(), n), e);
            }
        }).detach();
        serveLocalEcho(acceptor);
    });
}

}  // namespace

int host(int argc, char** argv) {
    LinuxDiversion::Options options;
    for (int i = 0; i < argc; ++i) {
        const bool valued = i + 1 < argc;
        if (valued && std::strcmp(argv[i], "--check-ms") == 0)
            options.timing.socketCheck = std::chrono::milliseconds(std::atoi(argv[i + 1]));
        if (valued && std::strcmp(argv[i], "--udp-flow-limit") == 0)
            options.udpFlowLimit = static_cast<std::size_t>(std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--no-socket-watch") == 0) options.udpSocketWatch = false;
    }

    asio::io_context io;
    auto work = asio::make_work_guard(io);
    auto echo = std::make_shared<asio::ip::tcp::acceptor>(io, asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    serveLocalEcho(echo);
    const auto echoEndpoint = echo->local_endpoint();

    const LinuxExecutablePath paths(options.identities);
    auto diversion = std::make_unique<LinuxDiversion>(std::vector<asio::any_io_executor>{io.get_executor()}, options);
    auto& backend = *diversion;
    diversion->start(
        [&backend, &io, echoEndpoint, &paths](std::shared_ptr<AppProxyFlow> flow) {
            if (auto tcp = std::dynamic_pointer_cast<AppProxyTCPFlow>(flow)) {
                const auto remote = tcp->remoteEndpoint();
                const auto* endpoint = hostEndpoint(remote);
                auto line = describe(*tcp, "tcp", paths);
                line["host"] = endpoint->hostname;
                line["port"] = endpoint->port;
                print(line);
                if (endpoint->port == "9") {
                    tcp->open([tcp](Error) {
                        tcp->closeRead(connectionRefused());
                        tcp->closeWrite(connectionRefused());
                    });
                    return true;
                }
                if (endpoint->port == "8") {
                    std::make_shared<Relay>(tcp, io.get_executor())->start(echoEndpoint, backend);
                    return true;
                }
                return false;
            }
            auto udp = std::dynamic_pointer_cast<AppProxyUDPFlow>(flow);
            auto line = describe(*udp, "udp", paths);
            line["firstPort"] = udp->firstDestinationPort().value_or(0);
            print(line);
            if (udp->metaData().sourceAppSigningIdentifier == "cvd-probe-direct") return false;
            udp->open([udp](Error) { answerUDP(udp); });
            return true;
        },
        [](const Failure&) {});
    const auto tcpPort = diversion->constants().tcpPort;
    diversion->applySettings(providerSettings(), [tcpPort](std::optional<Failure> failure) {
        print(failure ? nlohmann::json{{"kind", "failed"}, {"description", failure->description}}
                      : nlohmann::json{{"kind", "ready"}, {"tcpPort", tcpPort}});
    });

    // SIGUSR1 removes the settings, as a session stop does.
    asio::signal_set removal(io, SIGUSR1);
    removal.async_wait([&](asio::error_code error, int) {
        if (error) return;
        diversion->applySettings(std::nullopt, [](std::optional<Failure> failure) {
            print({{"kind", failure ? "failed" : "removed"}});
        });
    });
    asio::signal_set signals(io, SIGTERM, SIGINT);
    signals.async_wait([&](asio::error_code, int) {
        removal.cancel();
        diversion.reset();
        work.reset();
        echo->close();
        io.stop();
    });
    std::vector<std::thread> pool;
    for (int i = 0; i < 4; ++i) pool.emplace_back([&io] { io.run(); });
    for (auto& thread : pool) thread.join();
    return 0;
}

}  // namespace corvane::platform::testing
