#include "ConnectionGroupDelegate.hpp"

#include <algorithm>
#include <cmath>

#include <QPainter>

#include "Presenters/Connections/ConnectionTexts.hpp"
#include "Views/Common/DateTexts.hpp"
#include "Views/Common/Fonts.hpp"
#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Connections/ConnectionGroupModel.hpp"
#include "Views/Connections/StatusLabel.hpp"

namespace corvane::app {

namespace {

constexpr int kSpacing = 10;
constexpr int kTimeWidth = 62;
constexpr int kTrailingMargin = 8;
constexpr int kGroupPadding = 4;
constexpr int kRecordPadding = 3;

// Draws `text` in `font` and `colour` in `area`, shortened with `elide` to fit.
void drawText(QPainter& painter, const QRect& area, const QString& text, const QFont& font, const QColor& colour,
              Qt::Alignment alignment, Qt::TextElideMode elide = Qt::ElideRight) {
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(area, static_cast<int>(alignment | Qt::AlignVCenter),
                     QFontMetrics(font).elidedText(text, elide, area.width()));
}

// A text on the trailing side, right of `right`; the left edge left for the rest.
int drawTrailing(QPainter& painter, const QRect& row, int right, const QString& text, const QFont& font,
                 const QColor& colour, int widest) {
    const int natural = static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(text))) + 1;
    const int width = std::min(natural, widest);
    drawText(painter, QRect(right - width, row.top(), width, row.height()), text, font, colour, Qt::AlignRight);
    return right - width - kSpacing;
}

bool isSelected(const QStyleOptionViewItem& option) { return option.state & QStyle::State_Selected; }

// The row's main and secondary text colours: on a selected row both the
// selected-text colour.
QColor primaryText(const QStyleOptionViewItem& option) {
    return option.palette.color(isSelected(option) ? QPalette::HighlightedText : QPalette::Text);
}
QColor secondaryText(const QStyleOptionViewItem& option) {
    return isSelected(option) ? option.palette.color(QPalette::HighlightedText) : Tones::secondaryText(option.palette);
}

void paintGroup(QPainter& painter, const QStyleOptionViewItem& option, const ConnectionGroup& group) {
    const QRect row = option.rect.adjusted(0, kGroupPadding / 2, -kTrailingMargin, -kGroupPadding / 2);
    const QFont callout = Fonts::callout(option.font);
    const QColor secondary = secondaryText(option);
    int right = drawTrailing(painter, row, row.right(), ConnectionTexts::traffic(group.bytesSent, group.bytesReceived),
                             callout, secondary, row.width() / 3);
    const QString rules = ConnectionTexts::groupRuleNames(group);
    if (!rules.isEmpty()) right = drawTrailing(painter, row, right, rules, callout, secondary, row.width() / 4);

    const QFont title = Fonts::medium(option.font);
    const int titleHeight = QFontMetrics(title).height();
    const int subtitleHeight = QFontMetrics(callout).height();
    const int top = row.top() + (row.height() - titleHeight - 1 - subtitleHeight) / 2;
    const int width = std::max(0, right - row.left());
    drawText(painter, QRect(row.left(), top, width, titleHeight), QString::fromStdString(group.appIdentifier), title,
             primaryText(option), Qt::AlignLeft, Qt::ElideMiddle);
    drawText(painter, QRect(row.left(), top + titleHeight + 1, width, subtitleHeight),
             QString::fromStdString(group.subtitle()), callout, secondary, Qt::AlignLeft);
}

void paintRecord(QPainter& painter, const QStyleOptionViewItem& option, const ConnectionRecord& record) {
    const QRect row = option.rect.adjusted(0, 0, -kTrailingMargin, 0);
    const QFont callout = Fonts::callout(option.font);
    const QColor secondary = secondaryText(option);
    const QSize badge = StatusLabel::badgeSize(record.status, option.font);
    std::optional<QColor> selectedText;
    if (isSelected(option)) selectedText = primaryText(option);
    StatusLabel::paint(painter, QRect(row.right() - badge.width(), row.top(), badge.width(), row.height()),
                       record.status, option.font, ViewStyle::rowBackground(option), selectedText);
    int right = row.right() - badge.width() - kSpacing;
    right = drawTrailing(painter, row, right, ConnectionTexts::traffic(record.bytesSent, record.bytesReceived),
                         callout, secondary, row.width() / 3);
    right = drawTrailing(painter, row, right, ConnectionTexts::ruleName(record), callout, secondary, row.width() / 5);

    drawText(painter, QRect(row.left(), row.top(), kTimeWidth, row.height()), DateTexts::timeOfDay(record.startedAt),
             callout, secondary, Qt::AlignLeft);
    const int targetLeft = row.left() + kTimeWidth + kSpacing;
    drawText(painter, QRect(targetLeft, row.top(), std::max(0, right - targetLeft), row.height()),
             QString::fromStdString(record.target), option.font, primaryText(option), Qt::AlignLeft,
             Qt::ElideMiddle);
}

}  // namespace

ConnectionGroupDelegate::ConnectionGroupDelegate(const ConnectionGroupModel& model, QObject* parent)
    : QStyledItemDelegate(parent), model_(model) {}

void ConnectionGroupDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    ViewStyle::paintRowBackground(*painter, option);
    painter->save();
    if (const ConnectionGroup* group = model_.group(index)) paintGroup(*painter, option, *group);
    if (const ConnectionRecord* record = model_.record(index)) paintRecord(*painter, option, *record);
    painter->restore();
}

QSize ConnectionGroupDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const int callout = QFontMetrics(Fonts::callout(option.font)).height();
    if (model_.group(index)) {
        return {0, QFontMetrics(Fonts::medium(option.font)).height() + 1 + callout + 2 * kGroupPadding + 4};
    }
    const int badge = StatusLabel::badgeSize(ConnectionStatus::active, option.font).height();
    return {0, std::max(QFontMetrics(option.font).height(), badge) + 2 * kRecordPadding};
}

}  // namespace corvane::app
