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

    // The owner lookup finds out who runs each flow's program, off the event
    // loops; the code-signing steps and the path lookup answer from that.
    const auto identities = std::make_shared<platform::ProcessIdentityCache>();
    static platform::LinuxCodeSigning codeSigning(identities);
    static const platform::LinuxExecutablePath executablePaths(identities);
    const std::filesystem::path container = directories.stateDirectory / "shared";
    platform::startSystemExtensionMode(
        [container](platform::ProviderHost& host) -> std::shared_ptr<platform::TransparentProxyProvider> {
            return tunnel::TransparentProxyProvider::make(
                host, {[container] { return SharedConstants::profileURL({container, std::nullopt}); }, codeSigning,
                       executablePaths, platform::systemClock()});
        },
        [identities](std::vector<asio::any_io_executor> loops) -> std::unique_ptr<platform::DiversionBackend> {
            platform::LinuxDiversion::Options options;
            options.identities = identities;
            return std::make_unique<platform::LinuxDiversion>(std::move(loops), std::move(options));
        },
        {std::string(ProductVersion::shortVersion), std::string(ProductVersion::build)});
}
