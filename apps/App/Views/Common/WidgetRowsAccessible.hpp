#pragma once

#include <QAccessibleWidget>

class QListWidget;

namespace corvane::app {

// What assistive technology reads of a list whose rows are widgets
// (QListWidget::setItemWidget). Qt's own reading of a list names its items but
// never reaches the widgets on them, so a row's buttons stay out of reach. Here
// each row is a list item, named and described by its item's accessible texts,
// selected and focused with it, with the row widget's labels and controls as
// its children.
class WidgetRowsAccessible : public QAccessibleWidget {
public:
    // Reads `list` this way from now on.
    static void enable(QListWidget& list);
    // Reads `row` as a row of such a list, wherever it is put; called where the
    // row widget is made, before anything may ask for its reading.
    static void readAsRow(QWidget& row);

    explicit WidgetRowsAccessible(QListWidget* list);

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

private:
    QListWidget* list() const;
};

}  // namespace corvane::app
