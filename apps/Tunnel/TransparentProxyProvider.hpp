#pragma once

#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <asio/awaitable.hpp>

#include "CorvaneCore/DNS/HostnameCache.hpp"
#include "CorvaneCore/Engine/FlowDescriptor.hpp"
#include "CorvaneCore/Engine/RuleEngine.hpp"
#include "CorvaneCore/Logging/ConnectionRecord.hpp"
#include "CorvaneCore/Models/Profile.hpp"
#include "Tunnel/CodeSignatureResolver.hpp"
#include "Tunnel/ConnectionRecordStore.hpp"
#include "Tunnel/FlowRelay.hpp"
#include "Tunnel/UDPFlowRelay.hpp"
#include "platform/AppProxyTCPFlow.hpp"
#include "platform/AppProxyUDPFlow.hpp"
#include "platform/Clock.hpp"
#include "platform/ConfigValue.hpp"
#include "platform/Logger.hpp"
#include "platform/TransparentProxyProvider.hpp"

namespace corvane::tunnel {

// The daemon's transparent-proxy provider: loads the profile, installs the diversion,
// decides every new flow, relays the proxied ones and keeps the connection records.
class TransparentProxyProvider : public platform::TransparentProxyProvider,
                                 public std::enable_shared_from_this<TransparentProxyProvider> {
public:
    // What the process supplies: the shared profile file's location (computed on
    // every use), the code-signing steps, the executable-path look-up and the clock.
    struct Environment {
        std::function<std::optional<std::filesystem::path>()> profileURL;
        platform::CodeSigning& codeSigning;
        const platform::ExecutablePathLookup& executablePaths;
        platform::Clock clock = platform::systemClock();
    };

    static constexpr std::string_view kBundleIdentifier = "org.corvane.Corvane.tunnel";
    static constexpr std::size_t maxRecords = 500;
    // The shared profile file is never larger than this.
    static constexpr std::uintmax_t kMaximumProfileFileSize = 16 * 1024 * 1024;

    static std::shared_ptr<TransparentProxyProvider> make(platform::ProviderHost& host,
                                                          Environment environment);

    void startProxy(StartHandler completionHandler) override;
    void stopProxy(StopHandler completionHandler) override;
    bool handleNewFlow(std::shared_ptr<platform::AppProxyFlow> flow) override;
    void handleAppMessage(platform::Bytes messageData, MessageHandler completionHandler) override;

    void reloadProfile();
    void apply(const Profile& profile, std::string_view source);
    platform::StringMap currentProxySecrets() const;
    std::vector<ConnectionRecord> recordsWithLiveCounters() const;
    // The rule engine new TCP flows are decided by.
    std::shared_ptr<const RuleEngine> currentEngine() const {
        std::lock_guard guard(stateLock_);
        return engine_;
    }
    // The names learnt from relayed DNS answers.
    HostnameCache& hostnameCache() const { return *hostnameCache_; }

    // The network settings installed at start: all outbound TCP and UDP except
    // multicast and limited broadcast.
    static platform::TransparentProxyNetworkSettings networkSettings();
    // The action as logged per flow ("missing" for an unknown proxy).
    static std::string describe(const RuleAction& action, const Profile& profile);
    // The action as recorded; `proxies` are the action's proxies, all present.
    static std::string routeDescription(const RuleAction& action,
                                        const std::vector<ProxyServer>& proxies);

    TransparentProxyProvider(platform::ProviderHost& host, Environment environment);

private:
    bool handleTCPFlow(const std::shared_ptr<platform::AppProxyTCPFlow>& flow);
    bool handleUDPFlow(const std::shared_ptr<platform::AppProxyUDPFlow>& flow);
    void block(const std::shared_ptr<platform::AppProxyTCPFlow>& flow, const FlowDescriptor& descriptor,
               const RuleEngine::Verdict& verdict, const CodeSignatureResolver::Resolution& resolution);
    // `self` keeps the provider alive while the relay is set up.
    asio::awaitable<void> relay(std::shared_ptr<TransparentProxyProvider> self,
                                std::shared_ptr<platform::AppProxyTCPFlow> flow, FlowDescriptor descriptor,
                                RuleAction action, std::vector<ProxyServer> proxies, UUID recordID);
    void relaySetupFailed(const std::shared_ptr<platform::AppProxyTCPFlow>& flow,
                          const FlowDescriptor& descriptor, const UUID& recordID, std::exception_ptr failure);
    FlowRelay::CloseHandler relayCloseHandler(const UUID& recordID);
    void finishUDPRelay(const UUID& id, std::uint64_t bytesSent, std::uint64_t bytesReceived);
    void appendUDPRecord(const UUID& id, const std::string& appIdentifier, const std::string& target,
                         const std::string& proxyName);

    void appendRecord(ConnectionRecord record);
    void appendRecordLocked(ConnectionRecord record);
    // Runs `change` on the record with this identifier, when it is still kept.
    void updateRecord(const UUID& id, const std::function<void(ConnectionRecord&)>& change);

    std::optional<Profile> profileFromConfiguration() const;
    std::optional<Profile> profileFromSharedFile(const std::filesystem::path& path) const;

    platform::Logger log_;
    Environment environment_;

    mutable std::mutex stateLock_;
    std::shared_ptr<const RuleEngine> engine_;
    std::shared_ptr<HostnameCache> hostnameCache_;
    CodeSignatureResolver signatures_;
    std::unordered_map<UUID, std::shared_ptr<FlowRelay>> relays_;
    ConnectionRecordStore records_{maxRecords};
    std::unordered_map<UUID, std::shared_ptr<UDPFlowRelay>> udpRelays_;
    // Set by stop: a relay whose set-up ends afterwards is finished at once.
    bool stopped_ = false;
};

}  // namespace corvane::tunnel
