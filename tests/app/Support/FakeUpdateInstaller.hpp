#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Model/UpdateInstaller.hpp"

namespace corvane::app::testing {

// The installation step played by the test: it records what it was given and
// answers with `failure` (queued, like the real one).
class FakeUpdateInstaller : public UpdateInstaller {
public:
    std::optional<std::string> refusalText;
    std::optional<std::string> failure;
    bool relaunchWorks = true;

    struct Install {
        std::filesystem::path archive;
        UpdateRelease release;
        // The archive's bytes when it was handed over.
        QByteArray content;
    };
    std::vector<Install> installs;
    int relaunches = 0;

    std::optional<std::string> refusal() const override { return refusalText; }
    void install(const std::filesystem::path& archive, const UpdateRelease& release, QObject* context,
                 Done done) override;
    bool relaunch() override;
};

}  // namespace corvane::app::testing
