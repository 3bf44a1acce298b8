#include "TestSigningKey.hpp"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <openssl/evp.h>

#include "platform/linux/TemporaryDirectory.hpp"

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

updates::UpdateSignature::Signature TestSigningKey::signFile(const fs::path& path) const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return sign(content.str());
}

void makeArchive(const fs::path& archive, const std::vector<std::pair<std::string, std::string>>& files) {
    platform::testing::TemporaryDirectory tree;
    for (const auto& [name, content] : files) {
        const fs::path path = tree.path() / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        ::chmod(path.c_str(), name.starts_with("bin/") ? 0755 : 0644);
    }
    const std::string command = "/bin/tar -czf '" + archive.string() + "' -C '" + tree.path().string() + "' .";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("tar failed");
}

}  // namespace corvane::app::testing
