#include "SettingsPage.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "Model/ActivationPolicy.hpp"
#include "Model/LoginItem.hpp"
#include "Model/UpdaterController.hpp"
#include "Views/Common/Fonts.hpp"
#include "Views/Common/SystemDesktopServices.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Settings/AcknowledgementsSheet.hpp"
#include "Views/Shell/IconRegistry.hpp"
#include "Views/Shell/Pages.hpp"

namespace corvane::app {

namespace {

constexpr int kCheckIconSize = 14;

QLabel* selectable(const QString& text) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// A status that may be long (the helper's refusal, pkexec's error): it wraps
// within the width the page has and never widens the page.
QLabel* wrappingStatus() {
    auto* label = new QLabel;
    label->setObjectName("extensionStatus");
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    // A wrapped label asks for the width of a long line at least; this one
    // takes what the row leaves it and grows in height instead.
    label->setMinimumWidth(1);
    return label;
}

// A button with a footnote beside it.
QHBoxLayout* buttonRow(QPushButton* button, QLabel* note) {
    auto* row = new QHBoxLayout;
    row->addWidget(button);
    row->addWidget(note, 1);
    return row;
}

QGroupBox* section(const QString& title) {
    auto* box = new QGroupBox(title);
    box->setObjectName(title);
    return box;
}

}  // namespace

SettingsPage::SettingsPage(const PageContext& context, DesktopServices& desktop, QWidget* parent)
    : QWidget(parent), context_(context), presenter_(context.state, desktop), desktop_(desktop) {
    setObjectName("SettingsPage");
    auto* title = new QLabel("Settings");
    title->setFont(Fonts::title(font()));

    auto* form = new QWidget;
    auto* sections = new QVBoxLayout(form);
    sections->setContentsMargins(12, 4, 12, 12);
    sections->setSpacing(12);
    for (QWidget* part : {makeChecks(), makeRouting(), makeStartup(), makeUpdates(), makeExtension(), makeAbout(),
                          makeProfile()}) {
        sections->addWidget(part);
    }
    sections->addStretch();
    QScrollArea* scroll = ViewStyle::scrolled(form);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* header = new QHBoxLayout;
    header->setContentsMargins(12, 10, 12, 6);
    header->addWidget(title);
    layout->addLayout(header);
    layout->addWidget(scroll, 1);

    connect(&presenter_, &SettingsPresenter::changed, this, &SettingsPage::refresh);
    UpdaterController& updater = context_.updater;
    connect(&updater, &UpdaterController::canCheckForUpdatesChanged, this, &SettingsPage::refresh);
    connect(&updater, &UpdaterController::checksAutomaticallyChanged, this, &SettingsPage::refresh);
    connect(&updater, &UpdaterController::lastCheckDescriptionChanged, this, &SettingsPage::refresh);
    refresh();
}

QWidget* SettingsPage::makeChecks() {
    checks_ = section("Profile checks");
    checkRows_ = new QVBoxLayout(checks_);
    return checks_;
}

QWidget* SettingsPage::makeRouting() {
    defaultAction_ = new QComboBox;
    defaultAction_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(defaultAction_, &QComboBox::activated, &presenter_, &SettingsPresenter::chooseDefaultAction);
    QGroupBox* box = section("Routing");
    auto* rows = new QFormLayout(box);
    rows->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    rows->addRow("Default action", defaultAction_);
    rows->addRow(ViewStyle::secondaryLabel("Applied to connections that match no rule.", true));
    return box;
}

QWidget* SettingsPage::makeStartup() {
    launchAtLogin_ = new QCheckBox("Launch Corvane at login");
    connect(launchAtLogin_, &QCheckBox::clicked, this, [this](bool on) {
        context_.loginItem.setEnabled(on, context_.state);
        refresh();
    });
    trayOnly_ = new QCheckBox("Tray icon only (no window at start)");
    connect(trayOnly_, &QCheckBox::clicked, this, [this](bool on) {
        context_.activationPolicy.setMenuBarOnly(on);
        refresh();
    });
    QGroupBox* box = section("Startup");
    auto* rows = new QVBoxLayout(box);
    rows->addWidget(launchAtLogin_);
    rows->addWidget(trayOnly_);
    rows->addWidget(ViewStyle::secondaryLabel("With the window hidden, reopen it from the tray icon.", true));
    return box;
}

QWidget* SettingsPage::makeUpdates() {
    automaticUpdates_ = new QCheckBox("Check for updates automatically");
    connect(automaticUpdates_, &QCheckBox::clicked, &context_.updater, &UpdaterController::setChecksAutomatically);
    checkNow_ = new QPushButton("Check Now");
    connect(checkNow_, &QPushButton::clicked, &context_.updater, &UpdaterController::checkForUpdates);
    lastCheck_ = ViewStyle::secondaryLabel({}, true);
    QGroupBox* box = section("Updates");
    auto* rows = new QVBoxLayout(box);
    rows->addWidget(automaticUpdates_);
    rows->addLayout(buttonRow(checkNow_, lastCheck_));
    rows->addWidget(ViewStyle::secondaryLabel(
        "Updates are signed; a build that isn’t signed with our key is refused.", true));
    return box;
}

QWidget* SettingsPage::makeExtension() {
    extensionStatus_ = wrappingStatus();
    auto* install = new QPushButton("Install / Update Service");
    connect(install, &QPushButton::clicked, &presenter_, &SettingsPresenter::installExtension);
    QGroupBox* box = section("Tunnel Service");
    // Rows of boxes, not a form: a form lays a wrapped field out one line short.
    auto* rows = new QVBoxLayout(box);
    auto* status = new QHBoxLayout;
    status->addWidget(new QLabel("Status"), 0, Qt::AlignTop);
    status->addWidget(extensionStatus_, 1);
    rows->addLayout(status);
    rows->addLayout(buttonRow(install, ViewStyle::secondaryLabel("Requires an administrator password; to control the tunnel "
                                                                "your account must be root or in the group “corvane”.",
                                                                true)));
    return box;
}

QWidget* SettingsPage::makeAbout() {
    version_ = selectable(SettingsPresenter::versionText());
    auto* licences = new QPushButton("Open Source Licences…");
    connect(licences, &QPushButton::clicked, this, &SettingsPage::showAcknowledgements);
    QGroupBox* box = section("About");
    auto* rows = new QFormLayout(box);
    rows->addRow("Version", version_);
    rows->addRow(buttonRow(licences, ViewStyle::secondaryLabel("Third-party code included in Corvane.", true)));
    return box;
}

QWidget* SettingsPage::makeProfile() {
    location_ = selectable({});
    location_->setFont(Fonts::callout(font()));
    location_->setWordWrap(true);
    auto* exportButton = new QPushButton("Export…");
    auto* importButton = new QPushButton("Import…");
    showInFileManager_ = new QPushButton("Show in File Manager");
    connect(exportButton, &QPushButton::clicked, &presenter_, &SettingsPresenter::exportProfile);
    connect(importButton, &QPushButton::clicked, &presenter_, &SettingsPresenter::importProfile);
    connect(showInFileManager_, &QPushButton::clicked, &presenter_, &SettingsPresenter::showProfileInFileManager);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(exportButton);
    buttons->addWidget(importButton);
    buttons->addStretch();
    buttons->addWidget(showInFileManager_);
    QGroupBox* box = section("Profile");
    auto* rows = new QFormLayout(box);
    rows->addRow("Location", location_);
    rows->addRow(buttons);
    return box;
}

void SettingsPage::refresh() {
    while (QLayoutItem* item = checkRows_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const std::vector<SettingsPresenter::Check> checks = presenter_.profileChecks();
    for (const SettingsPresenter::Check& check : checks) {
        const bool error = check.severity == ProfileCodec::Severity::error;
        auto* icon = new QLabel;
        icon->setPixmap(IconRegistry::tinted(error ? "exclamationmark.triangle.fill" : "info.circle",
                                             error ? Tones::red() : Tones::yellow())
                            .pixmap(kCheckIconSize, kCheckIconSize));
        auto* message = new QLabel(check.message);
        message->setTextFormat(Qt::PlainText);
        message->setWordWrap(true);
        message->setFont(Fonts::callout(font()));
        auto* row = new QWidget;
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        line->addWidget(icon, 0, Qt::AlignTop);
        line->addWidget(message, 1);
        checkRows_->addWidget(row);
    }
    checks_->setVisible(!checks.empty());

    const QSignalBlocker blocker(defaultAction_);
    defaultAction_->clear();
    defaultAction_->addItems(presenter_.defaultActionOptions());
    defaultAction_->setCurrentIndex(presenter_.defaultActionIndex().value_or(-1));

    launchAtLogin_->setChecked(context_.loginItem.isEnabled());
    trayOnly_->setChecked(context_.activationPolicy.menuBarOnly());
    automaticUpdates_->setChecked(context_.updater.checksAutomatically());
    checkNow_->setEnabled(context_.updater.canCheckForUpdates());
    lastCheck_->setText(context_.updater.lastCheckDescription());
    extensionStatus_->setText(presenter_.extensionStatusText());
    location_->setText(presenter_.profileLocation());
    showInFileManager_->setEnabled(!presenter_.profileLocation().isEmpty());
}

AcknowledgementsSheet* SettingsPage::acknowledgements() const { return acknowledgements_; }

void SettingsPage::showAcknowledgements() {
    if (acknowledgements_) return acknowledgements_->raise();
    acknowledgements_ = new AcknowledgementsSheet(desktop_, this);
    acknowledgements_->setAttribute(Qt::WA_DeleteOnClose);
    acknowledgements_->open();
}

void SettingsPage::showEvent(QShowEvent* event) {
    refresh();
    QWidget::showEvent(event);
}

QWidget* makeSettingsPage(const PageContext& context) {
    auto* desktop = new SystemDesktopServices;
    auto* page = new SettingsPage(context, *desktop);
    desktop->setParent(page);
    return page;
}

}  // namespace corvane::app
