#include "FolderUpdateInstaller.hpp"

#include <sys/stat.h>

#include <QProcess>

#include "MainThread.hpp"
#include "Updates/UpdateError.hpp"
#include "Updates/UpdateInstallation.hpp"

namespace corvane::app {

namespace fs = std::filesystem;

namespace {

updates::UpdateInstallation::Release toRelease(const UpdateRelease& release) {
    updates::UpdateInstallation::Release out{release.version.toStdString(), release.build.toStdString(), {}};
    const QByteArray& bytes = release.signature;
    if (bytes.size() == qsizetype(out.signature.size())) std::copy(bytes.begin(), bytes.end(), out.signature.begin());
    return out;
}

}  // namespace

FolderUpdateInstaller::FolderUpdateInstaller(Settings settings, RootHelperRunner& helper)
    : settings_(std::move(settings)), helper_(helper) {}

FolderUpdateInstaller::~FolderUpdateInstaller() {
    if (worker_.joinable()) worker_.join();
}

fs::path FolderUpdateInstaller::installFolder(const fs::path& appPath) {
    std::error_code error;
    const fs::path real = fs::weakly_canonical(appPath, error);
    return (error ? appPath : real).parent_path().parent_path();
}

std::optional<std::string> FolderUpdateInstaller::refusal() const {
    if (updates::UpdateInstallation::isReleaseFolder(settings_.folder)) return std::nullopt;
    return "This copy of Corvane was not installed from a release archive, so it cannot replace itself. "
           "Update it the way it was installed.";
}

void FolderUpdateInstaller::install(const fs::path& archive, const UpdateRelease& release, QObject* context,
                                    Done done) {
    auto deliver = MainThread::bind<std::optional<std::string>>(context, std::move(done));
    struct stat info {};
    if (::stat(settings_.folder.c_str(), &info) != 0) {
        return deliver("The install folder “" + settings_.folder.string() + "” is gone.");
    }
    if (info.st_uid == 0) return installThroughHelper(archive, release, deliver);
    installHere(archive, release, deliver);
}

void FolderUpdateInstaller::installHere(const fs::path& archive, const UpdateRelease& release, Done done) {
    if (worker_.joinable()) worker_.join();
    worker_ = std::thread([archive, release = toRelease(release), key = settings_.key, folder = settings_.folder,
                           done] {
        try {
            updates::UpdateInstallation::install(archive, release, key, folder);
        } catch (const updates::UpdateError& e) {
            return done(std::string(e.what()));
        }
        done(std::nullopt);
    });
}

void FolderUpdateInstaller::installThroughHelper(const fs::path& archive, const UpdateRelease& release, Done done) {
    const QStringList arguments{"install-update",        QString::fromStdString(archive.string()),
                                release.version,         release.build,
                                QString(release.signature.toBase64()), QString::fromStdString(settings_.folder.string())};
    helper_.run(arguments, "install the update", &context_, [done](std::optional<RequestFailure> failure) {
        done(failure ? std::optional(failure->description) : std::nullopt);
    });
}

bool FolderUpdateInstaller::relaunch() {
    return QProcess::startDetached(
        QString::fromStdString((settings_.folder / updates::UpdateInstallation::kAppPath).string()), {});
}

}  // namespace corvane::app
