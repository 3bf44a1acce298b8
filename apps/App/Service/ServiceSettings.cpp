#include "ServiceSettings.hpp"

#include <cstdlib>

#include "CorvaneCore/Support/StandardInteger.hpp"
#include "platform/SystemExtensionMode.hpp"

namespace corvane::service {

ServiceSettings ServiceSettings::fromEnvironment() {
    ServiceSettings settings;
    const auto directories = platform::ExtensionDirectories::fromEnvironment();
    settings.runtimeDirectory = directories.runtimeDirectory;
    settings.stateDirectory = directories.stateDirectory;
    std::error_code error;
    settings.systemdRunning = std::filesystem::is_directory("/run/systemd/system", error);
    if (const char* uid = std::getenv("PKEXEC_UID")) {
        const auto value = parseStandardInteger<std::uint32_t>(uid);
        if (value) settings.requester = static_cast<uid_t>(*value);
    }
    return settings;
}

}  // namespace corvane::service
