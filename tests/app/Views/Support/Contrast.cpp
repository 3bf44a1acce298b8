#include "Contrast.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyle>
#include <QWidget>

#include "Views/Common/CapsuleLabel.hpp"
#include "Views/Connections/StatusLabel.hpp"

namespace corvane::app::testing {

namespace {

double luminance(const QColor& colour) {
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

// Pixels this far from the background are ink; antialiasing haze is not.
constexpr double kInkThreshold = 1.25;
// Pieces smaller than this (in scaled pixels) are specks of a glyph's fringe.
constexpr int kSmallestPiece = 12;
// The least contrast text keeps against what it is drawn on.
constexpr double kTextContrast = 4.5;
// A badge's capsule is a tint of its row: closer to it than any text or mark.
constexpr double kMostTint = 1.6;
// One colour over fewer pixels than this (scaled) is a glyph's fringe, not a capsule.
constexpr int kSmallestCapsule = 400;

QRect scaled(const QRect& area, const QImage& image) {
    return QRect(area.topLeft() * kInkScale, area.size() * kInkScale).intersected(image.rect());
}

}  // namespace

DesktopPalette::DesktopPalette(Shade shade) {
    if (shade == Shade::light) {
        QApplication::setPalette(QPalette());
        return;
    }
    QPalette palette = dark();
    QApplication::style()->polish(palette);
    QApplication::setPalette(palette);
}

DesktopPalette::~DesktopPalette() { QApplication::setPalette(QPalette()); }

QPalette DesktopPalette::dark() {
    QPalette dark;
    const QColor text(0xe6, 0xe6, 0xe6);
    const QColor disabled(0x80, 0x80, 0x80);
    dark.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x2d));
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x26));
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::BrightText, Qt::white);
    dark.setColor(QPalette::Light, QColor(0x4a, 0x4a, 0x4a));
    dark.setColor(QPalette::Midlight, QColor(0x3f, 0x3f, 0x3f));
    dark.setColor(QPalette::Mid, QColor(0x26, 0x26, 0x26));
    dark.setColor(QPalette::Dark, QColor(0x1a, 0x1a, 0x1a));
    dark.setColor(QPalette::Shadow, Qt::black);
    dark.setColor(QPalette::Highlight, QColor(0x35, 0x74, 0xe0));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Link, QColor(0x6e, 0xa8, 0xff));
    dark.setColor(QPalette::PlaceholderText, QColor(0x8a, 0x8a, 0x8a));
    dark.setColor(QPalette::ToolTipBase, QColor(0x3a, 0x3a, 0x3a));
    dark.setColor(QPalette::ToolTipText, text);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, disabled);
    return dark;
}

double contrast(const QColor& foreground, const QColor& background) {
    const double alpha = foreground.alphaF();
    const QColor blended = QColor::fromRgbF(
        static_cast<float>(foreground.redF() * alpha + background.redF() * (1 - alpha)),
        static_cast<float>(foreground.greenF() * alpha + background.greenF() * (1 - alpha)),
        static_cast<float>(foreground.blueF() * alpha + background.blueF() * (1 - alpha)));
    const double a = luminance(blended) + 0.05;
    const double b = luminance(background) + 0.05;
    return std::max(a, b) / std::min(a, b);
}

QImage rendered(QWidget& widget) {
    if (!widget.isVisible()) widget.show();
    QApplication::processEvents();
    QImage image(widget.size() * kInkScale, QImage::Format_RGB32);
    image.setDevicePixelRatio(kInkScale);
    image.fill(widget.palette().color(QPalette::Window));
    widget.render(&image);
    return image;
}

QColor commonest(const QImage& image, const QRect& area) {
    std::map<QRgb, int> counts;
    const QRect at = scaled(area, image);
    for (int y = at.top(); y <= at.bottom(); ++y) {
        for (int x = at.left(); x <= at.right(); ++x) ++counts[image.pixel(x, y) | 0xff000000u];
    }
    if (counts.empty()) return {};
    return QColor::fromRgb(std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                               return a.second < b.second;
                           })->first);
}

int pixelsReaching(const QImage& image, const QRect& area, const QColor& background, double ratio) {
    const QRect at = scaled(area, image);
    int count = 0;
    for (int y = at.top(); y <= at.bottom(); ++y) {
        for (int x = at.left(); x <= at.right(); ++x) count += contrast(image.pixelColor(x, y), background) >= ratio;
    }
    return count;
}

