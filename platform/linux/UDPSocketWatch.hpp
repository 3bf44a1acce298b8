#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/posix/stream_descriptor.hpp>

#include <cstdint>
#include <functional>
#include <memory>

namespace corvane::platform {

// Hears from the kernel when a UDP socket of this network namespace is
// destroyed (the sock_diag multicast groups that `ss -E` listens to; they
// need CAP_NET_ADMIN), so that a flow can end within milliseconds of its
// app closing the socket. A notice names the socket by its cookie. When the
// kernel had to drop notices (the queue overflowed), `missed` is called and
// the caller must check its sockets another way.
class UDPSocketWatch : public std::enable_shared_from_this<UDPSocketWatch> {
public:
    using Destroyed = std::function<void(std::uint64_t cookie)>;
    using Missed = std::function<void()>;

    explicit UDPSocketWatch(asio::any_io_executor executor);

    // Subscribes; false when the kernel refuses.
    bool open();
    // The handlers run on the executor.
    void start(Destroyed destroyed, Missed missed);
    void close();

private:
    void wait();
    void drain();

    asio::posix::stream_descriptor descriptor_;
    Destroyed destroyed_;
    Missed missed_;
};

}  // namespace corvane::platform
