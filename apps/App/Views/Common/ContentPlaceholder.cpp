#include "ContentPlaceholder.hpp"

#include <QVBoxLayout>

#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Shell/IconRegistry.hpp"

namespace corvane::app {

namespace {

constexpr int kSymbolSize = 40;

}  // namespace

ContentPlaceholder::ContentPlaceholder(std::string_view symbol, const QString& title, QWidget* parent)
    : QWidget(parent), title_(new QLabel(title)), hint_(new QLabel) {
    auto* image = new QLabel;
    image->setPixmap(IconRegistry::tinted(symbol, Tones::faint(palette())).pixmap(kSymbolSize, kSymbolSize));
    image->setAlignment(Qt::AlignCenter);
    title_->setAlignment(Qt::AlignCenter);
    title_->setWordWrap(true);
    ViewStyle::setColour(title_, Tones::secondaryText(palette()));
    hint_->setAlignment(Qt::AlignCenter);
    hint_->setWordWrap(true);
    hint_->setFont(Fonts::callout(font()));
    ViewStyle::setColour(hint_, Tones::tertiaryText(palette()));
    hint_->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    layout->addStretch();
    layout->addWidget(image);
    layout->addWidget(title_);
    layout->addWidget(hint_);
    layout->addStretch();
}

void ContentPlaceholder::setHint(const QString& hint) {
    hint_->setText(hint);
    hint_->setVisible(!hint.isEmpty());
}

}  // namespace corvane::app
