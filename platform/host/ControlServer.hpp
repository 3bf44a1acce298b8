#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/local/stream_protocol.hpp>

#include "platform/ExtensionVersion.hpp"
#include "platform/Logger.hpp"
#include "platform/host/ConfigurationStore.hpp"
#include "platform/host/PeerPolicy.hpp"
#include "platform/host/Session.hpp"

namespace corvane::platform {

// The daemon's control socket: a Unix stream socket speaking ControlFrames. Each
// peer is checked at accept (root or group "corvane", and a free slot for its user:
// see ControlPeerSlots); a refused peer is closed without a reply and logged. A
// malformed or oversized frame closes that peer only.
class ControlServer {
public:
    // The gid of the group "corvane", none when it does not exist.
    using GroupLookup = std::function<std::optional<gid_t>()>;
    // Who is at the other end of a connected socket.
    struct PeerIdentity {
        PeerCredentials credentials;
        std::vector<gid_t> supplementaryGroups;
    };
    // The identity of a socket's peer, none when the kernel does not tell.
    using PeerLookup = std::function<std::optional<PeerIdentity>(int socket)>;

    ControlServer(asio::any_io_executor executor, Session& session, ConfigurationStore& store,
                  std::filesystem::path socketPath, ExtensionVersion version,
                  GroupLookup corvaneGroup = systemCorvaneGroup, PeerLookup peerIdentity = socketPeerIdentity);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Creates the socket (mode 0660, group "corvane"; 0600 without the group) and
    // starts accepting. Throws std::system_error.
    void open();
    void close();

    static std::optional<gid_t> systemCorvaneGroup();
    // From the kernel: SO_PEERCRED and SO_PEERGROUPS.
    static std::optional<PeerIdentity> socketPeerIdentity(int socket);

    class Peer;

private:
    struct Shared;

    void accept();
    void admit(asio::local::stream_protocol::socket socket);

    std::shared_ptr<Shared> shared_;
    asio::local::stream_protocol::acceptor acceptor_;
    std::filesystem::path socketPath_;
};

}  // namespace corvane::platform
