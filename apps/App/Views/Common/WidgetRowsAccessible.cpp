#include "WidgetRowsAccessible.hpp"

#include <QListWidget>

#include "WidgetRowAccessible.hpp"

namespace corvane::app {

namespace {

constexpr const char* kReadByRows = "corvaneReadByRows";
constexpr const char* kReadAsRow = "corvaneReadAsRow";

// Asked for every object's reading, most derived class first: answers for
// the lists and rows marked for it.
QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (object == nullptr || className != QLatin1String(object->metaObject()->className())) return nullptr;
    if (auto* list = qobject_cast<QListWidget*>(object); list != nullptr && list->property(kReadByRows).toBool()) {
        return new WidgetRowsAccessible(list);
    }
    if (auto* row = qobject_cast<QWidget*>(object); row != nullptr && row->property(kReadAsRow).toBool()) {
        return new WidgetRowAccessible(row);
    }
    return nullptr;
}

// Marks `object` to be read by the factory. Qt asks for a widget's reading
// already while it is being made (and keeps what it got), so a reading it made
// before the mark is dropped, and the next question gets ours.
void mark(QObject& object, const char* property) {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
    object.setProperty(property, true);
    QAccessibleInterface* reading = QAccessible::queryAccessibleInterface(&object);
    if (reading != nullptr && dynamic_cast<WidgetRowsAccessible*>(reading) == nullptr &&
        dynamic_cast<WidgetRowAccessible*>(reading) == nullptr) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(reading));
    }
}

}  // namespace

void WidgetRowsAccessible::enable(QListWidget& list) { mark(list, kReadByRows); }

void WidgetRowsAccessible::readAsRow(QWidget& row) { mark(row, kReadAsRow); }

WidgetRowsAccessible::WidgetRowsAccessible(QListWidget* list) : QAccessibleWidget(list, QAccessible::List) {}

QListWidget* WidgetRowsAccessible::list() const { return static_cast<QListWidget*>(widget()); }

int WidgetRowsAccessible::childCount() const { return list()->count(); }

QAccessibleInterface* WidgetRowsAccessible::child(int index) const {
    if (index < 0 || index >= list()->count()) return nullptr;
    QWidget* row = list()->itemWidget(list()->item(index));
    return row != nullptr ? QAccessible::queryAccessibleInterface(row) : nullptr;
}

int WidgetRowsAccessible::indexOfChild(const QAccessibleInterface* child) const {
    if (child == nullptr) return -1;
    for (int index = 0; index < list()->count(); ++index) {
        if (list()->itemWidget(list()->item(index)) == child->object()) return index;
    }
    return -1;
}

QAccessibleInterface* WidgetRowsAccessible::childAt(int x, int y) const {
    for (int index = 0; index < childCount(); ++index) {
        QAccessibleInterface* row = child(index);
        if (row != nullptr && row->rect().contains(x, y)) return row;
    }
    return nullptr;
}

QAccessibleInterface* WidgetRowsAccessible::focusChild() const {
    QListWidgetItem* current = list()->currentItem();
    if (!list()->hasFocus() || current == nullptr) return nullptr;
    return child(list()->row(current));
}

}  // namespace corvane::app
