#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace corvane::app {

// The search row at the top of the pickers: a magnifying glass, a borderless
// field and, when asked for, a button that clears the field while it has text.
class PickerSearchBar : public QWidget {
    Q_OBJECT

public:
    PickerSearchBar(const QString& placeholder, bool clearButton, QWidget* parent = nullptr);

    QLineEdit* field() const { return field_; }

signals:
    void queryChanged(const QString& query);

private:
    QLineEdit* field_;
    QToolButton* clear_ = nullptr;
};

}  // namespace corvane::app
