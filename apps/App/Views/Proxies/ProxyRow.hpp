#pragma once

#include <QWidget>

#include "Presenters/Proxies/ProxiesPresenter.hpp"

class QLabel;
class QPushButton;

namespace corvane::app {

class ProxyTestIndicator;

// One proxy of the Proxies page: its name over protocol, endpoint and " · auth",
// its health mark and its "Test" button.
class ProxyRow : public QWidget {
    Q_OBJECT

public:
    explicit ProxyRow(QWidget* parent = nullptr);

    void setRow(const ProxiesPresenter::Row& row);
    ProxyTestIndicator* indicator() const { return indicator_; }
    QPushButton* testButton() const { return test_; }
    QString subtitle() const;

signals:
    void testClicked();

private:
    QLabel* name_;
    QLabel* subtitle_;
    ProxyTestIndicator* indicator_;
    QPushButton* test_;
};

}  // namespace corvane::app
