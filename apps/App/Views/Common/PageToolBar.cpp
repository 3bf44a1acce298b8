#include "PageToolBar.hpp"

#include <QActionEvent>
#include <QToolButton>

namespace corvane::app {

void PageToolBar::actionEvent(QActionEvent* event) {
    QToolBar::actionEvent(event);
    if (event->type() != QEvent::ActionAdded) return;
    if (auto* button = qobject_cast<QToolButton*>(widgetForAction(event->action()))) {
        button->setFocusPolicy(Qt::TabFocus);
    }
}

}  // namespace corvane::app
