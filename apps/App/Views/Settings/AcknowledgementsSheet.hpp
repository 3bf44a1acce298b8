#pragma once

#include <QDialog>

#include "Presenters/DesktopServices.hpp"
#include "Presenters/Settings/AcknowledgementsPresenter.hpp"

class QLabel;
class QListWidget;
class QPlainTextEdit;

namespace corvane::app {

// The open-source components the app ships with and the licence of the one
// selected (720×520). The first one is selected when the sheet opens.
class AcknowledgementsSheet : public QDialog {
    Q_OBJECT

public:
    static constexpr int kWidth = 720;
    static constexpr int kHeight = 520;

    explicit AcknowledgementsSheet(DesktopServices& desktop, QWidget* parent = nullptr,
                                   const std::vector<Acknowledgement>& entries = Acknowledgement::all());

    QListWidget* list() const { return list_; }
    QLabel* link() const { return link_; }
    QPlainTextEdit* licence() const { return licence_; }

private:
    void showSelected();

    AcknowledgementsPresenter presenter_;
    DesktopServices& desktop_;
    QListWidget* list_;
    QLabel* link_;
    QPlainTextEdit* licence_;
};

}  // namespace corvane::app
