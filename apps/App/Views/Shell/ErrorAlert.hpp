#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>

namespace corvane::app {

class AppState;

// The alert "Error" over the main window, shown while the model holds a last
// error (an error raised while the window is closed shows when it opens); its
// message is that error. It has one
// button, "OK"; however it is dismissed (OK, Escape, closing it), the model's
// last error is cleared.
class ErrorAlert : public QObject {
    Q_OBJECT

public:
    ErrorAlert(AppState& state, QWidget& window);

    // Shows, updates or closes the alert after a change of the error or of the
    // window's visibility.
    void refresh();
    QMessageBox* box() const { return box_; }

private:
    void dismissed();

    AppState& state_;
    QWidget& window_;
    QPointer<QMessageBox> box_;
};

}  // namespace corvane::app
