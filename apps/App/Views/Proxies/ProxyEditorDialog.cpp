#include "ProxyEditorDialog.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "Views/Common/SheetFooter.hpp"
#include "Views/Common/ViewStyle.hpp"

namespace corvane::app {

namespace {

QGroupBox* section(const QString& title, QFormLayout*& form) {
    auto* box = new QGroupBox(title);
    box->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    form = new QFormLayout(box);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    return box;
}

}  // namespace

ProxyEditorDialog::ProxyEditorDialog(ProxyServer proxy, QWidget* parent)
    : QDialog(parent), presenter_(std::move(proxy)) {
    setObjectName("proxyEditor");
    SheetFooter::fixSize(*this, QSize(kWidth, kHeight));
    SheetFooter::layOut(*this, nullptr, makeForm(), makeFooter());
    refresh();
}

QWidget* ProxyEditorDialog::makeForm() {
    const ProxyServer& proxy = presenter_.proxy();
    name_ = new QLineEdit(ViewStyle::text(proxy.name));
    name_->setObjectName("name");
    protocol_ = new QComboBox;
    protocol_->setObjectName("protocol");
    for (ProxyProtocol kind : allProxyProtocols)
        protocol_->addItem(ViewStyle::text(std::string(displayName(kind))), static_cast<int>(kind));
    protocol_->setCurrentIndex(protocol_->findData(static_cast<int>(proxy.kind)));
    host_ = new QLineEdit(ViewStyle::text(proxy.host));
    host_->setObjectName("host");
    host_->setPlaceholderText("proxy.example.com");
    port_ = new QLineEdit(ViewStyle::text(presenter_.portText()));
    port_->setObjectName("port");
    port_->setPlaceholderText("1080");
    resolve_ = new QCheckBox("Resolve hostnames through proxy");
    resolve_->setChecked(proxy.resolvesHostnamesRemotely);
    useAuth_ = new QCheckBox("Requires authentication");
    useAuth_->setChecked(presenter_.usesAuthentication());
    username_ = new QLineEdit(ViewStyle::text(presenter_.username()));
    username_->setObjectName("username");
    password_ = new QLineEdit(ViewStyle::text(presenter_.password()));
    password_->setObjectName("password");
    password_->setEchoMode(QLineEdit::Password);

    auto* nameForm = new QFormLayout;
    nameForm->addRow("Name", name_);
    auto* server = section("Server", server_);
    server_->addRow("Protocol", protocol_);
    server_->addRow("Host", host_);
    server_->addRow("Port", port_);
    server_->addRow(resolve_);
    auto* authentication = section("Authentication", authentication_);
    authentication_->addRow(useAuth_);
    authentication_->addRow("Username", username_);
    authentication_->addRow("Password", password_);

    auto* form = new QWidget;
    auto* layout = new QVBoxLayout(form);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(12);
    layout->addLayout(nameForm);
    layout->addWidget(server);
    layout->addWidget(authentication);
    layout->addStretch();

    connect(name_, &QLineEdit::textEdited, this, [this](const QString& text) {
        presenter_.setName(text.toStdString());
        refresh();
    });
    connect(host_, &QLineEdit::textEdited, this, [this](const QString& text) {
        presenter_.setHost(text.toStdString());
        refresh();
    });
    connect(port_, &QLineEdit::textEdited, this, [this](const QString& text) {
        presenter_.setPortText(text.toStdString());
        refresh();
    });
    // Only a choice of the user changes the protocol.
    connect(protocol_, &QComboBox::activated, this, [this](int index) {
        if (index < 0) return;
        presenter_.setKind(static_cast<ProxyProtocol>(protocol_->itemData(index).toInt()));
        refresh();
    });
    connect(resolve_, &QCheckBox::toggled, this, [this](bool on) { presenter_.setResolvesHostnamesRemotely(on); });
    connect(useAuth_, &QCheckBox::toggled, this, [this](bool on) {
        presenter_.setUsesAuthentication(on);
        refresh();
    });
    connect(username_, &QLineEdit::textEdited, this,
            [this](const QString& text) { presenter_.setUsername(text.toStdString()); });
    connect(password_, &QLineEdit::textEdited, this,
            [this](const QString& text) { presenter_.setPassword(text.toStdString()); });
    return form;
}

SheetFooter* ProxyEditorDialog::makeFooter() {
    auto* footer = new SheetFooter(*this, "Save");
    save_ = footer->action();
    save_->setObjectName("save");
    connect(save_, &QPushButton::clicked, this, &ProxyEditorDialog::save);
    return footer;
}

void ProxyEditorDialog::refresh() {
    server_->setRowVisible(resolve_, presenter_.showsResolveOption());
    authentication_->setRowVisible(username_, presenter_.usesAuthentication());
    authentication_->setRowVisible(password_, presenter_.usesAuthentication());
    save_->setEnabled(presenter_.isValid());
}

void ProxyEditorDialog::save() {
    if (!presenter_.isValid()) return;
    const auto proxy = presenter_.save();
    if (!proxy) return;
    emit saved(*proxy);
    accept();
}

}  // namespace corvane::app
