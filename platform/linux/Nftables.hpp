#pragma once

#include <mutex>
#include <string>

struct nft_ctx;

namespace corvane::platform {

// One libnftables context for the daemon's whole life. A table created with
// `flags owner` belongs to the context's netlink socket: it vanishes when the
// context is freed or the process dies, so the machine keeps its network.
class Nftables {
public:
    Nftables();
    ~Nftables();
    Nftables(const Nftables&) = delete;
    Nftables& operator=(const Nftables&) = delete;

    // Runs a script as one transaction; returns nft's error text, "" on success.
    std::string run(const std::string& script);

private:
    std::mutex lock_;
    nft_ctx* context_;
};

}  // namespace corvane::platform
