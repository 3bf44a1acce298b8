#pragma once

#include <QDialog>

#include "Presenters/Proxies/ProxyEditorPresenter.hpp"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLineEdit;
class QPushButton;

namespace corvane::app {

class SheetFooter;

// The sheet that edits one proxy (or fills in a new one). "Save", enabled only
// while the entries are valid, hands the proxy to saved() and closes.
class ProxyEditorDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kWidth = 440;
    static constexpr int kHeight = 430;

    explicit ProxyEditorDialog(ProxyServer proxy, QWidget* parent = nullptr);

    ProxyEditorPresenter& presenter() { return presenter_; }
    QLineEdit* nameField() const { return name_; }
    QLineEdit* hostField() const { return host_; }
    QLineEdit* portField() const { return port_; }
    QComboBox* protocolPicker() const { return protocol_; }
    QCheckBox* resolveRemotely() const { return resolve_; }
    QCheckBox* requiresAuthentication() const { return useAuth_; }
    QLineEdit* usernameField() const { return username_; }
    QLineEdit* passwordField() const { return password_; }
    QPushButton* saveButton() const { return save_; }

signals:
    void saved(const ProxyServer& proxy);

private:
    QWidget* makeForm();
    SheetFooter* makeFooter();
    void refresh();
    void save();

    ProxyEditorPresenter presenter_;
    QFormLayout* server_ = nullptr;
    QFormLayout* authentication_ = nullptr;
    QLineEdit* name_ = nullptr;
    QComboBox* protocol_ = nullptr;
    QLineEdit* host_ = nullptr;
    QLineEdit* port_ = nullptr;
    QCheckBox* resolve_ = nullptr;
    QCheckBox* useAuth_ = nullptr;
    QLineEdit* username_ = nullptr;
    QLineEdit* password_ = nullptr;
    QPushButton* save_ = nullptr;
};

}  // namespace corvane::app
