#include "ProxyTestIndicator.hpp"

#include <optional>

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>

#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Editors/Spinner.hpp"

namespace corvane::app {

namespace {

constexpr int kDot = 8;

// The dot, within a ring of `ring` when it sits on a selected row.
QPixmap dot(const QColor& colour, std::optional<QColor> ring) {
    constexpr int kRing = 2;
    constexpr int kSide = kDot + 2 * kRing;
    QPixmap pixmap(kSide * 2, kSide * 2);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    if (ring) {
        painter.setBrush(*ring);
        painter.drawEllipse(QRectF(0, 0, kSide, kSide));
    }
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(kRing, kRing, kDot, kDot));
    return pixmap;
}

// What the spinner or the dot and its text say, in words.
QString description(const ProxiesPresenter::Indicator& indicator) {
    switch (indicator.kind) {
        case ProxyTestState::Kind::testing: return "Testing…";
        case ProxyTestState::Kind::success: return "Reachable, " + ViewStyle::text(indicator.text);
        case ProxyTestState::Kind::failure: return ViewStyle::text(indicator.tooltip);
        case ProxyTestState::Kind::idle: break;
    }
    return "Not tested";
}

}  // namespace

ProxyTestIndicator::ProxyTestIndicator(QWidget* parent)
    : QWidget(parent), spinner_(new Spinner(14, this)), dot_(new QLabel(this)), text_(new QLabel(this)) {
    setAccessibleName("Health");
    text_->setFont(Fonts::callout(text_->font()));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    layout->addWidget(spinner_);
    layout->addSpacing(2);
    layout->addWidget(dot_);
    layout->addWidget(text_);
    setIndicator(ProxiesPresenter::indicator(ProxyTestState::idle()));
}

void ProxyTestIndicator::setIndicator(const ProxiesPresenter::Indicator& indicator) {
    using Kind = ProxyTestState::Kind;
    kind_ = indicator.kind;
    spinner_->setVisible(indicator.kind == Kind::testing);
    const bool done = indicator.kind == Kind::success || indicator.kind == Kind::failure;
    dot_->setVisible(done);
    text_->setVisible(done);
    text_->setText(ViewStyle::text(indicator.text));
    setToolTip(ViewStyle::text(indicator.tooltip));
    setAccessibleDescription(description(indicator));
    refreshMark();
}

void ProxyTestIndicator::setSelected(bool selected) {
    if (selected == selected_) return;
    selected_ = selected;
    refreshMark();
}

void ProxyTestIndicator::refreshMark() {
    const bool success = kind_ == ProxyTestState::Kind::success;
    const QColor selectedText = palette().color(QPalette::HighlightedText);
    std::optional<QColor> ring;
    if (selected_) ring = selectedText;
    dot_->setPixmap(dot(success ? Tones::green() : Tones::red(), ring));
    const QColor text = success ? Tones::secondaryText(palette()) : Tones::readable(Tones::red(), palette());
    ViewStyle::setColour(text_, selected_ ? selectedText : text);
}

QString ProxyTestIndicator::text() const { return text_->isVisibleTo(this) ? text_->text() : QString(); }

}  // namespace corvane::app
