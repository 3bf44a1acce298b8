#pragma once

#include <QWidget>

class QToolBar;

namespace corvane::app {

// The top of an editor page: its title on the left and its toolbar on the right.
class PageHeader : public QWidget {
    Q_OBJECT

public:
    explicit PageHeader(const QString& title, QWidget* parent = nullptr);

    QToolBar* toolBar() const { return toolBar_; }

private:
    QToolBar* toolBar_;
};

}  // namespace corvane::app
