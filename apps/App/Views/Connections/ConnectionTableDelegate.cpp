#include "ConnectionTableDelegate.hpp"

#include <QPainter>

#include "Views/Common/Tones.hpp"
#include "Views/Common/ViewStyle.hpp"
#include "Views/Connections/ConnectionTableModel.hpp"
#include "Views/Connections/StatusLabel.hpp"

namespace corvane::app {

namespace {

constexpr int kCellPadding = 4;

}  // namespace

void ConnectionTableDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    // A shortened target keeps its port, an application its last part.
    if (index.column() == ConnectionTableModel::application || index.column() == ConnectionTableModel::target) {
        option->textElideMode = Qt::ElideMiddle;
    }
    if (index.data(ConnectionTableModel::kSecondaryRole).toBool()) {
        option->palette.setColor(QPalette::Text, Tones::secondaryText(option->palette));
    }
}

void ConnectionTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    if (index.column() != ConnectionTableModel::status) return QStyledItemDelegate::paint(painter, option, index);
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    ViewStyle::paintRowBackground(*painter, background);
    const auto status = static_cast<ConnectionStatus>(index.data(ConnectionTableModel::kStatusRole).toInt());
    std::optional<QColor> selectedText;
    if (option.state & QStyle::State_Selected) selectedText = option.palette.color(QPalette::HighlightedText);
    StatusLabel::paint(*painter, option.rect.adjusted(kCellPadding, 0, 0, 0), status, option.font,
                       ViewStyle::rowBackground(background), selectedText);
}

}  // namespace corvane::app
