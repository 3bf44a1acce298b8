// corvane-icon-render SVG SIZE PNG: draws the app's icon at SIZE×SIZE pixels
// for the icon theme's fixed sizes. A build tool; not installed.
#include <cstdlib>
#include <iostream>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: corvane-icon-render SVG SIZE PNG\n";
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication application(argc, argv);
    QSvgRenderer drawing(QString::fromLocal8Bit(argv[1]));
    const int size = std::atoi(argv[2]);
    if (!drawing.isValid() || size <= 0) {
        std::cerr << "corvane-icon-render: cannot draw " << argv[1] << " at " << argv[2] << " pixels\n";
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawing.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::cerr << "corvane-icon-render: cannot write " << argv[3] << "\n";
        return 1;
    }
    return 0;
}
