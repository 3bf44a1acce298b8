#include "ErrorAlert.hpp"

#include <QPushButton>
#include <QWidget>

#include "Model/AppState.hpp"

namespace corvane::app {

ErrorAlert::ErrorAlert(AppState& state, QWidget& window) : QObject(&window), state_(state), window_(window) {
    connect(&state_, &AppState::lastErrorChanged, this, &ErrorAlert::refresh);
}

void ErrorAlert::refresh() {
    const auto& error = state_.lastError();
    if (!error) {
        if (box_) box_->close();
        return;
    }
    if (!box_ && window_.isVisible()) {
        box_ = new QMessageBox(QMessageBox::Warning, "Error", {}, QMessageBox::NoButton, &window_);
        box_->setObjectName("errorAlert");
        box_->setAttribute(Qt::WA_DeleteOnClose);
        QPushButton* ok = box_->addButton("OK", QMessageBox::RejectRole);
        box_->setDefaultButton(ok);
        box_->setEscapeButton(ok);
        connect(box_, &QMessageBox::finished, this, &ErrorAlert::dismissed);
        box_->setText(QString::fromStdString(*error));
        box_->open();
    } else if (box_) {
        box_->setText(QString::fromStdString(*error));
    }
}

void ErrorAlert::dismissed() {
    box_.clear();
    state_.setLastError(std::nullopt);
}

}  // namespace corvane::app
