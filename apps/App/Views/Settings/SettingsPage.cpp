// The Settings page as the main window shows it.
#include "Views/Shell/Pages.hpp"
#include "Views/Shell/PlaceholderPage.hpp"

namespace corvane::app {

QWidget* makeSettingsPage(const PageContext&) { return new PlaceholderPage(SidebarItem::settings); }

}  // namespace corvane::app
