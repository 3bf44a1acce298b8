#include "UpdateSignature.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include <openssl/evp.h>

#include "CorvaneCore/Support/Base64.hpp"

namespace corvane::updates::UpdateSignature {

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

bool verifyFile(const std::filesystem::path& path, const Signature& signature, const PublicKey& key) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uintmax_t>(info.st_size) > kMaxArchiveSize) {
        ::close(fd);
        return false;
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    if (size == 0) {
        ::close(fd);
        return verify({}, signature, key);
    }
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED) return false;
    const bool valid = verify({static_cast<const std::uint8_t*>(mapped), size}, signature, key);
    ::munmap(mapped, size);
    return valid;
}

std::optional<PublicKey> publicKeyFromBase64(std::string_view text) { return fixed<32>(text); }

std::optional<Signature> signatureFromBase64(std::string_view text) { return fixed<64>(text); }

}  // namespace corvane::updates::UpdateSignature
