#pragma once

#include <QColor>
#include <QLabel>

namespace corvane::app {

// A short text in the caption size on a capsule of `colour` at 15 %.
class CapsuleLabel : public QLabel {
    Q_OBJECT

public:
    CapsuleLabel(const QString& text, const QColor& colour, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour_;
};

}  // namespace corvane::app
