#pragma once

#include <QWidget>

#include "SidebarItem.hpp"

namespace corvane::app {

// Stands in for a page that is not built yet: its symbol and its name, centred.
class PlaceholderPage : public QWidget {
    Q_OBJECT

public:
    explicit PlaceholderPage(SidebarItem item, QWidget* parent = nullptr);
};

}  // namespace corvane::app
