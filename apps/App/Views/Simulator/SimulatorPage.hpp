#pragma once

#include <QWidget>

#include "Presenters/Simulator/SimulatorPresenter.hpp"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QStackedWidget;
class QVBoxLayout;

namespace corvane::app {

class ContentPlaceholder;

// The Rule Simulator page: a hypothetical connection's fields, and the verdict
// and evaluation trace of the current profile for it, recomputed when the page
// appears and whenever a field changes.
class SimulatorPage : public QWidget {
    Q_OBJECT

public:
    explicit SimulatorPage(AppState& state, QWidget* parent = nullptr);

    SimulatorPresenter& presenter() { return presenter_; }
    QLineEdit* applicationField() const { return application_; }
    QLineEdit* hostField() const { return host_; }
    QLineEdit* portField() const { return port_; }
    QButtonGroup* transportButtons() const { return transport_; }
    ContentPlaceholder* placeholder() const { return placeholder_; }
    // The verdict's label and what decided, while a trace shows.
    QString verdictText() const;
    // The trace's rows as shown: one widget per rule, then the default row.
    QWidget* traceList() const { return traceList_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeForm();
    QWidget* makeResult();
    void showTrace();
    QWidget* defaultRow(const QString& text) const;

    SimulatorPresenter presenter_;
    QLineEdit* application_ = nullptr;
    QLineEdit* host_ = nullptr;
    QLineEdit* port_ = nullptr;
    QButtonGroup* transport_ = nullptr;
    QStackedWidget* result_ = nullptr;
    ContentPlaceholder* placeholder_ = nullptr;
    QWidget* banner_ = nullptr;
    QLabel* bannerSymbol_ = nullptr;
    QLabel* bannerLabel_ = nullptr;
    QLabel* bannerSubtitle_ = nullptr;
    QWidget* traceList_ = nullptr;
    QVBoxLayout* traceRows_ = nullptr;
    // What the result area shows now.
    std::optional<SimulatorPresenter::Result> shown_;
};

}  // namespace corvane::app
