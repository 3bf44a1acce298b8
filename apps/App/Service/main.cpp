// corvane-service: the root helper that installs or upgrades the daemon as the
// machine's tunnel service, and installs app updates into a root-owned install
// folder. The app runs it through pkexec (or directly as root):
//   corvane-service install DAEMON
//   corvane-service install-update ARCHIVE VERSION BUILD SIGNATURE FOLDER
//   corvane-service uninstall
//   corvane-service unit DAEMON   (prints the systemd unit for DAEMON; the build
//                                  uses it to ship the unit the helper would write)
// Exit status 0 on success; otherwise one line on standard error says why
// (2 usage, 3 daemon refused, 4 a step failed).
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <string_view>

#include "ServiceError.hpp"
#include "ServiceInstallation.hpp"
#include "ServiceUnit.hpp"
#include "UpdateCommand.hpp"
#include "Updates/UpdateSignature.hpp"

int main(int argc, char** argv) {
    using namespace corvane::service;
    ::umask(022);
    const bool install = argc == 3 && std::string_view(argv[1]) == "install";
    const bool installUpdate = argc == 7 && std::string_view(argv[1]) == "install-update";
    const bool uninstall = argc == 2 && std::string_view(argv[1]) == "uninstall";
    if (argc == 3 && std::string_view(argv[1]) == "unit") {
        std::cout << ServiceUnit::text(argv[2]);
        return 0;
    }
    if (!install && !installUpdate && !uninstall) {
        std::cerr << "usage: corvane-service install DAEMON\n"
                     "       corvane-service install-update ARCHIVE VERSION BUILD SIGNATURE FOLDER\n"
                     "       corvane-service uninstall\n"
                     "       corvane-service unit DAEMON\n";
        return static_cast<int>(ServiceError::Code::usage);
    }
    if (::geteuid() != 0) {
        std::cerr << "corvane-service must run as root.\n";
        return static_cast<int>(ServiceError::Code::failed);
    }
    const corvane::platform::Logger log("corvane-service", "service");
    try {
        if (install) {
            ServiceInstallation(ServiceSettings::fromEnvironment(), log).install(argv[2]);
        } else if (uninstall) {
            ServiceInstallation(ServiceSettings::fromEnvironment(), log).uninstall();
        } else {
            const auto key = corvane::updates::UpdateSignature::releaseKey();
            if (!key) throw ServiceError(ServiceError::Code::failed, "This build has no valid update key.");
            UpdateCommand::run({argv[2], argv[3], argv[4], argv[5], argv[6]}, *key);
        }
    } catch (const ServiceError& e) {
        log.error("%{public}s", {corvane::platform::LogArg::publicText(e.what())});
        std::cerr << e.what() << "\n";
        return e.exitStatus();
    }
    return 0;
}
