#include "SheetFooter.hpp"

#include <algorithm>

#include <QDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ViewStyle.hpp"

namespace corvane::app {

SheetFooter::SheetFooter(QDialog& sheet, const QString& actionTitle, QWidget* leading)
    : cancel_(new QPushButton("Cancel")), action_(new QPushButton(actionTitle)) {
    cancel_->setObjectName("cancel");
    cancel_->setAutoDefault(false);
    action_->setAutoDefault(false);
    action_->setDefault(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    if (leading != nullptr) layout->addWidget(leading);
    layout->addStretch();
    layout->addWidget(cancel_);
    layout->addWidget(action_);
    connect(cancel_, &QPushButton::clicked, &sheet, &QDialog::reject);
}

void SheetFooter::layOut(QDialog& sheet, QWidget* header, QWidget* body, SheetFooter* footer) {
    auto* layout = new QVBoxLayout(&sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (header != nullptr) {
        layout->addWidget(header);
        layout->addWidget(ViewStyle::divider());
    }
    layout->addWidget(body, 1);
    layout->addWidget(ViewStyle::divider());
    layout->addWidget(footer);
}

void SheetFooter::fixSize(QDialog& sheet, QSize size) {
    const QWidget* presenter = sheet.parentWidget() != nullptr ? sheet.parentWidget()->window() : nullptr;
    const QScreen* screen = presenter != nullptr ? presenter->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        // The sheet's frame will be the one the window manager gave the presenting window.
        const QSize frame = presenter != nullptr && presenter->isVisible()
                                ? presenter->frameGeometry().size() - presenter->size()
                                : QSize(0, 0);
        const QSize room = screen->availableGeometry().size() - frame;
        size = size.boundedTo(room);
    }
    sheet.setFixedSize(size);
}

}  // namespace corvane::app
