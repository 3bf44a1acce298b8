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
    // The release signature of the archive at `path` with this version and build.
    updates::UpdateSignature::Signature signRelease(const std::filesystem::path& path, const std::string& version,
                                                    const std::string& build) const;

private:
    void* key_;
};

}  // namespace corvane::app::testing
