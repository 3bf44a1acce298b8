#pragma once

#include <filesystem>
#include <thread>

#include "UpdateInstaller.hpp"
#include "Updates/UpdateSignature.hpp"

namespace corvane::app {

// Installs updates into the app's own install folder (the folder above bin/).
// A folder of the user's is replaced here, on a worker thread; a root-owned one
// by the root helper `corvane-service install-update`, run through pkexec
// unless the app is root, which checks the signature again itself.
class FolderUpdateInstaller : public UpdateInstaller {
public:
    struct Settings {
        std::filesystem::path folder;
        updates::UpdateSignature::PublicKey key{};
        std::filesystem::path helper;
        std::filesystem::path pkexec = "/usr/bin/pkexec";
        bool runsAsRoot = false;
    };

    explicit FolderUpdateInstaller(Settings settings);
    // Waits for an installation still running.
    ~FolderUpdateInstaller() override;

    // The install folder of the app at `appPath`: <folder>/bin/corvane.
    static std::filesystem::path installFolder(const std::filesystem::path& appPath);

    std::optional<std::string> refusal() const override;
    void install(const std::filesystem::path& archive, const QByteArray& signature, QObject* context,
                 Done done) override;
    bool relaunch() override;

private:
    void installHere(const std::filesystem::path& archive, const QByteArray& signature, Done done);
    void installThroughHelper(const std::filesystem::path& archive, const QByteArray& signature, Done done);

    Settings settings_;
    std::thread worker_;
};

}  // namespace corvane::app
