#include "Nftables.hpp"

#include <nftables/libnftables.h>

#include <stdexcept>

namespace corvane::platform {

namespace {

std::string trimmedError(const char* text) {
    std::string error = text ? text : "";
    while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) error.pop_back();
    return error;
}

}  // namespace

Nftables::Nftables() : context_(nft_ctx_new(NFT_CTX_DEFAULT)) {
    if (!context_) throw std::runtime_error("Could not create an nftables context");
    nft_ctx_buffer_output(context_);
    nft_ctx_buffer_error(context_);
}

Nftables::~Nftables() { nft_ctx_free(context_); }

std::string Nftables::run(const std::string& script) {
    std::lock_guard guard(lock_);
    if (nft_run_cmd_from_buffer(context_, script.c_str()) == 0) return "";
    auto error = trimmedError(nft_ctx_get_error_buffer(context_));
    return error.empty() ? "nftables refused the rules" : error;
}

}  // namespace corvane::platform
