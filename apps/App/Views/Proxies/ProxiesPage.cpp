// The Proxies page as the main window shows it.
#include "Views/Shell/Pages.hpp"
#include "Views/Shell/PlaceholderPage.hpp"

namespace corvane::app {

QWidget* makeProxiesPage(const PageContext&) { return new PlaceholderPage(SidebarItem::proxies); }

}  // namespace corvane::app
