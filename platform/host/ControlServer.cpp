#include "platform/host/ControlServer.hpp"

#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <deque>
#include <vector>

#include <asio/bind_executor.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>
#include <asio/write.hpp>

#include "CorvaneCore/Support/JsonDecodeError.hpp"
#include "CorvaneCore/Support/JsonReader.hpp"
#include "platform/host/ControlFrame.hpp"
#include "platform/host/PeerPolicy.hpp"

namespace corvane::platform {

namespace {

// A peer that stops reading may hold at most this much unsent output.
constexpr std::size_t kMaxQueuedOutput = 4 * ControlFrame::kMaxLength;
// Provider messages one peer may have waiting for their answer.
constexpr std::size_t kMaxMessagesInFlight = 256;
// Connected peers at once (each may buffer up to one maximal frame).
constexpr int kMaxPeers = 32;

Bytes textBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::vector<gid_t> peerGroups(int fd) {
    std::vector<gid_t> groups(64);
    socklen_t size = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &size) != 0) {
        if (errno != ERANGE) return {};
        groups.resize(size / sizeof(gid_t));
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &size) != 0) return {};
    }
    groups.resize(size / sizeof(gid_t));
    return groups;
}

}  // namespace

struct ControlServer::Shared {
    Shared(Session& session, ConfigurationStore& store, ExtensionVersion version, GroupLookup corvaneGroup)
        : session(session), store(store), version(std::move(version)), corvaneGroup(std::move(corvaneGroup)) {}

    Session& session;
    ConfigurationStore& store;
    ExtensionVersion version;
    GroupLookup corvaneGroup;
    Logger log{"corvane-tunnel", "control"};
    std::atomic<int> peers{0};
};

// One connected, admitted client. Everything touching its socket runs on its strand.
class ControlServer::Peer : public std::enable_shared_from_this<Peer> {
public:
    Peer(std::shared_ptr<Shared> shared, asio::local::stream_protocol::socket socket)
        : shared_(std::move(shared)), socket_(std::move(socket)), strand_(socket_.get_executor()) {
        ++shared_->peers;
    }
    ~Peer() { --shared_->peers; }

    void start() { read(); }

private:
    void read() {
        socket_.async_read_some(asio::buffer(buffer_), asio::bind_executor(strand_,
            [self = shared_from_this()](Error error, std::size_t size) {
                if (error) return self->shutdown();
                try {
                    self->decoder_.feed(self->buffer_.data(), size);
                    while (auto frame = self->decoder_.next()) self->handle(std::move(*frame));
                } catch (const ControlProtocolError& e) {
                    self->shared_->log.error("Closing a control connection: %{public}s", {LogArg::publicText(e.what())});
                    return self->shutdown();
                }
                self->read();
            }));
    }

    void handle(ControlFrame frame) {
        const std::uint32_t id = frame.requestId;
        switch (frame.kind) {
        case ControlKind::hello: return hello(id);
        case ControlKind::loadConfigurations: return load(id);
        case ControlKind::saveConfiguration: return save(id, frame.payload);
        case ControlKind::start: return shared_->session.start(replier(id, true));
        case ControlKind::stop: return shared_->session.stop(replier(id, true));
        case ControlKind::message: return message(id, std::move(frame.payload));
        case ControlKind::subscribe: return subscribe(id);
        case ControlKind::reply:
        case ControlKind::status: throw ControlProtocolError("Unexpected frame kind from a client");
        }
    }

    std::function<void()> replier(std::uint32_t id, bool flag) {
        return [weak = weak_from_this(), id, flag] {
            auto self = weak.lock();
            if (!self) return;
            asio::post(self->strand_, [self, id, flag] { self->send(ControlFrame::reply(id, flag)); });
        };
    }

    void hello(std::uint32_t id) {
        nlohmann::json info{{"shortVersion", shared_->version.shortVersion},
                            {"build", shared_->version.build},
                            {"status", static_cast<int>(shared_->session.status())}};
        send(ControlFrame::reply(id, true, textBytes(info.dump())));
    }

    void load(std::uint32_t id) {
        try {
            nlohmann::json list = nlohmann::json::array();
            for (const auto& configuration : shared_->store.load()) list.push_back(toJson(configuration));
            send(ControlFrame::reply(id, true, textBytes(list.dump())));
        } catch (const ConfigurationStoreError& e) {
            send(ControlFrame::reply(id, false, textBytes(e.what())));
        }
    }

