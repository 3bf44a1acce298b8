#include "Tunnel/TransparentProxyProvider.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CorvaneCore/Persistence/ProfileCodec.hpp"
#include "Shared/ProviderConfiguration.hpp"
#include "Shared/ProviderRequest.hpp"

namespace corvane::tunnel {
namespace {

using platform::LogArg;

std::optional<Profile> decodeProfile(std::span<const std::uint8_t> data) {
    try {
        return ProfileCodec::decode(data);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Reads the shared file without following a link planted in its place, only when it
// is a regular file of bounded size.
std::optional<platform::Bytes> readRegularFile(const std::filesystem::path& path, std::uintmax_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat status {};
    std::optional<platform::Bytes> data;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<std::uintmax_t>(status.st_size) <= limit) {
        platform::Bytes bytes;
        std::uint8_t chunk[65536];
        ssize_t got = 0;
        while ((got = ::read(fd, chunk, sizeof chunk)) > 0 && bytes.size() <= limit) {
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        if (got == 0 && bytes.size() <= limit) data = std::move(bytes);
    }
    ::close(fd);
    return data;
}

std::string joinedHosts(const std::vector<std::string>& hosts) {
    std::string text;
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        if (i > 0) text += ", ";
        text += hosts[i];
    }
    return text;
}

}  // namespace

std::shared_ptr<TransparentProxyProvider> TransparentProxyProvider::make(platform::ProviderHost& host,
                                                                         Environment environment) {
    return std::make_shared<TransparentProxyProvider>(host, std::move(environment));
}

TransparentProxyProvider::TransparentProxyProvider(platform::ProviderHost& host, Environment environment)
    : platform::TransparentProxyProvider(host),
      log_(std::string(kBundleIdentifier), "provider"),
      environment_(std::move(environment)),
      engine_(std::make_shared<const RuleEngine>(Profile::empty)),
      hostnameCache_(std::make_shared<HostnameCache>(4096, 60, 3600)),
      signatures_(environment_.codeSigning, environment_.executablePaths, 512) {}

void TransparentProxyProvider::startProxy(StartHandler completionHandler) {
    {
        std::lock_guard guard(stateLock_);
        stopped_ = false;
    }
    reloadProfile();
    // The completion may run after this provider is gone: it holds only copies.
    setTunnelNetworkSettings(networkSettings(), [log = log_, completionHandler = std::move(completionHandler)](
                                                    std::optional<platform::Failure> failure) {
        if (failure) {
            log.error("Failed to apply settings: %s", {LogArg::privateText(failure->description)});
        }
        completionHandler(std::move(failure));
    });
}

void TransparentProxyProvider::stopProxy(StopHandler completionHandler) {
    std::unordered_map<UUID, std::shared_ptr<FlowRelay>> tcp;
    std::unordered_map<UUID, std::shared_ptr<UDPFlowRelay>> udp;
    {
        std::lock_guard guard(stateLock_);
        tcp.swap(relays_);
        udp.swap(udpRelays_);
        stopped_ = true;
    }
    for (auto& [id, relay] : tcp) relay->finish({});
    for (auto& [id, relay] : udp) relay->finish();
    completionHandler();
}

void TransparentProxyProvider::reloadProfile() {
    if (auto profile = profileFromConfiguration()) return apply(*profile, "providerConfiguration");
    const auto path = environment_.profileURL ? environment_.profileURL() : std::nullopt;
    if (path) {
        if (auto profile = profileFromSharedFile(*path)) return apply(*profile, "app group file");
    }
    log_.error("No profile in providerConfiguration or at %{public}s; using defaults — nothing will be proxied",
               {LogArg::publicText(path ? path->string() : std::string())});
    apply(Profile::makeDefault(), "defaults");
}

std::optional<Profile> TransparentProxyProvider::profileFromConfiguration() const {
    auto configuration = protocolConfiguration();
    if (!configuration || !configuration->providerConfiguration) return std::nullopt;
    const auto& values = *configuration->providerConfiguration;
    auto entry = values.find(std::string(ProviderConfiguration::profileKey));
    if (entry == values.end()) return std::nullopt;
    const auto* data = std::get_if<platform::Bytes>(&entry->second);
    if (!data) return std::nullopt;
    return decodeProfile(*data);
}

std::optional<Profile> TransparentProxyProvider::profileFromSharedFile(const std::filesystem::path& path) const {
    auto data = readRegularFile(path, kMaximumProfileFileSize);
    if (!data) return std::nullopt;
    return decodeProfile(*data);
}

platform::StringMap TransparentProxyProvider::currentProxySecrets() const {
    auto configuration = protocolConfiguration();
    if (!configuration || !configuration->providerConfiguration) return {};
    const auto& values = *configuration->providerConfiguration;
    auto entry = values.find(std::string(ProviderConfiguration::proxySecretsKey));
    if (entry == values.end()) return {};
    const auto* secrets = std::get_if<platform::StringMap>(&entry->second);
    return secrets ? *secrets : platform::StringMap{};
}

void TransparentProxyProvider::apply(const Profile& profile, std::string_view source) {
    platform::StringMap secrets = currentProxySecrets();
    if (source == "app message") {
        // The message carries the passwords the app holds now; a stored secret only
        // fills a password the message left blank.
        for (const ProxyServer& proxy : profile.proxies) {
            if (proxy.credentials && !proxy.credentials->password.empty()) secrets.erase(proxy.id.toString());
        }
    }
    Profile hydrated = profile.hydratingCredentialSecrets(secrets);
    {
        std::lock_guard guard(stateLock_);
        engine_ = std::make_shared<const RuleEngine>(hydrated);
    }
    log_.info("Profile from %{public}s: %ld rules, %ld proxies",
              {LogArg::publicText(source), LogArg::number(static_cast<long>(hydrated.rules.size())),
               LogArg::number(static_cast<long>(hydrated.proxies.size()))});
    for (const Rule& rule : hydrated.rules) {
        if (!rule.isEnabled) continue;
        log_.info("  active rule “%{public}s” hosts=[%{public}s]",
                  {LogArg::publicText(rule.name), LogArg::publicText(joinedHosts(rule.hosts))});
    }
}

void TransparentProxyProvider::handleAppMessage(platform::Bytes messageData, MessageHandler completionHandler) {
    std::optional<ProviderRequest> request;
    try {
        request = ProviderRequest::decode(
            std::string_view(reinterpret_cast<const char*>(messageData.data()), messageData.size()));
    } catch (const std::exception&) {
    }
    if (!request) {
        log_.error("Unrecognised app message (%ld bytes)",
                   {LogArg::number(static_cast<long>(messageData.size()))});
        if (completionHandler) completionHandler(std::nullopt);
        return;
    }
    switch (request->kind) {
    case ProviderRequest::Kind::fetchRecords: {
        if (!completionHandler) return;
        std::optional<platform::Bytes> reply;
        try {
            const std::string encoded = encodeRecordList(recordsWithLiveCounters());
            reply = platform::Bytes(encoded.begin(), encoded.end());
        } catch (const std::exception&) {
        }
        completionHandler(std::move(reply));
        return;
    }
    case ProviderRequest::Kind::reloadProfile:
        if (request->profile) {
            apply(*request->profile, "app message");
        } else {
            reloadProfile();
        }
        if (completionHandler) completionHandler(std::nullopt);
        return;
    }
}

}  // namespace corvane::tunnel
