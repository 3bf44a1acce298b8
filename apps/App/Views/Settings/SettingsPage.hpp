#pragma once

#include <QPointer>
#include <QWidget>

#include "Presenters/Settings/SettingsPresenter.hpp"
#include "Views/Shell/PageContext.hpp"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace corvane::app {

class AcknowledgementsSheet;

// The Settings page: the profile's checks, the default action, launch at login
// and tray-only mode, updates, the daemon service, the version and licences,
// and the profile file with its export and import. Everything shown is read
// again from the model, the updater and the autostart file whenever the page
// shows or what it shows of them changes.
class SettingsPage : public QWidget {
    Q_OBJECT

public:
    SettingsPage(const PageContext& context, DesktopServices& desktop, QWidget* parent = nullptr);

    SettingsPresenter& presenter() { return presenter_; }
    QGroupBox* checksSection() const { return checks_; }
    QComboBox* defaultAction() const { return defaultAction_; }
    QCheckBox* launchAtLogin() const { return launchAtLogin_; }
    QCheckBox* trayOnly() const { return trayOnly_; }
    QCheckBox* automaticUpdates() const { return automaticUpdates_; }
    QPushButton* checkNow() const { return checkNow_; }
    QLabel* extensionStatus() const { return extensionStatus_; }
    QLabel* version() const { return version_; }
    AcknowledgementsSheet* acknowledgements() const;
    // Reads everything shown again.
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeChecks();
    QWidget* makeRouting();
    QWidget* makeStartup();
    QWidget* makeUpdates();
    QWidget* makeExtension();
    QWidget* makeAbout();
    QWidget* makeProfile();
    void showAcknowledgements();

    PageContext context_;
    SettingsPresenter presenter_;
    DesktopServices& desktop_;
    QGroupBox* checks_ = nullptr;
    QVBoxLayout* checkRows_ = nullptr;
    QComboBox* defaultAction_ = nullptr;
    QCheckBox* launchAtLogin_ = nullptr;
    QCheckBox* trayOnly_ = nullptr;
    QCheckBox* automaticUpdates_ = nullptr;
    QPushButton* checkNow_ = nullptr;
    QLabel* lastCheck_ = nullptr;
    QLabel* extensionStatus_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* location_ = nullptr;
    QPushButton* showInFileManager_ = nullptr;
    QPointer<AcknowledgementsSheet> acknowledgements_;
};

}  // namespace corvane::app
