#include "SettingsPresenter.hpp"

#include <QFile>

#include "Model/ConfigStore.hpp"
#include "Shared/VersionText.hpp"

namespace corvane::app {

namespace {

const QStringList kJSONFilter{"JSON files (*.json)"};

// The default action's options, in the picker's order.
std::vector<RuleAction> defaultActions(const Profile& profile) {
    std::vector<RuleAction> actions{RuleAction::direct(), RuleAction::block()};
    for (const ProxyServer& proxy : profile.proxies) actions.push_back(RuleAction::proxy(proxy.id));
    return actions;
}

// The whole file, or why it could not be read.
struct FileContents {
    QByteArray bytes;
    QString error;
};

FileContents readProfileFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {{}, file.errorString()};
    if (file.size() > static_cast<qint64>(ConfigStore::kMaxFileSize)) return {{}, "The file is too large."};
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return {{}, file.errorString()};
    return {std::move(bytes), {}};
}

}  // namespace

SettingsPresenter::SettingsPresenter(AppState& state, DesktopServices& desktop, QObject* parent)
    : QObject(parent), state_(state), desktop_(desktop) {
    connect(&state_, &AppState::profileChanged, this, &SettingsPresenter::changed);
    connect(&state_.extensionManager(), &ExtensionManager::extensionStatusChanged, this, &SettingsPresenter::changed);
}

std::vector<SettingsPresenter::Check> SettingsPresenter::profileChecks() const {
    std::vector<Check> checks;
    for (const ProfileCodec::Issue& issue : ProfileCodec::validate(state_.profile())) {
        checks.push_back({issue.severity, QString::fromStdString(issue.message)});
    }
    return checks;
}

QStringList SettingsPresenter::defaultActionOptions() const {
    QStringList options;
    for (const RuleAction& action : defaultActions(state_.profile())) {
        options << QString::fromStdString(state_.actionLabel(action));
    }
    return options;
}

std::optional<int> SettingsPresenter::defaultActionIndex() const {
    const std::vector<RuleAction> actions = defaultActions(state_.profile());
    for (std::size_t i = 0; i < actions.size(); ++i) {
        if (actions[i] == state_.profile().defaultAction) return static_cast<int>(i);
    }
    return std::nullopt;
}

void SettingsPresenter::chooseDefaultAction(int index) {
    const std::vector<RuleAction> actions = defaultActions(state_.profile());
    if (index < 0 || static_cast<std::size_t>(index) >= actions.size()) return;
    if (actions[index] == state_.profile().defaultAction) return;
    Profile profile = state_.profile();
    profile.defaultAction = actions[index];
    state_.setProfile(std::move(profile));
    state_.saveProfile();
}

QString SettingsPresenter::extensionStatusText() const {
    const ExtensionStatus& status = state_.extensionManager().extensionStatus();
    switch (status.kind) {
        case ExtensionStatus::Kind::unknown: return "Not installed";
        case ExtensionStatus::Kind::activationRequested: return "Installing…";
        case ExtensionStatus::Kind::needsUserApproval: return "Waiting for administrator approval";
        case ExtensionStatus::Kind::installed: return "Installed";
        case ExtensionStatus::Kind::accessDenied:
            return "Installed, but this account may not use it: it must be a member of the group “corvane”. "
                   "Install / Update Service adds it; then log in again.";
        case ExtensionStatus::Kind::failed: return "Failed: " + QString::fromStdString(status.message);
    }
    return {};
}

void SettingsPresenter::installExtension() { state_.extensionManager().install(); }

QString SettingsPresenter::versionText() { return QString::fromStdString(corvane::versionText()); }

QString SettingsPresenter::profileLocation() const {
    const std::optional<std::filesystem::path> location = state_.store().currentLocation();
    return location ? QString::fromStdString(location->string()) : QString();
}

void SettingsPresenter::showProfileInFileManager() {
    const QString location = profileLocation();
    if (!location.isEmpty()) desktop_.showInFileManager(location);
}

void SettingsPresenter::exportProfile() {
    const std::optional<QString> path = desktop_.chooseSaveLocation("Corvane-profile.json", kJSONFilter);
    if (path) state_.exportProfile(path->toStdString());
}

void SettingsPresenter::importProfile() {
    const std::optional<QString> path = desktop_.chooseOpenLocation(kJSONFilter);
    if (!path) return;
    const FileContents contents = readProfileFile(*path);
    if (!contents.error.isEmpty()) {
        state_.setLastError("Import failed: " + contents.error.toStdString());
        return;
    }
    try {
        const auto* data = reinterpret_cast<const std::uint8_t*>(contents.bytes.constData());
        state_.setProfile(ProfileCodec::decode({data, static_cast<std::size_t>(contents.bytes.size())}));
    } catch (const std::exception& e) {
        state_.setLastError(std::string("Import failed: ") + e.what());
        return;
    }
    state_.saveProfile();
}

}  // namespace corvane::app
