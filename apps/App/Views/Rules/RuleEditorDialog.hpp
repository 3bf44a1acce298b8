#pragma once

#include <QDialog>

#include "CorvaneCore/Models/Rule.hpp"
#include "Presenters/Rules/RuleEditorPresenter.hpp"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace corvane::app {

class PatternListEditor;
class SheetFooter;

// The sheet that edits one rule (or fills in a new one). Nothing reaches the
// profile here: "Save" hands the finished rule to saved() and closes.
class RuleEditorDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kWidth = 580;
    static constexpr int kHeight = 820;

    RuleEditorDialog(const AppState& state, Rule rule, QWidget* parent = nullptr);

    RuleEditorPresenter& presenter() { return presenter_; }
    PatternListEditor* applications() const { return applications_; }
    PatternListEditor* hosts() const { return hosts_; }
    PatternListEditor* ports() const { return ports_; }
    QLineEdit* nameField() const { return name_; }
    QComboBox* actionPicker() const { return action_; }
    QPushButton* saveButton() const { return save_; }
    QLabel* warning() const { return warning_; }

    void openPresetPicker();
    void openAppPicker();
    void openChainEditor(ProxyListPurpose purpose);

signals:
    void saved(const Rule& rule);

private:
    QWidget* makeMatchSection();
    QWidget* makeActionSection();
    SheetFooter* makeFooter();
    // Shows the presenter's state: texts after sub-sheets, messages, the
    // action options, and what Save and the list buttons allow.
    void refresh();
    void refreshTexts();
    void refreshActions();
    void save();

    const AppState& state_;
    RuleEditorPresenter presenter_;
    QLineEdit* name_ = nullptr;
    PatternListEditor* applications_ = nullptr;
    PatternListEditor* hosts_ = nullptr;
    PatternListEditor* ports_ = nullptr;
    QButtonGroup* matchMode_ = nullptr;
    QComboBox* action_ = nullptr;
    QPushButton* chain_ = nullptr;
    QPushButton* failover_ = nullptr;
    QLabel* listHint_ = nullptr;
    QWidget* warningRow_ = nullptr;
    QLabel* warning_ = nullptr;
    QPushButton* save_ = nullptr;
};

}  // namespace corvane::app
