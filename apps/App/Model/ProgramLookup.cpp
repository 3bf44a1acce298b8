#include "ProgramLookup.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "CorvaneCore/Support/Unicode.hpp"
#include "platform/FileDescriptor.hpp"
#include "platform/linux/OwnershipWalk.hpp"
#include "platform/linux/SigningIdentifier.hpp"

namespace corvane::app {

namespace fs = std::filesystem;

namespace {

// The daemon's validity test of an executable, from "/" in this process's view.
bool onlyRootCanHaveWritten(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    const platform::FileDescriptor root(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    return root.get() >= 0 && platform::OwnershipWalk::passes(root.get(), path, {info.st_dev, info.st_ino});
}

// The search path when the environment names none.
constexpr std::string_view kDefaultSearchPath = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

std::vector<fs::path> searchPathOf(std::string_view text) {
    std::vector<fs::path> folders;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(':', start), text.size());
        // An empty entry means the working folder, which says nothing about the user's programs.
        if (end > start && text[start] == '/') folders.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return folders;
}

std::optional<FlowSource> recorded(const std::string& name, const std::vector<ConnectionRecord>& newestFirst) {
    for (const ConnectionRecord& record : newestFirst) {
        if (record.appIdentifier == name && record.appIdentity)
            return FlowSource{name, record.appPath, record.appIdentity};
    }
    return std::nullopt;
}

}  // namespace

ProgramLookup::Places ProgramLookup::systemPlaces() {
    const char* path = std::getenv("PATH");
    return Places{searchPathOf(path ? std::string_view(path) : kDefaultSearchPath)};
}

ProgramLookup::ProgramLookup(Places places, std::shared_ptr<platform::PackageIndex> packages)
    : places_(std::move(places)), packages_(std::move(packages)) {}

std::shared_ptr<platform::PackageIndex> ProgramLookup::sharedPackageIndex() {
    static const auto index = std::make_shared<platform::PackageIndex>();
    return index;
}

FlowSource ProgramLookup::source(std::string_view text, const std::vector<ConnectionRecord>& newestFirst) const {
    const std::string typed(unicode::trimmed(text));
    if (typed.empty()) return {};
    if (typed.starts_with('/')) return executable(typed);
    if (auto found = recorded(typed, newestFirst)) return *found;
    if (auto found = flatpak(typed)) return *found;
    if (auto found = onSearchPath(typed)) return executable(*found);
    return FlowSource{typed, std::nullopt, CodeIdentity::unverified};
}

FlowSource ProgramLookup::executable(const std::string& path) const {
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    const std::string shown = error ? path : resolved.string();
    return FlowSource{platform::SigningIdentifier::fileName(shown), shown, identityOf(shown)};
}

CodeIdentity ProgramLookup::identityOf(const std::string& path) const {
    CodeIdentity identity;
    identity.isValid = onlyRootCanHaveWritten(path);
    identity.isPlatformBinary = identity.isValid && packages_->containsFile(path);
    return identity;
}

// A sandboxed program is verified only inside a system-wide installation that
// only root can have written: the installation's deployed files must pass the
// walk, as the daemon requires of a sandbox's application folder.
std::optional<FlowSource> ProgramLookup::flatpak(const std::string& id) const {
    if (id.find('/') != std::string::npos || id == "." || id == "..") return std::nullopt;
    const fs::path installation = places_.flatpakApps / id;
    std::error_code error;
    if (!fs::is_directory(installation, error)) return std::nullopt;
    const fs::path metadata = fs::canonical(installation / "current" / "active" / "metadata", error);
    CodeIdentity identity;
    identity.isValid = !error && onlyRootCanHaveWritten(metadata.string());
    return FlowSource{id, std::nullopt, identity};
}

std::optional<std::string> ProgramLookup::onSearchPath(const std::string& name) const {
    if (name.find('/') != std::string::npos || name == "." || name == "..") return std::nullopt;
    for (const fs::path& folder : places_.searchPath) {
        const std::string candidate = (folder / name).string();
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

}  // namespace corvane::app
