// The Connections page as the main window shows it.
#include "Views/Shell/Pages.hpp"
#include "Views/Shell/PlaceholderPage.hpp"

namespace corvane::app {

QWidget* makeConnectionsPage(const PageContext&) { return new PlaceholderPage(SidebarItem::connections); }

}  // namespace corvane::app
