#pragma once

#include <QWidget>

#include "Presenters/Simulator/SimulatorPresenter.hpp"

namespace corvane::app {

// One rule of the evaluation trace: the result's symbol, the rule's name (bold
// on the decisive step, with its action as a badge) and the reason below.
class TraceRow : public QWidget {
    Q_OBJECT

public:
    explicit TraceRow(const SimulatorPresenter::Row& row, QWidget* parent = nullptr);
};

}  // namespace corvane::app
