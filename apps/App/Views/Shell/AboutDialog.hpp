#pragma once

#include <QDialog>

namespace corvane::app {

// "About Corvane": the app's symbol, name and version.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace corvane::app
