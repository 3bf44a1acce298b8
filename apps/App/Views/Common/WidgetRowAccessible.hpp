#pragma once

#include <QAccessibleWidget>

class QListWidget;
class QListWidgetItem;

namespace corvane::app {

// One row of a list read by WidgetRowsAccessible: the row widget as a list
// item with its item's name, description, selection and focus. Its list and
// item are looked up when asked, so it reads right from when the row is made.
class WidgetRowAccessible : public QAccessibleWidget {
public:
    explicit WidgetRowAccessible(QWidget* row);

    QString text(QAccessible::Text text) const override;
    QAccessible::State state() const override;
    QAccessibleInterface* parent() const override;

private:
    // The list the row is on, and its item there; null while it is on none.
    QListWidget* list() const;
    QListWidgetItem* item() const;
};

}  // namespace corvane::app
