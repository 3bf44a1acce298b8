#pragma once

#include <QDialog>
#include <QString>

#include "UpdateDialogContent.hpp"

class QDialogButtonBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;

namespace corvane::app {

class Updater;

// The updater's own window: it opens when a check the user asked for starts
// or when any check finds an update, shows each state of the session, and
// closes when the session ends. Closing it ends the session (not while
// installing). A top-level window, so it shows in tray-only mode too.
class UpdateDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kWidth = 500;

    UpdateDialog(Updater& updater, QString currentVersion, QWidget* parent = nullptr);

    const UpdateDialogContent& content() const { return content_; }
    // Presses the button with this label, as a click does.
    void press(const QString& label);

protected:
    void reject() override;

private:
    void refresh();
    void render();
    void act(UpdateDialogContent::Action action);

    Updater& updater_;
    QString currentVersion_;
    UpdateDialogContent content_;
    QLabel* title_;
    QLabel* message_;
    QPlainTextEdit* notes_;
    QProgressBar* progress_;
    QDialogButtonBox* buttons_;
};

}  // namespace corvane::app
