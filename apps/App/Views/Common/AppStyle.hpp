#pragma once

#include <QProxyStyle>

namespace corvane::app {

// The desktop's own style with changes that keep choices and focus readable on
// any palette, light or dark: the selection colour is made just dark (or
// light) enough that selected text reaches 4.5:1 on it; a radio button or
// check box shows its choice as the selection colour with a dot or tick in
// the selected-text colour, its outline visible on the window colour when
// not chosen; the row of a list that has the
// keyboard focus wears a solid ring (in the selected-text colour on a selected
// row), where the desktop's faint veil would only dim the row's text; and the
// open or closed mark of a selected tree row is drawn in the selected-text
// colour, where the desktop's half-transparent one fades into the selection;
// placeholders of empty fields are made just dark (or light) enough to read
// at 4.5:1.
class AppStyle : public QProxyStyle {
    Q_OBJECT

public:
    // The contrast selected text keeps on the selection colour.
    static constexpr double kSelectionContrast = 4.5;

    using QProxyStyle::QProxyStyle;

    // Puts the app's style over the one the desktop chose; once, after the
    // application is made and before any window.
    static void install();

    using QProxyStyle::polish;
    void polish(QPalette& palette) override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    QRect subElementRect(SubElement element, const QStyleOption* option, const QWidget* widget) const override;

private:
    static void drawRadioIndicator(const QStyleOption& option, QPainter& painter);
    static void drawCheckIndicator(const QStyleOption& option, QPainter& painter);
    static void drawRowFocus(const QStyleOption& option, QPainter& painter);
    static void drawSelectedBranch(const QStyleOption& option, QPainter& painter);
};

}  // namespace corvane::app
