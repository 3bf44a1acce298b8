#pragma once

#include <QWidget>

#include "Presenters/Proxies/ProxiesPresenter.hpp"

class QLabel;

namespace corvane::app {

class Spinner;

// A proxy's health mark: nothing while untested, a spinner while a probe
// runs, a green dot with the handshake time, or a red dot with "Failed"; the
// tooltip explains it. On a selected row the text takes the selected-text
// colour and the dot a ring of it, so both read on the selection.
class ProxyTestIndicator : public QWidget {
    Q_OBJECT

public:
    explicit ProxyTestIndicator(QWidget* parent = nullptr);

    void setIndicator(const ProxiesPresenter::Indicator& indicator);
    void setSelected(bool selected);
    QString text() const;
    ProxyTestState::Kind kind() const { return kind_; }

private:
    void refreshMark();

    bool selected_ = false;
    Spinner* spinner_;
    QLabel* dot_;
    QLabel* text_;
    ProxyTestState::Kind kind_ = ProxyTestState::Kind::idle;
};

}  // namespace corvane::app
