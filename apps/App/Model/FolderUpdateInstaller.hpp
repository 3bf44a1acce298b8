#pragma once

#include <filesystem>
#include <thread>

#include "RootHelperRunner.hpp"
#include "UpdateInstaller.hpp"
#include "Updates/UpdateSignature.hpp"

namespace corvane::app {

// Installs updates into the app's own install folder (the folder above bin/).
// A folder of the user's is replaced here, on a worker thread; a root-owned one
// by the root helper `corvane-service install-update` (see RootHelperRunner),
// which checks everything again itself.
class FolderUpdateInstaller : public UpdateInstaller {
public:
    struct Settings {
        std::filesystem::path folder;
        updates::UpdateSignature::PublicKey key{};
    };

    FolderUpdateInstaller(Settings settings, RootHelperRunner& helper);
    // Waits for an installation still running.
    ~FolderUpdateInstaller() override;

    // The install folder of the app at `appPath`: <folder>/bin/corvane.
    static std::filesystem::path installFolder(const std::filesystem::path& appPath);

    std::optional<std::string> refusal() const override;
    void install(const std::filesystem::path& archive, const UpdateRelease& release, QObject* context,
                 Done done) override;
    bool relaunch() override;

private:
    void installHere(const std::filesystem::path& archive, const UpdateRelease& release, Done done);
    void installThroughHelper(const std::filesystem::path& archive, const UpdateRelease& release, Done done);

    Settings settings_;
    RootHelperRunner& helper_;
    QObject context_;
    std::thread worker_;
};

}  // namespace corvane::app
