#pragma once

#include <QStyledItemDelegate>

namespace corvane::app {

class ConnectionGroupModel;

// The grouped list's rows. A group: its application (medium weight, shortened
// in the middle) over its subtitle, and on the trailing side its first two rule
// names and its traffic. A record: its time, its target (shortened in the
// middle), and on the trailing side its rule, its traffic and its status badge.
// On a selected row every text takes the selected-text colour.
class ConnectionGroupDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    ConnectionGroupDelegate(const ConnectionGroupModel& model, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const ConnectionGroupModel& model_;
};

}  // namespace corvane::app
