#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include <asio/ip/tcp.hpp>

#include "platform/Error.hpp"
#include "platform/Pipe.hpp"

namespace corvane::platform {

// Moves one direction of a TCP connection from one kernel socket to another with
// splice(2), so the bytes never enter user space. A pipe is borrowed only while
// bytes are on their way, so an idle pump holds no buffer at all.
class SplicePump : public std::enable_shared_from_this<SplicePump> {
public:
    // Told of every chunk read from the source, before it is written on (may be empty).
    using Moved = std::function<void(std::size_t length)>;
    // Told once: no error when the source reached its end and everything read from
    // it was written; else the error of the read or the write.
    using Ended = std::function<void(Error error)>;

    // Starts moving bytes from `from` to `to` at once. Both sockets belong to one
    // event loop, whose one thread runs the pump's handlers. `owner` keeps both
    // sockets alive while the pump runs; the pump lets go of it when it ends.
    // Closing either socket ends the pump with operation_aborted.
    static void start(asio::ip::tcp::socket& from, asio::ip::tcp::socket& to, std::shared_ptr<const void> owner,
                      Moved moved, Ended ended);

    SplicePump(asio::ip::tcp::socket& from, asio::ip::tcp::socket& to, std::shared_ptr<const void> owner, Moved moved,
               Ended ended);

private:
    void awaitSource();
    void fill(int budget);
    void drain(int budget);
    void awaitDestination(int budget);
    void end(Error error);

    asio::ip::tcp::socket& from_;
    asio::ip::tcp::socket& to_;
    std::shared_ptr<const void> owner_;
    Moved moved_;
    Ended ended_;
    std::unique_ptr<Pipe> pipe_;
    std::size_t inPipe_ = 0;
    bool sourceEnded_ = false;
};

}  // namespace corvane::platform
