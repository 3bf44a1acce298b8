#include "MainWindow.hpp"

#include <QCloseEvent>

#include "PageHost.hpp"
#include "Shared/AppIdentifiers.hpp"

namespace corvane::app {

MainWindow::MainWindow(PageContext context, QWidget* parent)
    : QMainWindow(parent), pageHost_(new PageHost(context)) {
    setObjectName("mainWindow");
    setWindowTitle(QString::fromUtf8(AppIdentifiers::productName.data(),
                                     static_cast<qsizetype>(AppIdentifiers::productName.size())));
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    setCentralWidget(pageHost_);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    pageHost_->releasePage();
    QMainWindow::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event) {
    pageHost_->showPage();
    QMainWindow::showEvent(event);
}

}  // namespace corvane::app
