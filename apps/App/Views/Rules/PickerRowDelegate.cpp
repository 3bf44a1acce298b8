#include "PickerRowDelegate.hpp"

#include <QPainter>

#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Shell/IconRegistry.hpp"

namespace corvane::app {

namespace {

constexpr int kMargin = 12;
constexpr int kSpacing = 10;
constexpr int kCheck = 20;
constexpr int kIcon = 20;

void paintHeader(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) {
    QFont font = Fonts::callout(option.font);
    font.setWeight(QFont::DemiBold);
    painter->setFont(font);
    painter->setPen(Tones::secondaryText(option.palette));
    const QRect text = option.rect.adjusted(kMargin, 6, -kMargin, 0);
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter, index.data(Qt::DisplayRole).toString());
}

}  // namespace

void PickerRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    painter->save();
    if (index.data(HeaderRole).toBool()) {
        paintHeader(painter, option, index);
        painter->restore();
        return;
    }
    const QPalette& palette = option.palette;
    const QRect row = option.rect;
    if (option.state & QStyle::State_MouseOver) {
        QColor hover = palette.color(QPalette::Highlight);
        hover.setAlphaF(0.08f);
        painter->fillRect(row, hover);
    }
    const QRect check(row.left() + kMargin, row.center().y() - kCheck / 2, kCheck, kCheck);
    const QIcon mark = index.data(CheckedRole).toBool()
                           ? IconRegistry::tinted("checkmark.circle.fill", palette.color(QPalette::Highlight))
                           : IconRegistry::tinted("circle", Tones::secondaryText(palette));
    mark.paint(painter, check);
    const QRect iconRect(check.right() + 1 + kSpacing, row.center().y() - kIcon / 2, kIcon, kIcon);
    index.data(Qt::DecorationRole).value<QIcon>().paint(painter, iconRect);

    const int left = iconRect.right() + 1 + kSpacing;
    const int width = std::max(0, row.right() - kMargin - left);
    const QFont callout = Fonts::callout(option.font);
    const QFontMetrics titleMetrics(option.font);
    const QFontMetrics subtitleMetrics(callout);
    const int top = row.center().y() - (titleMetrics.height() + 1 + subtitleMetrics.height()) / 2;
    painter->setFont(option.font);
    painter->setPen(palette.color(QPalette::Text));
    painter->drawText(QRect(left, top, width, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      titleMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, width));
    const QVariant elideMode = index.data(ElideRole);
    const auto elide = elideMode.isValid() ? static_cast<Qt::TextElideMode>(elideMode.toInt()) : Qt::ElideRight;
    painter->setFont(callout);
    painter->setPen(Tones::secondaryText(palette));
    painter->drawText(QRect(left, top + titleMetrics.height() + 1, width, subtitleMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      subtitleMetrics.elidedText(index.data(SubtitleRole).toString(), elide, width));
    painter->restore();
}

QSize PickerRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const int text = QFontMetrics(option.font).height();
    if (index.data(HeaderRole).toBool()) return {option.rect.width(), text + 10};
    return {option.rect.width(), text + 1 + QFontMetrics(Fonts::callout(option.font)).height() + 6};
}

}  // namespace corvane::app
