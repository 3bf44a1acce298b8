#pragma once

#include "DiversionConstants.hpp"
#include "Nftables.hpp"
#include "SocketAddress.hpp"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvane::platform {

// Adds declined UDP sources to the table's timed bypass sets. One nftables
// command costs about 0.1 ms however few elements it carries (parsing and a
// round trip to the kernel), so a thread of its own writes all that has queued
// up as one command while the next ones queue: no flow waits for it, and the
// datagrams a declined socket sends meanwhile are passed through by the daemon.
// Beyond the queue's bound sources are not added; their datagrams keep being
// passed through.
class DeclinedSetWriter {
public:
    static constexpr std::size_t kQueueLimit = 16384;
    static constexpr std::size_t kBatchLimit = 1024;

    DeclinedSetWriter(std::shared_ptr<Nftables> nftables, DiversionConstants constants, unsigned seconds);
    ~DeclinedSetWriter();
    DeclinedSetWriter(const DeclinedSetWriter&) = delete;
    DeclinedSetWriter& operator=(const DeclinedSetWriter&) = delete;

    void add(const SocketAddress& source);

private:
    void run();

    const std::shared_ptr<Nftables> nftables_;
    const DiversionConstants constants_;
    const unsigned seconds_;
    std::mutex lock_;
    std::condition_variable queued_;
    std::vector<SocketAddress> queue_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace corvane::platform
