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

// The switch: on, a track in the selection colour with a white knob; off, a
// faint track. On a selected row, where the track would vanish into the
// selection, its colours turn round: the selected-text colour draws the track
// (on) or its outline and the knob (off).
void paintSwitch(QPainter* painter, const QRect& rect, bool on, bool selected, const QPalette& palette) {
    const QColor selection = palette.color(QPalette::Highlight);
    const QColor selectedText = palette.color(QPalette::HighlightedText);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const qreal radius = rect.height() / 2.0;
    const QRectF track = QRectF(rect).adjusted(0.75, 0.75, -0.75, -0.75);
    if (selected && !on) {
        painter->setPen(QPen(selectedText, 1.5));
        painter->setBrush(Qt::NoBrush);
    } else {
        painter->setPen(Qt::NoPen);
        painter->setBrush(selected ? selectedText : on ? selection : Tones::faint(palette));
    }
    painter->drawRoundedRect(track, radius, radius);
    const qreal knob = rect.height() - 4;
    const qreal x = on ? rect.right() + 1 - 2 - knob : rect.left() + 2;
    painter->setPen(Qt::NoPen);
    painter->setBrush(selected && on ? selection : selected ? selectedText : QColor(Qt::white));
    painter->drawEllipse(QRectF(x, rect.top() + 2, knob, knob));
    painter->restore();
}

}  // namespace

QRect RuleRowDelegate::switchRect(const QRect& row) {
    return {row.left() + kMargin, row.center().y() - kSwitchHeight / 2, kSwitchWidth, kSwitchHeight};
}

void RuleRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    paintBackground(painter, option, index);

    const auto [primary, secondary, tertiary] = colours(option);
    const QRect row = option.rect;
    const QRect toggle = switchRect(row);
    paintSwitch(painter, toggle, index.data(RulesListModel::EnabledRole).toBool(),
                option.state & QStyle::State_Selected, option.palette);

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
