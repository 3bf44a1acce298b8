#pragma once

#include <optional>

#include <QPointer>
#include <QWidget>

#include "PageContext.hpp"
#include "SidebarItem.hpp"

class QListWidget;
class QVBoxLayout;

namespace corvane::app {

// The main window's two columns: the sidebar of the pages and the page of the
// selected item. Every change of the selection makes a new page and drops the
// old one at once (with it whatever the page ran, such as the records poll);
// no selection shows the Connections page.
class PageHost : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSidebarMinimumWidth = 180;
    static constexpr int kSidebarIdealWidth = 200;

    explicit PageHost(PageContext context, QWidget* parent = nullptr);

    std::optional<SidebarItem> selection() const { return selection_; }
    // Selects an item (or none), as a click in the sidebar does.
    void select(std::optional<SidebarItem> item);
    QWidget* page() const { return page_; }
    QListWidget* sidebar() const { return sidebar_; }

    // Drops the page, while the window is closed; showPage() makes it again.
    void releasePage();
    void showPage();

signals:
    void pageChanged(QWidget* page);

private:
    void sidebarSelectionChanged();
    void replacePage();

    PageContext context_;
    QListWidget* sidebar_;
    QVBoxLayout* pageArea_;
    std::optional<SidebarItem> selection_ = SidebarItem::connections;
    QPointer<QWidget> page_;
};

}  // namespace corvane::app
