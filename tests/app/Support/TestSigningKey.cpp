#include "TestSigningKey.hpp"

#include <stdexcept>

#include <openssl/evp.h>

namespace corvane::app::testing {

namespace fs = std::filesystem;

TestSigningKey::TestSigningKey() : key_(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")) {
    if (!key_) throw std::runtime_error("could not make an Ed25519 key");
}

TestSigningKey::~TestSigningKey() { EVP_PKEY_free(static_cast<EVP_PKEY*>(key_)); }

updates::UpdateSignature::PublicKey TestSigningKey::publicKey() const {
    updates::UpdateSignature::PublicKey key{};
    std::size_t length = key.size();
    EVP_PKEY_get_raw_public_key(static_cast<EVP_PKEY*>(key_), key.data(), &length);
    return key;
}

updates::UpdateSignature::Signature TestSigningKey::sign(std::string_view message) const {
    updates::UpdateSignature::Signature signature{};
    std::size_t length = signature.size();
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestSignInit(context, nullptr, nullptr, nullptr, static_cast<EVP_PKEY*>(key_));
    EVP_DigestSign(context, signature.data(), &length, reinterpret_cast<const unsigned char*>(message.data()),
                   message.size());
    EVP_MD_CTX_free(context);
    return signature;
}

updates::UpdateSignature::Signature TestSigningKey::signRelease(const fs::path& path, const std::string& version,
                                                               const std::string& build) const {
    const auto digest = updates::UpdateSignature::fileDigest(path);
    if (!digest) throw std::runtime_error("cannot read " + path.string());
    return sign(*updates::UpdateSignature::releaseMessage(version, build, *digest));
}

}  // namespace corvane::app::testing
