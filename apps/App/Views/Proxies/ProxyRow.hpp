#pragma once

#include <QWidget>

#include "Presenters/Proxies/ProxiesPresenter.hpp"

class QLabel;
class QPushButton;

namespace corvane::app {

class ProxyTestIndicator;

// One proxy of the Proxies page: its name over protocol, endpoint and " · auth",
// its health mark and its "Test" button. On a selected row its texts take the
// palette's selected-text colour.
class ProxyRow : public QWidget {
    Q_OBJECT

public:
    explicit ProxyRow(QWidget* parent = nullptr);

    void setRow(const ProxiesPresenter::Row& row);
    void setSelected(bool selected);
    ProxyTestIndicator* indicator() const { return indicator_; }
    QPushButton* testButton() const { return test_; }
    QString subtitle() const;

signals:
    void testClicked();

private:
    void refreshColours();

    bool selected_ = false;
    QLabel* name_;
    QLabel* subtitle_;
    ProxyTestIndicator* indicator_;
    QPushButton* test_;
};

}  // namespace corvane::app
