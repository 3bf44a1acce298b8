#include "ProxyRow.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ProxyTestIndicator.hpp"
#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Common/WidgetRowsAccessible.hpp"

namespace corvane::app {

ProxyRow::ProxyRow(QWidget* parent)
    : QWidget(parent),
      name_(new QLabel),
      subtitle_(ViewStyle::secondaryLabel(QString())),
      indicator_(new ProxyTestIndicator),
      test_(new QPushButton("Test")) {
    // Screen readers reach the row's Test button through the row.
    WidgetRowsAccessible::readAsRow(*this);
    name_->setFont(Fonts::medium(name_->font()));
    test_->setObjectName("test");
    test_->setFont(Fonts::callout(test_->font()));
    test_->setAutoDefault(false);
    test_->setFixedWidth(test_->fontMetrics().horizontalAdvance(test_->text()) + 28);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(name_);
    texts->addWidget(subtitle_);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 7, 14, 7);
    layout->setSpacing(10);
    layout->addLayout(texts, 1);
    layout->addWidget(indicator_);
    layout->addWidget(test_);
    connect(test_, &QPushButton::clicked, this, &ProxyRow::testClicked);
    refreshColours();
}

void ProxyRow::setRow(const ProxiesPresenter::Row& row) {
    name_->setText(ViewStyle::text(row.name));
    subtitle_->setText(ViewStyle::text(row.subtitle));
    indicator_->setIndicator(row.indicator);
}

void ProxyRow::setSelected(bool selected) {
    if (selected == selected_) return;
    selected_ = selected;
    refreshColours();
}

void ProxyRow::refreshColours() {
    const QPalette& shown = palette();
    const QColor selectedText = shown.color(QPalette::HighlightedText);
    ViewStyle::setColour(name_, selected_ ? selectedText : shown.color(QPalette::WindowText));
    ViewStyle::setColour(subtitle_, selected_ ? selectedText : Tones::secondaryText(shown));
    indicator_->setSelected(selected_);
}

QString ProxyRow::subtitle() const { return subtitle_->text(); }

}  // namespace corvane::app
