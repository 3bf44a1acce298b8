#pragma once

#include <string>
#include <vector>

#include <QWidget>

#include "CorvaneCore/Matching/PatternValidator.hpp"

class QLabel;
class QPlainTextEdit;
class QVBoxLayout;

namespace corvane::app {

// One pattern field of the rule editor: its title and entry count, a monospaced
// text area showing example entries while empty, outlined in red while the
// validator has messages for it, and one red line per message.
class PatternListEditor : public QWidget {
    Q_OBJECT

public:
    PatternListEditor(const QString& title, const QString& examples, int height, QWidget* parent = nullptr);

    QPlainTextEdit* textArea() const { return text_; }
    std::string text() const;
    // Replaces the text without reporting it as typed.
    void setText(const std::string& text);
    // The validator's messages for the current text.
    void setErrors(const std::vector<PatternValidator::EntryError>& errors);
    QStringList errorLines() const;
    QString countText() const;

signals:
    void edited();

private:
    void updateCount();

    QLabel* count_;
    QPlainTextEdit* text_;
    QVBoxLayout* errors_;
};

}  // namespace corvane::app
