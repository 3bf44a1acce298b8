#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <QObject>

#include "UpdateRelease.hpp"

namespace corvane::app {

// The installation step of an update: puts a downloaded, verified release's
// archive in place of the app's install folder, and starts the new app.
class UpdateInstaller {
public:
    // None on success, else the failure to show.
    using Done = std::function<void(std::optional<std::string> failure)>;

    virtual ~UpdateInstaller() = default;
    // Why this copy of the app cannot replace itself; none when it can.
    virtual std::optional<std::string> refusal() const = 0;
    // `done` runs queued on the main thread, dropped when `context` is gone.
    virtual void install(const std::filesystem::path& archive, const UpdateRelease& release, QObject* context,
                         Done done) = 0;
    // Starts the installed app; false when it could not be started.
    virtual bool relaunch() = 0;
};

}  // namespace corvane::app
