#pragma once

#include <QMainWindow>

#include "PageContext.hpp"

class QAction;

namespace corvane::app {

class PageHost;

// The app's main window: the page host in the middle, at least 860×520.
// Closing it drops the page; showing it again makes a new one.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kMinimumWidth = 860;
    static constexpr int kMinimumHeight = 520;

    explicit MainWindow(PageContext context, QWidget* parent = nullptr);

    PageHost& pageHost() const { return *pageHost_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    PageHost* pageHost_;
};

}  // namespace corvane::app
