#include "MainWindow.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QToolBar>

#include "AboutDialog.hpp"
#include "EngineStatusBadge.hpp"
#include "EngineStatusPresentation.hpp"
#include "ErrorAlert.hpp"
#include "IconRegistry.hpp"
#include "Model/AppState.hpp"
#include "Model/UpdaterController.hpp"
#include "PageHost.hpp"
#include "Shared/AppIdentifiers.hpp"
#include "Views/Common/PageToolBar.hpp"
#include "Views/Common/ViewStyle.hpp"

namespace corvane::app {

MainWindow::MainWindow(PageContext context, QWidget* parent)
    : QMainWindow(parent), context_(context), pageHost_(new PageHost(context)),
      alert_(new ErrorAlert(context.state, *this)) {
    setObjectName("mainWindow");
    setWindowTitle(ViewStyle::text(AppIdentifiers::productName));
    setWindowIcon(IconRegistry::appIcon());
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    // The toolbar first: each new page joins the end of the tab order, which
    // then leads from the sidebar into the page.
    buildToolbar();
    setCentralWidget(pageHost_);
    buildMenu();
}

void MainWindow::buildToolbar() {
    auto* toolbar = new PageToolBar("Engine");
    addToolBar(toolbar);
    toolbar->setObjectName("engineToolbar");
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->toggleViewAction()->setVisible(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->setIconSize(QSize(16, 16));
    auto* spacer = new QWidget;
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);
    badge_ = new EngineStatusBadge;
    toolbar->addWidget(badge_);
    toolbar->addSeparator();
    toggle_ = toolbar->addAction(QString());
    toggle_->setObjectName("engineToggle");
    toggle_->setToolTip(ViewStyle::text(EngineStatusPresentation::kToggleHelp));
    connect(toggle_, &QAction::triggered, this, [this] { context_.state.extensionManager().toggle(); });
    connect(&context_.state.extensionManager(), &ExtensionManager::engineStatusChanged, this,
            &MainWindow::refreshEngineStatus);
    refreshEngineStatus();
}

void MainWindow::buildMenu() {
    appMenu_ = menuBar()->addMenu("&Corvane");
    appMenu_->setObjectName("appMenu");
    connect(appMenu_->addAction("About Corvane"), &QAction::triggered, this, &MainWindow::showAbout);
    QAction* check = appMenu_->addAction("Check for Updates…");
    check->setObjectName("checkForUpdates");
    check->setEnabled(context_.updater.canCheckForUpdates());
    connect(check, &QAction::triggered, this, [this] { context_.updater.checkForUpdates(); });
    connect(&context_.updater, &UpdaterController::canCheckForUpdatesChanged, check,
            [this, check] { check->setEnabled(context_.updater.canCheckForUpdates()); });
    appMenu_->addSeparator();
    QAction* quit = appMenu_->addAction("Quit");
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, qApp, &QApplication::quit);
}

void MainWindow::refreshEngineStatus() {
    const EngineStatus& status = context_.state.extensionManager().engineStatus();
    badge_->setStatus(status);
    const auto toggle = EngineStatusPresentation::toggle(status);
    toggle_->setText(ViewStyle::text(toggle.label));
    toggle_->setIcon(IconRegistry::icon(toggle.symbol));
}

void MainWindow::showAbout() {
    if (auto* open = findChild<AboutDialog*>()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* about = new AboutDialog(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->open();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    pageHost_->releasePage();
    QMainWindow::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event) {
    pageHost_->showPage();
    QMainWindow::showEvent(event);
    alert_->refresh();
}

}  // namespace corvane::app
