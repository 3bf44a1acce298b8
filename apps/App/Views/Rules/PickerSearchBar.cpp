#include "PickerSearchBar.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include "Views/Common/Tones.hpp"
#include "Views/Shell/IconRegistry.hpp"

namespace corvane::app {

PickerSearchBar::PickerSearchBar(const QString& placeholder, bool clearButton, QWidget* parent)
    : QWidget(parent), field_(new QLineEdit(this)) {
    const QColor secondary = Tones::secondaryText(palette());
    auto* glass = new QLabel(this);
    glass->setPixmap(IconRegistry::tinted("magnifyingglass", secondary).pixmap(16, 16));
    field_->setObjectName("search");
    field_->setAccessibleName(placeholder);
    field_->setFrame(false);
    field_->setPlaceholderText(placeholder);
    field_->setStyleSheet("QLineEdit { background: transparent; }");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(6);
    layout->addWidget(glass);
    layout->addWidget(field_, 1);
    if (clearButton) {
        clear_ = new QToolButton(this);
        clear_->setObjectName("clearSearch");
        clear_->setIcon(IconRegistry::tinted("xmark.circle.fill", secondary));
        clear_->setAutoRaise(true);
        clear_->setIconSize(QSize(14, 14));
        clear_->setVisible(false);
        layout->addWidget(clear_);
        connect(clear_, &QToolButton::clicked, field_, &QLineEdit::clear);
    }
    connect(field_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (clear_) clear_->setVisible(!text.isEmpty());
        emit queryChanged(text);
    });
}

}  // namespace corvane::app
