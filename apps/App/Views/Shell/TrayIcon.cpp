#include "TrayIcon.hpp"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

#include "EngineStatusPresentation.hpp"
#include "IconRegistry.hpp"
#include "Model/AppState.hpp"
#include "Shared/AppIdentifiers.hpp"
#include "Views/Common/ViewStyle.hpp"

namespace corvane::app {

TrayIcon::TrayIcon(AppState& state, std::function<void()> openWindow, QObject* parent)
    : QObject(parent), state_(state), menu_(new QMenu), icon_(new QSystemTrayIcon(this)) {
    menu_->setObjectName("trayMenu");
    status_ = menu_->addAction(QString());
    status_->setEnabled(false);
    toggle_ = menu_->addAction(QString());
    connect(toggle_, &QAction::triggered, this, [this] { state_.extensionManager().toggle(); });
    menu_->addSeparator();
    connect(menu_->addAction("Open Corvane"), &QAction::triggered, this, std::move(openWindow));
    connect(menu_->addAction("Quit"), &QAction::triggered, qApp, &QApplication::quit);

    icon_->setIcon(IconRegistry::appIcon());
    icon_->setToolTip(ViewStyle::text(AppIdentifiers::productName));
    icon_->setContextMenu(menu_);
    // A left click opens the same menu, as a menu-bar item would.
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) menu_->popup(QCursor::pos());
    });
    connect(&state_.extensionManager(), &ExtensionManager::engineStatusChanged, this, &TrayIcon::refresh);
    refresh();
}

TrayIcon::~TrayIcon() { delete menu_; }

void TrayIcon::show() { icon_->show(); }

void TrayIcon::refresh() {
    const EngineStatus& status = state_.extensionManager().engineStatus();
    // A message may hold "&", which a menu would take for a shortcut mark.
    status_->setText(QString::fromStdString(EngineStatusPresentation::trayLine(status)).replace("&", "&&"));
    toggle_->setText(ViewStyle::text(EngineStatusPresentation::toggle(status).label));
}

}  // namespace corvane::app
