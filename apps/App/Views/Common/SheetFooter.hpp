#pragma once

#include <QWidget>

class QDialog;
class QPushButton;

namespace corvane::app {

// The row under a sheet's content: an optional leading widget (a count, a
// hint, a warning), then Cancel, which closes the sheet without saving, and
// the sheet's default action, which Return presses.
class SheetFooter : public QWidget {
    Q_OBJECT

public:
    SheetFooter(QDialog& sheet, const QString& actionTitle, QWidget* leading = nullptr);

    QPushButton* action() const { return action_; }
    QPushButton* cancel() const { return cancel_; }

    // Fills `sheet` with `header` (if any) over a divider, `body`, a divider
    // and `footer`, edge to edge.
    static void layOut(QDialog& sheet, QWidget* header, QWidget* body, SheetFooter* footer);

    // Fixes `sheet` at `size`, made no taller or wider than the free area of
    // the presenting window's screen with the window manager's frame around it
    // (a small or scaled screen), so the footer's buttons stay on the screen;
    // the sheet's body scrolls to make up for it.
    static void fixSize(QDialog& sheet, QSize size);

private:
    QPushButton* cancel_;
    QPushButton* action_;
};

}  // namespace corvane::app
