#pragma once

#include <QObject>

class QAbstractItemView;
class QModelIndex;

namespace corvane::app {

// The keyboard for a list's rows, beside the mouse: Return or Enter opens the
// current row (what a double click does), Space flips its switch, Delete or
// Backspace removes it, and the Menu key or Shift+F10 opens the row's context
// menu at the row. A list connects only the signals it has a use for.
class RowKeys : public QObject {
    Q_OBJECT

public:
    explicit RowKeys(QAbstractItemView& view);

signals:
    void openRequested(const QModelIndex& row);
    void toggleRequested(const QModelIndex& row);
    void removeRequested(const QModelIndex& row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool handleKey(int key, Qt::KeyboardModifiers modifiers);
    void openContextMenu();

    QAbstractItemView& view_;
};

}  // namespace corvane::app
