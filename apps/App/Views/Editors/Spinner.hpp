#pragma once

#include <QTimer>
#include <QWidget>

namespace corvane::app {

// A small busy indicator: an arc that turns while the widget is shown.
class Spinner : public QWidget {
    Q_OBJECT

public:
    explicit Spinner(int diameter, QWidget* parent = nullptr);

    QSize sizeHint() const override { return {diameter_, diameter_}; }
    bool isTurning() const { return timer_.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int diameter_;
    int angle_ = 0;
    QTimer timer_;
};

}  // namespace corvane::app
