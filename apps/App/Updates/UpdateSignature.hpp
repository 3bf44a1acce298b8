#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Ed25519 signatures of releases, checked with OpenSSL.
//
// A release's signature covers its version, its build and its archive's
// SHA-256 digest together, so none of them can be swapped for another
// release's. The signed message is these bytes (UTF-8, each line ending in a
// line feed, the digest in lower-case hex):
//   Corvane release
//   version: <version>
//   build: <build>
//   sha256: <64 hex digits>
namespace corvane::updates::UpdateSignature {

using PublicKey = std::array<std::uint8_t, 32>;
using Signature = std::array<std::uint8_t, 64>;

// Archives larger than this are never read.
inline constexpr std::uintmax_t kMaxArchiveSize = 512ull * 1024 * 1024;

bool verify(std::span<const std::uint8_t> message, const Signature& signature, const PublicKey& key);

// The lower-case hex SHA-256 of the file; none when it cannot be read, is not a
// regular file or is larger than kMaxArchiveSize.
std::optional<std::string> fileDigest(const std::filesystem::path& path);
// The signed message above; none for a version or build that is empty or
// holds a line break (it would read as another message).
std::optional<std::string> releaseMessage(std::string_view version, std::string_view build,
                                          std::string_view digest);
// Whether `signature` signs this version and build with the archive at `archive`.
bool verifyRelease(const std::filesystem::path& archive, std::string_view version, std::string_view build,
                   const Signature& signature, const PublicKey& key);

// From strict base64 of exactly the key's or signature's size; none for anything else.
std::optional<PublicKey> publicKeyFromBase64(std::string_view text);
std::optional<Signature> signatureFromBase64(std::string_view text);
// The key compiled into this build (UpdateConfiguration); none when that is no key.
std::optional<PublicKey> releaseKey();

}  // namespace corvane::updates::UpdateSignature
