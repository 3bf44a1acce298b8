#pragma once

#include <functional>

#include <QPointer>
#include <QWidget>

#include "Presenters/Rules/RulesPresenter.hpp"

class QAction;

namespace corvane::app {

class ReorderableListView;
class RuleEditorDialog;
class RulesListModel;

// The Rules page: the profile's rules in evaluation order, with a switch per
// rule, drag to reorder, delete, the rule editor for a double-clicked row or a
// new rule, and the footer on how rules are evaluated.
class RulesPage : public QWidget {
    Q_OBJECT

public:
    explicit RulesPage(AppState& state, QWidget* parent = nullptr);

    RulesPresenter& presenter() { return presenter_; }
    ReorderableListView* list() const { return list_; }
    RulesListModel* model() const { return model_; }
    QAction* addAction() const { return add_; }
    // The open editor sheet, if any.
    RuleEditorDialog* editor() const { return editor_; }

    void editRow(int row);
    void addRule();

private:
    void refresh();
    void showContextMenu(const QPoint& position);
    void openEditor(const Rule& rule, std::function<void(const Rule&)> onSave);

    AppState& state_;
    RulesPresenter presenter_;
    RulesListModel* model_;
    ReorderableListView* list_;
    QAction* add_;
    QPointer<RuleEditorDialog> editor_;
};

}  // namespace corvane::app
