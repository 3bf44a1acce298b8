#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

// Ed25519 signatures of update archives, checked with OpenSSL.
namespace corvane::updates::UpdateSignature {

using PublicKey = std::array<std::uint8_t, 32>;
using Signature = std::array<std::uint8_t, 64>;

// Archives larger than this are never read.
inline constexpr std::uintmax_t kMaxArchiveSize = 512ull * 1024 * 1024;

bool verify(std::span<const std::uint8_t> message, const Signature& signature, const PublicKey& key);
// Whether the file's whole content carries the signature; false also when it
// cannot be read or is larger than kMaxArchiveSize.
bool verifyFile(const std::filesystem::path& path, const Signature& signature, const PublicKey& key);

// From strict base64 of exactly the key's or signature's size; none for anything else.
std::optional<PublicKey> publicKeyFromBase64(std::string_view text);
std::optional<Signature> signatureFromBase64(std::string_view text);

}  // namespace corvane::updates::UpdateSignature
