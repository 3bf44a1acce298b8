#pragma once

#include <cstddef>
#include <vector>

#include <QListView>

namespace corvane::app {

// A list whose rows the user drags into a new order. The drop does not move
// anything itself: it asks for the standard list move (the selected rows go
// before the row at the destination), which the page hands to its presenter.
class ReorderableListView : public QListView {
    Q_OBJECT

public:
    explicit ReorderableListView(QWidget* parent = nullptr);

    // The selected rows, in ascending order.
    std::vector<std::size_t> selectedRows() const;
    // Asks to move the selected rows before `destination` (the row count: to the end).
    void moveSelection(std::size_t destination);

signals:
    void moveRequested(const std::vector<std::size_t>& offsets, std::size_t destination);

protected:
    void dropEvent(QDropEvent* event) override;
};

}  // namespace corvane::app
