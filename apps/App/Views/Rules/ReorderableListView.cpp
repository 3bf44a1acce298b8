#include "ReorderableListView.hpp"

#include <algorithm>

#include <QDropEvent>

namespace corvane::app {

ReorderableListView::ReorderableListView(QWidget* parent) : QListView(parent) {
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}

std::vector<std::size_t> ReorderableListView::selectedRows() const {
    std::vector<std::size_t> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes())
        if (index.isValid()) rows.push_back(static_cast<std::size_t>(index.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void ReorderableListView::moveSelection(std::size_t destination) {
    const auto rows = selectedRows();
    if (!rows.empty()) emit moveRequested(rows, destination);
}

void ReorderableListView::dropEvent(QDropEvent* event) {
    if (event->source() != this) {
        event->ignore();
        return;
    }
    const QModelIndex target = indexAt(event->position().toPoint());
    std::size_t destination = static_cast<std::size_t>(model()->rowCount());
    if (target.isValid()) {
        const bool below = dropIndicatorPosition() == QAbstractItemView::BelowItem;
        destination = static_cast<std::size_t>(target.row() + (below ? 1 : 0));
    }
    // The move is done by the model's owner; the view must not remove the rows.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    moveSelection(destination);
    stopAutoScroll();
    setState(QAbstractItemView::NoState);
    viewport()->update();
}

}  // namespace corvane::app
