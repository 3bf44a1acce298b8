#pragma once

#include <QToolBar>

namespace corvane::app {

// A page's toolbar whose buttons Tab reaches, as every other control on the
// page (a plain toolbar leaves its buttons to the mouse).
class PageToolBar : public QToolBar {
public:
    using QToolBar::QToolBar;

protected:
    void actionEvent(QActionEvent* event) override;
};

}  // namespace corvane::app
