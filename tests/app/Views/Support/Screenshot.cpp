#include "Screenshot.hpp"

#include <QApplication>
#include <QPixmap>
#include <QWidget>

namespace corvane::app::testing {

std::filesystem::path saveScreenshot(QWidget& widget, const std::string& name) {
    const std::filesystem::path folder = CORVANE_SCREENSHOT_DIR;
    std::filesystem::create_directories(folder);
    const std::filesystem::path path = folder / (name + ".png");
    if (!widget.isVisible()) widget.show();
    QApplication::processEvents();
    widget.grab().save(QString::fromStdString(path.string()));
    return path;
}

}  // namespace corvane::app::testing
