#pragma once

#include <vector>

#include <QDialog>

#include "Presenters/Rules/ChainEditorPresenter.hpp"

class QLabel;
class QPushButton;
class QStandardItemModel;
class QVBoxLayout;

namespace corvane::app {

class ReorderableListView;
class SheetFooter;

// The sheet that builds the ordered proxy list of a chain or a failover rule.
// It works on its own copy; "Use Chain" / "Use Failover" hands the list to
// used() and closes.
class ChainEditorDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kWidth = 480;
    static constexpr int kHeight = 480;

    ChainEditorDialog(std::vector<ProxyServer> proxies, ProxyListPurpose purpose, std::vector<UUID> chain,
                      QWidget* parent = nullptr);

    ChainEditorPresenter& presenter() { return presenter_; }
    ReorderableListView* hops() const { return hops_; }
    QPushButton* useButton() const { return use_; }
    // The "Available proxies" rows' add buttons, in order.
    QList<QPushButton*> addButtons() const;

signals:
    void used(const std::vector<UUID>& chain);

private:
    SheetFooter* makeFooter();
    void removeHop(int row);
    void refresh();
    void refreshAvailable();

    ChainEditorPresenter presenter_;
    QStandardItemModel* model_;
    ReorderableListView* hops_;
    QLabel* empty_;
    QWidget* availableSection_;
    QVBoxLayout* available_;
    QLabel* hint_ = nullptr;
    QPushButton* use_ = nullptr;
};

}  // namespace corvane::app
