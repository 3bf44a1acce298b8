#include "RowKeys.hpp"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMetaMethod>

namespace corvane::app {

RowKeys::RowKeys(QAbstractItemView& view) : QObject(&view), view_(view) { view.installEventFilter(this); }

bool RowKeys::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &view_) return false;
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        return handleKey(key->key(), key->modifiers() & ~Qt::KeypadModifier);
    }
    // The platform turns the Menu key into a context menu event aimed at the
    // pointer; from the keyboard the menu belongs at the current row.
    if (event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        openContextMenu();
        return true;
    }
    return false;
}

bool RowKeys::handleKey(int key, Qt::KeyboardModifiers modifiers) {
    if (key == Qt::Key_Menu || (key == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
        openContextMenu();
        return true;
    }
    const QModelIndex current = view_.currentIndex();
    if (modifiers != Qt::NoModifier || !current.isValid()) return false;
    // A key whose signal nobody connected keeps its usual meaning (Return
    // reaching a sheet's default button, Space selecting).
    const auto send = [&](void (RowKeys::*signal)(const QModelIndex&)) {
        if (!isSignalConnected(QMetaMethod::fromSignal(signal))) return false;
        emit(this->*signal)(current);
        return true;
    };
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter: return send(&RowKeys::openRequested);
        case Qt::Key_Space: return send(&RowKeys::toggleRequested);
        case Qt::Key_Delete:
        case Qt::Key_Backspace: return send(&RowKeys::removeRequested);
        default: return false;
    }
}

void RowKeys::openContextMenu() {
    const QModelIndex current = view_.currentIndex();
    if (!current.isValid() || view_.contextMenuPolicy() != Qt::CustomContextMenu) return;
    view_.scrollTo(current);
    emit view_.customContextMenuRequested(view_.visualRect(current).center());
}

}  // namespace corvane::app