QStringList faintInk(const QImage& image, const QRect& area, const QColor& background, double ratio,
                     const std::vector<QRect>& leftOut) {
    const QRect at = scaled(area, image);
    const auto isLeftOut = [&](int x, int y) {
        return std::any_of(leftOut.begin(), leftOut.end(),
                           [&](const QRect& control) { return scaled(control, image).contains(x, y); });
    };
    const auto index = [&](int x, int y) { return (y - at.top()) * at.width() + (x - at.left()); };
    std::vector<double> ink(static_cast<std::size_t>(at.width() * at.height()), 0);
    for (int y = at.top(); y <= at.bottom(); ++y) {
        for (int x = at.left(); x <= at.right(); ++x) {
            const double ratioHere = contrast(image.pixelColor(x, y), background);
            if (ratioHere >= kInkThreshold && !isLeftOut(x, y)) ink[static_cast<std::size_t>(index(x, y))] = ratioHere;
        }
    }
    QStringList faint;
    std::vector<QPoint> pending;
    for (int y = at.top(); y <= at.bottom(); ++y) {
        for (int x = at.left(); x <= at.right(); ++x) {
            if (ink[static_cast<std::size_t>(index(x, y))] == 0) continue;
            // One piece: every ink pixel connected to this one, taken out as it is met.
            int pixels = 0;
            double strongest = 0;
            QPoint strongestAt(x, y);
            pending.assign(1, QPoint(x, y));
            while (!pending.empty()) {
                const QPoint p = pending.back();
                pending.pop_back();
                double& here = ink[static_cast<std::size_t>(index(p.x(), p.y()))];
                if (here == 0) continue;
                if (here > strongest) {
                    strongest = here;
                    strongestAt = p;
                }
                here = 0;
                ++pixels;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const QPoint next(p.x() + dx, p.y() + dy);
                        if (at.contains(next) && ink[static_cast<std::size_t>(index(next.x(), next.y()))] != 0)
                            pending.push_back(next);
                    }
                }
            }
            if (pixels >= kSmallestPiece && strongest < ratio) {
                faint << QString("%1:1 (%2 on %3) at %4,%5")
                             .arg(QString::number(strongest, 'f', 2), image.pixelColor(strongestAt).name(),
                                  background.name(), QString::number(strongestAt.x() / kInkScale),
                                  QString::number(strongestAt.y() / kInkScale));
            }
        }
    }
    return faint;
}

std::optional<QRect> capsuleIn(const QImage& image, const QRect& area, const QColor& background) {
    const QRect at = scaled(area, image);
    const QRgb row = background.rgb();
    std::map<QRgb, int> tints;
    for (int y = at.top(); y <= at.bottom(); ++y) {
        for (int x = at.left(); x <= at.right(); ++x) {
            const QRgb pixel = image.pixel(x, y) | 0xff000000u;
            if (pixel != row && contrast(QColor::fromRgb(pixel), background) < kMostTint) ++tints[pixel];
        }
    }
    const auto tint = std::max_element(tints.begin(), tints.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    if (tint == tints.end() || tint->second < kSmallestCapsule) return std::nullopt;
    QRect box;
    for (int y = at.top(); y <= at.bottom(); ++y) {
        for (int x = at.left(); x <= at.right(); ++x) {
            if ((image.pixel(x, y) | 0xff000000u) == tint->first) box |= QRect(x, y, 1, 1);
        }
    }
    return QRect(QPoint(box.left() / kInkScale, box.top() / kInkScale),
                 QPoint(box.right() / kInkScale, box.bottom() / kInkScale));
}

QRect insideOf(const QRect& capsule) {
    const int end = capsule.height() / 2;
    return capsule.adjusted(end, 1, -end, -1);
}

QStringList unreadableInRow(const QImage& image, const QRect& area, const std::vector<QRect>& leftOut) {
    const QColor background = commonest(image, area);
    const std::optional<QRect> capsule = capsuleIn(image, area, background);
    std::vector<QRect> skipped = leftOut;
    if (capsule) skipped.push_back(capsule->adjusted(-1, -1, 1, 1));
    QStringList faint = faintInk(image, area, background, kTextContrast, skipped);
    if (capsule) {
        const QRect inside = insideOf(*capsule);
        for (const QString& piece : faintInk(image, inside, commonest(image, inside), kTextContrast))
            faint << "on the badge: " + piece;
    }
    return faint;
}

namespace {

// What `widget` shows as text and where, in `root`'s coordinates: a label's
// text, a badge's inside, an empty field's placeholder; none for anything else.
std::optional<std::pair<QString, QRect>> textOf(const QWidget& widget, const QWidget& root) {
    const QRect visible = widget.visibleRegion().boundingRect();
    if (visible.isEmpty()) return std::nullopt;
    const QRect area(widget.mapTo(&root, visible.topLeft()), visible.size());
    if (const auto* badge = qobject_cast<const StatusLabel*>(&widget)) return {{badge->accessibleName(), insideOf(area)}};
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        if (label->text().trimmed().isEmpty()) return std::nullopt;
        return {{label->text(), qobject_cast<const CapsuleLabel*>(label) ? insideOf(area) : area}};
    }
    // Clear of the field's frame.
    const QRect inside = area.adjusted(3, 3, -3, -3);
    if (const auto* field = qobject_cast<const QLineEdit*>(&widget)) {
        if (!field->text().isEmpty() || field->placeholderText().isEmpty()) return std::nullopt;
        return {{field->placeholderText(), inside}};
    }
    if (const auto* field = qobject_cast<const QPlainTextEdit*>(&widget)) {
        if (!field->toPlainText().isEmpty() || field->placeholderText().isEmpty()) return std::nullopt;
        return {{field->placeholderText(), inside}};
    }
    return std::nullopt;
}

}  // namespace

QStringList unreadableTexts(const QWidget& root, const QImage& image) {
    QStringList faint;
    for (const QWidget* widget : root.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&root) || !widget->isEnabled()) continue;
        const auto text = textOf(*widget, root);
        if (!text) continue;
        const auto& [words, area] = *text;
        for (const QString& piece : faintInk(image, area, commonest(image, area), kTextContrast))
            faint << QString("“%1”: %2").arg(words.simplified().left(40), piece);
    }
    return faint;
}

}  // namespace corvane::app::testing
