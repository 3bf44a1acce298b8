#include "RuleRowDelegate.hpp"

#include <QMouseEvent>
#include <QPainter>

#include "RulesListModel.hpp"
#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"

namespace corvane::app {

namespace {

constexpr int kMargin = 12;
constexpr int kSwitchWidth = 26;
constexpr int kSwitchHeight = 15;
constexpr int kGap = 10;

void paintSwitch(QPainter* painter, const QRect& rect, bool on, const QPalette& palette) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(on ? palette.color(QPalette::Highlight) : Tones::tertiaryText(palette));
    const qreal radius = rect.height() / 2.0;
    painter->drawRoundedRect(QRectF(rect), radius, radius);
    const qreal knob = rect.height() - 4;
    const qreal x = on ? rect.right() + 1 - 2 - knob : rect.left() + 2;
    painter->setBrush(Qt::white);
    painter->drawEllipse(QRectF(x, rect.top() + 2, knob, knob));
    painter->restore();
}

}  // namespace

QRect RuleRowDelegate::switchRect(const QRect& row) {
    return {row.left() + kMargin, row.center().y() - kSwitchHeight / 2, kSwitchWidth, kSwitchHeight};
}

void RuleRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    paintBackground(painter, option, index);

    const QPalette& palette = option.palette;
    auto [primary, secondary, tertiary] = colours(option);
    if (option.state & QStyle::State_Selected) secondary.setAlphaF(0.8f);

    const QRect row = option.rect;
    const QRect toggle = switchRect(row);
    paintSwitch(painter, toggle, index.data(RulesListModel::EnabledRole).toBool(), palette);

    painter->save();
    const QFont nameFont = Fonts::medium(option.font);
    const QFont calloutFont = Fonts::callout(option.font);
    const QString action = index.data(RulesListModel::ActionRole).toString();
    const int actionWidth = QFontMetrics(option.font).horizontalAdvance(action);
    const QRect actionRect(row.right() - kMargin - actionWidth, row.top(), actionWidth, row.height());
    painter->setFont(option.font);
    painter->setPen(secondary);
    painter->drawText(actionRect, Qt::AlignVCenter | Qt::AlignRight, action);

    const int left = toggle.right() + 1 + kGap;
    const int width = std::max(0, actionRect.left() - kGap - left);
    const QFontMetrics nameMetrics(nameFont);
    const QFontMetrics calloutMetrics(calloutFont);
    const int textHeight = nameMetrics.height() + 2 + calloutMetrics.height();
    const int top = row.center().y() - textHeight / 2;
    painter->setFont(nameFont);
    painter->setPen(primary);
    painter->drawText(QRect(left, top, width, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, width));
    painter->setFont(calloutFont);
    painter->setPen(secondary);
    painter->drawText(QRect(left, top + nameMetrics.height() + 2, width, calloutMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      calloutMetrics.elidedText(index.data(RulesListModel::SummaryRole).toString(), Qt::ElideRight,
                                                width));
    painter->restore();
}

QSize RuleRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    const int height = QFontMetrics(Fonts::medium(option.font)).height() + 2 +
                       QFontMetrics(Fonts::callout(option.font)).height() + 16;
    return {option.rect.width(), height};
}

bool RuleRowDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) {
    if (isClickIn(event, switchRect(option.rect))) {
        emit switchToggled(index.row(), !index.data(RulesListModel::EnabledRole).toBool());
        return true;
    }
    if (event->type() == QEvent::MouseButtonDblClick) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (switchRect(option.rect).contains(mouse->position().toPoint())) return true;
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

}  // namespace corvane::app
