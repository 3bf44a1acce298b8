#pragma once

#include <QWidget>

#include "EngineStatusPresentation.hpp"
#include "Model/EngineStatus.hpp"

class QLabel;

namespace corvane::app {

// The engine's status in the toolbar: a 9×9 dot in the status colour, 6 px,
// then the status text in the callout font and the secondary colour.
class EngineStatusBadge : public QWidget {
    Q_OBJECT

public:
    static constexpr int kDotSize = 9;
    static constexpr int kSpacing = 6;

    explicit EngineStatusBadge(QWidget* parent = nullptr);

    void setStatus(const EngineStatus& status);
    QString text() const;
    EngineStatusPresentation::DotColour dotColour() const { return dotColour_; }
    // The dot's colour as painted.
    QColor paintedDotColour() const;

private:
    class Dot;

    Dot* dot_;
    QLabel* label_;
    EngineStatusPresentation::DotColour dotColour_ = EngineStatusPresentation::DotColour::secondary;
};

}  // namespace corvane::app
