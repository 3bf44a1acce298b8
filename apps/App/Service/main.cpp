// corvane-service: the root helper that installs or upgrades the daemon as the
// machine's tunnel service. The app runs it through pkexec (or directly as root):
//   corvane-service install DAEMON
// Exit status 0 on success; otherwise one line on standard error says why
// (2 usage, 3 daemon refused, 4 a step failed).
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <string_view>

#include "ServiceError.hpp"
#include "ServiceInstallation.hpp"

int main(int argc, char** argv) {
    using namespace corvane::service;
    ::umask(022);
    if (argc != 3 || std::string_view(argv[1]) != "install") {
        std::cerr << "usage: corvane-service install DAEMON\n";
        return static_cast<int>(ServiceError::Code::usage);
    }
    if (::geteuid() != 0) {
        std::cerr << "corvane-service must run as root.\n";
        return static_cast<int>(ServiceError::Code::failed);
    }
    const corvane::platform::Logger log("corvane-service", "service");
    try {
        ServiceInstallation(ServiceSettings::fromEnvironment(), log).install(argv[2]);
    } catch (const ServiceError& e) {
        log.error("%{public}s", {corvane::platform::LogArg::publicText(e.what())});
        std::cerr << e.what() << "\n";
        return e.exitStatus();
    }
    return 0;
}