    void save(std::uint32_t id, const Bytes& payload) {
        try {
            auto text = std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size());
            shared_->store.save(TransparentProxyConfiguration::fromJson(json::parse(text)));
            send(ControlFrame::reply(id, true));
        } catch (const JsonDecodeError& e) {
            send(ControlFrame::reply(id, false, textBytes(std::string("The configuration is not valid: ") + e.what())));
        } catch (const ConfigurationStoreError& e) {
            send(ControlFrame::reply(id, false, textBytes(e.what())));
        }
    }

    void message(std::uint32_t id, Bytes payload) {
        if (messagesInFlight_ >= kMaxMessagesInFlight) return send(ControlFrame::reply(id, false));
        ++messagesInFlight_;
        shared_->session.sendMessage(std::move(payload), [weak = weak_from_this(), id](std::optional<Bytes> data) {
            auto self = weak.lock();
            if (!self) return;
            asio::post(self->strand_, [self, id, data = std::move(data)] {
                --self->messagesInFlight_;
                self->send(data ? ControlFrame::reply(id, true, *data) : ControlFrame::reply(id, false));
            });
        });
    }

    void subscribe(std::uint32_t id) {
        if (observer_ == 0) {
            observer_ = shared_->session.addObserver([weak = weak_from_this()](SessionStatus status) {
                auto self = weak.lock();
                if (!self) return;
                asio::post(self->strand_, [self, status] {
                    self->send(ControlFrame{ControlKind::status, 0, {static_cast<std::uint8_t>(status)}});
                });
            });
        }
        send(ControlFrame::reply(id, true, {static_cast<std::uint8_t>(shared_->session.status())}));
    }

    // On the strand.
    void send(const ControlFrame& frame) {
        if (closed_) return;
        Bytes bytes;
        try {
            bytes = frame.encode();
        } catch (const ControlProtocolError&) {
            bytes = ControlFrame::reply(frame.requestId, false).encode();
        }
        queuedBytes_ += bytes.size();
        if (queuedBytes_ > kMaxQueuedOutput) return shutdown();
        output_.push_back(std::move(bytes));
        if (output_.size() == 1) writeNext();
    }

    void writeNext() {
        asio::async_write(socket_, asio::buffer(output_.front()), asio::bind_executor(strand_,
            [self = shared_from_this()](Error error, std::size_t) {
                // A peer shut down meanwhile has dropped its queue.
                if (error || self->closed_) return self->shutdown();
                self->queuedBytes_ -= self->output_.front().size();
                self->output_.pop_front();
                if (!self->output_.empty()) self->writeNext();
            }));
    }

    void shutdown() {
        if (closed_) return;
        closed_ = true;
        if (observer_ != 0) shared_->session.removeObserver(observer_);
        Error ignored;
        socket_.close(ignored);
        output_.clear();
    }

    std::shared_ptr<Shared> shared_;
    asio::local::stream_protocol::socket socket_;
    asio::strand<asio::any_io_executor> strand_;
    std::array<std::uint8_t, 65536> buffer_{};
    ControlFrameDecoder decoder_;
    std::deque<Bytes> output_;
    std::size_t queuedBytes_ = 0;
    std::size_t messagesInFlight_ = 0;
    int observer_ = 0;
    bool closed_ = false;
};

ControlServer::ControlServer(asio::any_io_executor executor, Session& session, ConfigurationStore& store,
                             std::filesystem::path socketPath, ExtensionVersion version, GroupLookup corvaneGroup)
    : shared_(std::make_shared<Shared>(session, store, std::move(version), std::move(corvaneGroup))),
      acceptor_(executor),
      socketPath_(std::move(socketPath)) {}

ControlServer::~ControlServer() { close(); }

std::optional<gid_t> ControlServer::systemCorvaneGroup() {
    std::array<char, 4096> buffer{};
    group entry{};
    group* found = nullptr;
    if (getgrnam_r("corvane", &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    return found->gr_gid;
}

void ControlServer::open() {
    std::error_code ignored;
    std::filesystem::create_directories(socketPath_.parent_path(), ignored);
    ::unlink(socketPath_.c_str());
    const auto group = shared_->corvaneGroup();
    // Created without any access for others, then widened to the group.
    const mode_t previous = ::umask(0177);
    acceptor_.open();
    Error error;
    acceptor_.bind(asio::local::stream_protocol::endpoint(socketPath_.string()), error);
    ::umask(previous);
    if (error) throw std::system_error(error, "Could not create the control socket");
    if (group && ::chown(socketPath_.c_str(), 0, *group) == 0) ::chmod(socketPath_.c_str(), 0660);
    acceptor_.listen();
    accept();
}

void ControlServer::close() {
    if (!acceptor_.is_open()) return;
    Error ignored;
    acceptor_.close(ignored);
    ::unlink(socketPath_.c_str());
}

void ControlServer::accept() {
    acceptor_.async_accept([this](Error error, asio::local::stream_protocol::socket socket) {
        if (error == asio::error::operation_aborted || !acceptor_.is_open()) return;
        if (!error) admit(std::move(socket));
        accept();
    });
}

void ControlServer::admit(asio::local::stream_protocol::socket socket) {
    const int fd = socket.native_handle();
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return;
    const PeerCredentials peer{credentials.pid, credentials.uid, credentials.gid};
    const auto groups = peerGroups(fd);
    if (!isPeerAllowed(peer, groups, shared_->corvaneGroup())) {
        shared_->log.error("Refused a control connection from uid %ld (pid %ld): not root and not in the group “corvane”",
                           {LogArg::number(static_cast<long>(peer.uid)), LogArg::number(static_cast<long>(peer.pid))});
        return;  // the socket closes here, without a reply
    }
    if (shared_->peers >= kMaxPeers) {
        shared_->log.error("Refused a control connection from uid %ld (pid %ld): too many connections",
                           {LogArg::number(static_cast<long>(peer.uid)), LogArg::number(static_cast<long>(peer.pid))});
        return;
    }
    std::make_shared<Peer>(shared_, std::move(socket))->start();
}

}  // namespace corvane::platform
