#include "UpdateSignature.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include <openssl/evp.h>

#include "CorvaneCore/Support/Base64.hpp"
#include "Updates/UpdateConfiguration.hpp"
#include "platform/FileDescriptor.hpp"

namespace corvane::updates::UpdateSignature {

using platform::FileDescriptor;

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> fixed(std::string_view text) {
    const auto bytes = base64::decode(text);
    if (!bytes || bytes->size() != N) return std::nullopt;
    std::array<std::uint8_t, N> out{};
    std::copy(bytes->begin(), bytes->end(), out.begin());
    return out;
}

}  // namespace

bool verify(std::span<const std::uint8_t> message, const Signature& signature, const PublicKey& key) {
    std::unique_ptr<EVP_PKEY, KeyFree> publicKey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
    std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    if (!publicKey || !context) return false;
    if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, publicKey.get()) != 1) return false;
    static const std::uint8_t empty = 0;
    return EVP_DigestVerify(context.get(), signature.data(), signature.size(),
                            message.empty() ? &empty : message.data(), message.size()) == 1;
}

std::optional<std::string> fileDigest(const std::filesystem::path& path) {
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uintmax_t>(info.st_size) > kMaxArchiveSize) {
        return std::nullopt;
    }
    std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
    std::array<char, 64 * 1024> buffer{};
    std::uintmax_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        total += static_cast<std::uintmax_t>(n);
        if (total > kMaxArchiveSize || EVP_DigestUpdate(context.get(), buffer.data(), std::size_t(n)) != 1) {
            return std::nullopt;
        }
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) return std::nullopt;
    static const char* kHex = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0xF];
    }
    return hex;
}

std::optional<std::string> releaseMessage(std::string_view version, std::string_view build,
                                          std::string_view digest) {
    const auto oneLine = [](std::string_view text) {
        return !text.empty() && text.find_first_of("\r\n") == std::string_view::npos;
    };
    if (!oneLine(version) || !oneLine(build)) return std::nullopt;
    return "Corvane release\nversion: " + std::string(version) + "\nbuild: " + std::string(build) +
           "\nsha256: " + std::string(digest) + "\n";
}

bool verifyRelease(const std::filesystem::path& archive, std::string_view version, std::string_view build,
                   const Signature& signature, const PublicKey& key) {
    const auto digest = fileDigest(archive);
    if (!digest) return false;
    const auto message = releaseMessage(version, build, *digest);
    if (!message) return false;
    return verify({reinterpret_cast<const std::uint8_t*>(message->data()), message->size()}, signature, key);
}

std::optional<PublicKey> publicKeyFromBase64(std::string_view text) { return fixed<32>(text); }

std::optional<Signature> signatureFromBase64(std::string_view text) { return fixed<64>(text); }

std::optional<PublicKey> releaseKey() { return publicKeyFromBase64(UpdateConfiguration::publicKeyBase64); }

}  // namespace corvane::updates::UpdateSignature
