#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Updates/UpdateSignature.hpp"

namespace corvane::app::testing {

// A fresh Ed25519 key pair made for one test, standing in for the project's
// release key: it signs test archives; its public half goes to the code under test.
class TestSigningKey {
public:
    TestSigningKey();
    ~TestSigningKey();
    TestSigningKey(const TestSigningKey&) = delete;
    TestSigningKey& operator=(const TestSigningKey&) = delete;

    updates::UpdateSignature::PublicKey publicKey() const;
    updates::UpdateSignature::Signature sign(std::string_view message) const;
    updates::UpdateSignature::Signature signFile(const std::filesystem::path& path) const;

private:
    void* key_;
};

// Writes a release archive (tar.gz) of a folder made of `files` (relative path
// and content; files under bin/ are executable) to `archive`.
void makeArchive(const std::filesystem::path& archive, const std::vector<std::pair<std::string, std::string>>& files);

}  // namespace corvane::app::testing
