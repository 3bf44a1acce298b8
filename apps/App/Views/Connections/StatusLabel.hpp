#pragma once

#include <optional>

#include <QWidget>

#include "CorvaneCore/Logging/ConnectionStatus.hpp"

namespace corvane::app {

// The coloured badge of a connection's status: its capitalised name on a
// capsule of the status colour at 15 %, in the shade of that colour that reads
// on the capsule; on a selected row, name and outline in the selected-text
// colour, where the status colours would not read. As a widget for the detail
// sheet, and as a painter for the Connections page's table and list.
class StatusLabel : public QWidget {
    Q_OBJECT

public:
    explicit StatusLabel(ConnectionStatus status, QWidget* parent = nullptr);

    ConnectionStatus status() const { return status_; }
    QSize sizeHint() const override;

    // The badge's size in `font` (the caption size is taken from it).
    static QSize badgeSize(ConnectionStatus status, const QFont& font);
    // Paints the badge at the leading edge of `area`, centred vertically, on
    // a row of `background`; in `selectedText` on a selected row.
    static void paint(QPainter& painter, const QRect& area, ConnectionStatus status, const QFont& font,
                      const QColor& background, std::optional<QColor> selectedText = std::nullopt);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ConnectionStatus status_;
};

}  // namespace corvane::app
