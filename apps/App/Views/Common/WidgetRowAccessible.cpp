#include "WidgetRowAccessible.hpp"

#include <QListWidget>

namespace corvane::app {

WidgetRowAccessible::WidgetRowAccessible(QWidget* row) : QAccessibleWidget(row, QAccessible::ListItem) {}

QListWidget* WidgetRowAccessible::list() const {
    // A row widget lies on its list's viewport.
    const QWidget* viewport = widget()->parentWidget();
    auto* list = viewport != nullptr ? qobject_cast<QListWidget*>(viewport->parentWidget()) : nullptr;
    return list != nullptr && list->viewport() == viewport ? list : nullptr;
}

QListWidgetItem* WidgetRowAccessible::item() const {
    QListWidget* shown = list();
    for (int row = 0; shown != nullptr && row < shown->count(); ++row) {
        if (shown->itemWidget(shown->item(row)) == widget()) return shown->item(row);
    }
    return nullptr;
}

QString WidgetRowAccessible::text(QAccessible::Text text) const {
    const QListWidgetItem* shown = item();
    if (shown != nullptr && text == QAccessible::Name) return shown->data(Qt::AccessibleTextRole).toString();
    if (shown != nullptr && text == QAccessible::Description)
        return shown->data(Qt::AccessibleDescriptionRole).toString();
    return QAccessibleWidget::text(text);
}

QAccessible::State WidgetRowAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    const QListWidgetItem* shown = item();
    const QListWidget* on = list();
    state.selectable = true;
    state.focusable = true;
    state.selected = shown != nullptr && shown->isSelected();
    state.focused = shown != nullptr && on->hasFocus() && on->currentItem() == shown;
    return state;
}

QAccessibleInterface* WidgetRowAccessible::parent() const {
    if (QListWidget* on = list()) return QAccessible::queryAccessibleInterface(on);
    return QAccessibleWidget::parent();
}

}  // namespace corvane::app
