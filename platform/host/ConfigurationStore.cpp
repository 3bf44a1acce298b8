#include "platform/host/ConfigurationStore.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "CorvaneCore/Support/JsonDecodeError.hpp"
#include "CorvaneCore/Support/JsonReader.hpp"
#include "platform/Logger.hpp"
#include "platform/FileDescriptor.hpp"

namespace corvane::platform {

namespace {

const Logger& log() {
    static const Logger logger("corvane-tunnel", "configuration");
    return logger;
}

[[noreturn]] void fail(const std::string& what) {
    throw ConfigurationStoreError(what + ": " + std::strerror(errno));
}

void writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("Could not write the configuration");
        done += static_cast<std::size_t>(n);
    }
}

std::string utcStamp() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
    return text;
}

// A value deeper than any file may be is refused before it is written out, as
// writing recurses once per level.
void requireValuesWithinDepth(const TransparentProxyConfiguration& configuration) {
    const auto& values = configuration.protocolConfiguration.providerConfiguration;
    if (!values) return;
    for (const auto& [key, value] : *values) {
        if (const auto* other = std::get_if<nlohmann::json>(&value)) json::requireDepthWithinLimit(*other);
    }
}

// The file's text for the configuration. Throws unless the next start would accept
// the text and read this same configuration from it, so that no save leaves a file
// that is lost then.
std::string writtenForm(const TransparentProxyConfiguration& configuration) {
    std::string reason = "it reads back differently";
    try {
        requireValuesWithinDepth(configuration);
        std::string text = toJson(configuration).dump(2) + "\n";
        if (text.size() > ConfigurationStore::kMaxFileSize) {
            throw ConfigurationStoreError("The configuration is too large to store: it takes " +
                                          std::to_string(text.size()) + " bytes written, at most " +
                                          std::to_string(ConfigurationStore::kMaxFileSize) + ".");
        }
        if (TransparentProxyConfiguration::fromJson(json::parse(text)) == configuration) return text;
    } catch (const JsonDecodeError& e) {
        reason = e.what();
    }
    throw ConfigurationStoreError("The configuration cannot be stored, as it would not read back: " + reason);
}

}  // namespace

ConfigurationStore::ConfigurationStore(std::filesystem::path stateDirectory) : directory_(std::move(stateDirectory)) {
    std::error_code error;
    std::filesystem::create_directories(directory_, error);
    readFile();
}

std::vector<TransparentProxyConfiguration> ConfigurationStore::load() const {
    std::lock_guard guard(lock_);
    if (damage_) throw ConfigurationStoreError(*damage_);
    if (!configuration_) return {};
    return {*configuration_};
}

std::shared_ptr<const TunnelProviderProtocol> ConfigurationStore::protocolConfiguration() const {
    std::lock_guard guard(lock_);
    return protocol_;
}

void ConfigurationStore::save(const TransparentProxyConfiguration& configuration) {
    const std::string text = writtenForm(configuration);
    std::lock_guard guard(lock_);
    std::string temporary = (directory_ / "configuration.json.XXXXXX").string();
    FileDescriptor fd(::mkstemp(temporary.data()));
    if (fd.get() < 0) fail("Could not create the configuration file");
    try {
        if (::fchmod(fd.get(), 0600) != 0) fail("Could not protect the configuration file");
        writeAll(fd.get(), text);
        if (::fsync(fd.get()) != 0) fail("Could not write the configuration");
        if (::rename(temporary.c_str(), filePath().c_str()) != 0) fail("Could not replace the configuration");
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    FileDescriptor folder(::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
    configuration_ = configuration;
    protocol_ = std::make_shared<const TunnelProviderProtocol>(configuration.protocolConfiguration);
    damage_.reset();
}

void ConfigurationStore::readFile() {
    FileDescriptor fd(::open(filePath().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) return;
        return setAsideDamagedFile(std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return setAsideDamagedFile("not a regular file");
    if (static_cast<std::uintmax_t>(info.st_size) > kMaxFileSize) return setAsideDamagedFile("too large");
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::read(fd.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    text.resize(done);
    try {
        auto configuration = TransparentProxyConfiguration::fromJson(json::parse(text));
        protocol_ = std::make_shared<const TunnelProviderProtocol>(configuration.protocolConfiguration);
        configuration_ = std::move(configuration);
    } catch (const JsonDecodeError& e) {
        setAsideDamagedFile(e.what());
    }
}

void ConfigurationStore::setAsideDamagedFile(const std::string& reason) {
    const std::string stem = "configuration.json.damaged-" + utcStamp();
    auto aside = directory_ / stem;
    // Never replace an earlier damaged copy.
    for (int n = 2; std::filesystem::exists(aside) && n < 1000; ++n) aside = directory_ / (stem + "-" + std::to_string(n));
    std::error_code error;
    std::filesystem::rename(filePath(), aside, error);
    damage_ = "The saved configuration was damaged (" + reason + ") and was moved to " + aside.string() + ".";
    log().error("Saved configuration is damaged (%{public}s); moved to %{public}s",
                {LogArg::publicText(reason), LogArg::publicText(aside.string())});
}

}  // namespace corvane::platform
