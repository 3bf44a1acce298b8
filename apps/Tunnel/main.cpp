// corvane-tunnel: the machine's transparent-proxy daemon. It hosts the one provider
// on the Linux backend and serves the control socket until it is stopped.
#include <filesystem>
#include <memory>
#include <optional>

#include "CorvaneCore/Proxy/ProxyClient.hpp"
#include "Shared/ProductVersion.hpp"
#include "Shared/SharedConstants.hpp"
#include "Tunnel/TransparentProxyProvider.hpp"
#include "platform/SystemExtensionMode.hpp"
#include "platform/linux/DiversionConstants.hpp"
#include "platform/linux/LinuxCodeSigning.hpp"
#include "platform/linux/LinuxDiversion.hpp"
#include "platform/linux/LinuxExecutablePath.hpp"

int main() {
    using namespace corvane;
    const platform::ExtensionDirectories directories = platform::ExtensionDirectories::fromEnvironment();
    // The daemon's own connections through proxies must not be diverted again.
    ProxyClient::socketMark = platform::DiversionConstants{}.bypassMark;

    static platform::LinuxCodeSigning codeSigning;
    static const platform::LinuxExecutablePath executablePaths;
    const std::filesystem::path container = directories.stateDirectory / "shared";
    platform::startSystemExtensionMode(
        [container](platform::ProviderHost& host) -> std::shared_ptr<platform::TransparentProxyProvider> {
            return tunnel::TransparentProxyProvider::make(
                host, {[container] { return SharedConstants::profileURL({container, std::nullopt}); }, codeSigning,
                       executablePaths, platform::systemClock()});
        },
        [](std::vector<asio::any_io_executor> loops) -> std::unique_ptr<platform::DiversionBackend> {
            return std::make_unique<platform::LinuxDiversion>(std::move(loops));
        },
        {std::string(ProductVersion::shortVersion), std::string(ProductVersion::build)});
}
