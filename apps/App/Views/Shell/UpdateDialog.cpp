#include "UpdateDialog.hpp"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "IconRegistry.hpp"
#include "Model/Updater.hpp"

namespace corvane::app {

namespace {

using Stage = UpdateSession::Stage;

// A check the app made by itself only shows when it found something.
bool wantsWindow(const UpdateSession& session) {
    return session.stage != Stage::idle && (session.userInitiated || session.stage != Stage::checking);
}

}  // namespace

UpdateDialog::UpdateDialog(Updater& updater, QString currentVersion, QWidget* parent)
    : QDialog(parent), updater_(updater), currentVersion_(std::move(currentVersion)), title_(new QLabel),
      message_(new QLabel), notes_(new QPlainTextEdit), progress_(new QProgressBar),
      buttons_(new QDialogButtonBox) {
    setObjectName("updateDialog");
    setWindowTitle("Software Update");
    setWindowIcon(IconRegistry::appIcon());
    auto* symbol = new QLabel;
    symbol->setPixmap(IconRegistry::appIcon().pixmap(48, 48));
    symbol->setAlignment(Qt::AlignTop);
    QFont bold = title_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.1);
    title_->setFont(bold);
    title_->setWordWrap(true);
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notes_->setReadOnly(true);
    notes_->setFixedHeight(150);
    progress_->setTextVisible(false);

    auto* column = new QVBoxLayout;
    column->setSpacing(10);
    column->addWidget(title_);
    column->addWidget(message_);
    column->addWidget(notes_);
    column->addWidget(progress_);
    column->addStretch();
    column->addWidget(buttons_);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(16);
    layout->addWidget(symbol);
    layout->addLayout(column, 1);
    setFixedWidth(kWidth);

    connect(&updater_, &Updater::sessionChanged, this, &UpdateDialog::refresh);
    refresh();
}

void UpdateDialog::refresh() {
    const UpdateSession& session = updater_.session();
    if (!wantsWindow(session)) {
        hide();
        return;
    }
    content_ = UpdateDialogContent::of(session, currentVersion_);
    render();
    if (!isVisible()) {
        show();
        raise();
        activateWindow();
    }
}

void UpdateDialog::render() {
    title_->setText(content_.title);
    message_->setText(content_.message);
    message_->setVisible(!content_.message.isEmpty());
    notes_->setVisible(!content_.releaseNotes.isEmpty());
    if (notes_->toPlainText() != content_.releaseNotes) notes_->setPlainText(content_.releaseNotes);
    progress_->setVisible(content_.progress != UpdateDialogContent::Progress::none);
    if (content_.progress == UpdateDialogContent::Progress::busy) {
        progress_->setRange(0, 0);
    } else {
        // The bar counts kibibytes: its range is an int.
        progress_->setRange(0, static_cast<int>(content_.progressMaximum / 1024));
        progress_->setValue(static_cast<int>(content_.progressValue / 1024));
    }
    QStringList labels;
    for (const auto* button : buttons_->buttons()) labels << button->text();
    QStringList wanted;
    for (const auto& button : content_.buttons) wanted << button.label;
    if (labels != wanted) {
        buttons_->clear();
        for (const auto& button : content_.buttons) {
            QPushButton* push = buttons_->addButton(button.label, QDialogButtonBox::ActionRole);
            push->setDefault(button.isDefault);
            push->setAutoDefault(button.isDefault);
            connect(push, &QPushButton::clicked, this, [this, action = button.action] { act(action); });
        }
    }
    // Shrink to what this state shows, after a taller one.
    layout()->activate();
    resize(kWidth, layout()->totalHeightForWidth(kWidth));
}

void UpdateDialog::press(const QString& label) {
    for (auto* button : buttons_->buttons()) {
        if (button->text() == label) return button->click();
    }
}

void UpdateDialog::act(UpdateDialogContent::Action action) {
    switch (action) {
    case UpdateDialogContent::Action::dismiss: return updater_.dismiss();
    case UpdateDialogContent::Action::install: return updater_.installUpdate();
    case UpdateDialogContent::Action::relaunch: return updater_.relaunch();
    }
}

void UpdateDialog::reject() {
    if (content_.closable) updater_.dismiss();
}

}  // namespace corvane::app
