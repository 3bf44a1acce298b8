#include "LinuxCodeSigning.hpp"

#include "AuditToken.hpp"
#include "OwnershipWalk.hpp"
#include "ProcessFiles.hpp"
#include "ProcessStatus.hpp"
#include "SigningIdentifier.hpp"

#include "platform/FileDescriptor.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane::platform {

namespace {

constexpr std::string_view kAnchorRequirement = "anchor apple";
constexpr std::string_view kFlatpakSystemApps = "/var/lib/flatpak/app/";

struct GuestCode final : CodeSigning::Code {
    int pid = 0;
    std::uint32_t startTime = 0;
    std::uint32_t executableIdentity = 0;
};

// The executable as the process sees it, and where to walk it from.
struct StaticCode final : CodeSigning::Code {
    std::unique_ptr<FileDescriptor> executable;
    std::unique_ptr<FileDescriptor> walkRoot;  // "/" of the walk
    std::string walkPath;                      // absolute, below walkRoot
    bool hostView = false;                     // the daemon's own file system view
    OwnershipWalk::Expected file;
};

struct AnchorRequirement final : CodeSigning::Requirement {};

bool sameMountNamespace(int pid) {
    struct stat own {}, other {};
    return ::stat("/proc/self/ns/mnt", &own) == 0 &&
           ::stat((procfs::processDirectory(pid) + "/ns/mnt").c_str(), &other) == 0 && own.st_dev == other.st_dev &&
           own.st_ino == other.st_ino;
}

bool stillRuns(const GuestCode& guest) {
    const auto status = ProcessStatus::read(guest.pid);
    return status && static_cast<std::uint32_t>(status->startTime) == guest.startTime;
}

// Fills the walk's root and path: the plain path in our own view, the mapped
// host path for a system-wide Flatpak, else the path inside the process's root.
bool locate(StaticCode& code, int pid, const std::string& path) {
    const auto directory = procfs::processDirectory(pid);
    if (sameMountNamespace(pid)) {
        code.walkRoot = std::make_unique<FileDescriptor>(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        code.walkPath = path;
        code.hostView = true;
        return code.walkRoot->get() >= 0;
    }
    if (const auto info = procfs::readSmallFile(directory + "/root/.flatpak-info")) {
        code.walkPath = LinuxCodeSigning::flatpakHostPath(*info, path);
        if (code.walkPath.empty()) return false;
        code.walkRoot = std::make_unique<FileDescriptor>(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        return code.walkRoot->get() >= 0;
    }
    code.walkRoot = std::make_unique<FileDescriptor>(
        ::open((directory + "/root").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    code.walkPath = path;
    return code.walkRoot->get() >= 0;
}

}  // namespace

LinuxCodeSigning::LinuxCodeSigning(std::shared_ptr<PackageIndex> packages) : packages_(std::move(packages)) {}

std::string LinuxCodeSigning::flatpakHostPath(std::string_view flatpakInfo, std::string_view path) {
    const auto id = SigningIdentifier::flatpakApplicationID(flatpakInfo);
    const auto appPath = SigningIdentifier::flatpakAppPath(flatpakInfo);
    if (!id || !appPath || !path.starts_with("/app/")) return "";
    if (id->find('/') != std::string::npos || *id == "." || *id == "..") return "";
    const std::string installation = std::string(kFlatpakSystemApps) + *id + "/";
    if (!appPath->starts_with(installation) || appPath->find("/../") != std::string::npos ||
        appPath->ends_with("/.."))
        return "";
    return *appPath + std::string(path.substr(4));
}

std::shared_ptr<CodeSigning::Code> LinuxCodeSigning::guestWithAuditToken(std::span<const std::uint8_t, 32> token) {
    auto guest = std::make_shared<GuestCode>();
    guest->pid = static_cast<int>(AuditToken::word(token, AuditToken::Word::pid));
    guest->startTime = AuditToken::word(token, AuditToken::Word::startTime);
    guest->executableIdentity = AuditToken::word(token, AuditToken::Word::executableIdentity);
    if (guest->pid < 1 || !stillRuns(*guest)) return nullptr;
    const auto identity = AuditToken::currentExecutableIdentity(guest->pid);
    if (!identity || *identity != guest->executableIdentity) return nullptr;
    return guest;
}

std::shared_ptr<CodeSigning::Code> LinuxCodeSigning::staticCode(const Code& code) {
    const auto* guest = dynamic_cast<const GuestCode*>(&code);
    if (!guest) return nullptr;
    const auto directory = procfs::processDirectory(guest->pid);
    auto result = std::make_shared<StaticCode>();
    result->executable = std::make_unique<FileDescriptor>(::open((directory + "/exe").c_str(), O_PATH | O_CLOEXEC));
    struct stat info {};
    if (result->executable->get() < 0 || ::fstat(result->executable->get(), &info) != 0) return nullptr;
    result->file = {info.st_dev, info.st_ino};
    // The descriptor must be the token's program, not one of a process that
    // took over the pid meanwhile.
    if (AuditToken::executableIdentity(info.st_dev, info.st_ino) != guest->executableIdentity || !stillRuns(*guest))
        return nullptr;
    const auto path = procfs::readLink(directory + "/exe");
    if (!path || !path->starts_with('/') || !locate(*result, guest->pid, *path)) return nullptr;
    return result;
}

bool LinuxCodeSigning::checkValidity(const Code& code, std::uint32_t, const Requirement* requirement) {
    const auto* executable = dynamic_cast<const StaticCode*>(&code);
    if (!executable || !OwnershipWalk::passes(executable->walkRoot->get(), executable->walkPath, executable->file))
        return false;
    if (!requirement) return true;
    return dynamic_cast<const AnchorRequirement*>(requirement) && executable->hostView &&
           packages_->containsFile(executable->walkPath);
}

std::optional<nlohmann::json> LinuxCodeSigning::signingInformation(const Code& code, std::uint32_t) {
    if (!dynamic_cast<const StaticCode*>(&code)) return std::nullopt;
    return nlohmann::json::object();
}

std::shared_ptr<CodeSigning::Requirement> LinuxCodeSigning::createRequirement(std::string_view text) {
    if (text != kAnchorRequirement) return nullptr;
    return std::make_shared<AnchorRequirement>();
}

}  // namespace corvane::platform
