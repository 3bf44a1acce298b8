#pragma once

#include <functional>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "Presenters/Proxies/ProxiesPresenter.hpp"

class QAction;
class QListWidget;
class QStackedWidget;

namespace corvane::app {

class ProxyEditorDialog;
class ProxyRow;

// The Proxies page: the profile's proxies with their health, "Check All",
// "Add Proxy", the proxy editor for a double-clicked row, delete, and the
// periodic checks while the page is on screen.
class ProxiesPage : public QWidget {
    Q_OBJECT

public:
    explicit ProxiesPage(AppState& state, QWidget* parent = nullptr);

    ProxiesPresenter& presenter() { return presenter_; }
    QListWidget* list() const { return list_; }
    ProxyRow* row(int index) const;
    QAction* checkAllAction() const { return checkAll_; }
    QAction* addProxyAction() const { return addProxy_; }
    bool isShowingEmptyState() const;
    // The open editor sheet, if any.
    ProxyEditorDialog* editor() const { return editor_; }

    void editRow(int row);
    void addProxy();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* makeEmptyState();
    void refresh();
    void rebuild(const std::vector<ProxiesPresenter::Row>& rows);
    // The rows' texts follow the list's selection.
    void showSelection();
    std::vector<std::size_t> selectedRows() const;
    void showContextMenu(const QPoint& position);
    void openEditor(const ProxyServer& proxy, std::function<void(const ProxyServer&)> onSave);

    ProxiesPresenter presenter_;
    QListWidget* list_;
    QStackedWidget* content_;
    QAction* checkAll_;
    QAction* addProxy_;
    std::vector<UUID> shownIds_;
    QPointer<ProxyEditorDialog> editor_;
};

}  // namespace corvane::app
