#pragma once

#include <QDialog>

#include "Presenters/DesktopServices.hpp"
#include "Views/Connections/ConnectionDetail.hpp"

namespace corvane::app {

// The sheet of one connection (460×460): its fields in three sections, fixed
// when it opens, "Copy Details" and "Done".
class ConnectionDetailSheet : public QDialog {
    Q_OBJECT

public:
    static constexpr int kSize = 460;

    ConnectionDetailSheet(ConnectionRecord record, DesktopServices& desktop, QWidget* parent = nullptr);

    const ConnectionDetail& detail() const { return detail_; }

private:
    QWidget* section(const ConnectionDetail::Section& section);
    QWidget* value(const ConnectionDetail::Row& row);

    ConnectionDetail detail_;
    DesktopServices& desktop_;
    // The widest row label, so that the values of all sections line up.
    int labelWidth_ = 0;
};

}  // namespace corvane::app
